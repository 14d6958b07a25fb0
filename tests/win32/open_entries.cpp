// Reads a playlist as a Windows player does, in the ANSI code page, each
// entry relative to the playlist's folder. Prints the code page, then per
// entry the first line of the file it opens, or "cannot open: " and the
// entry where that is no file on disk (nothing, a folder, a device).
#include <cstdio>
#include <cstring>

#include <windows.h>

int main(int argc, char *argv[])
{
	std::printf("code page %u\n", GetACP());
	std::FILE *fp = argc == 2 ? std::fopen(argv[1], "r") : nullptr;
	char *sep = argc == 2 ? std::strrchr(argv[1], '\\') : nullptr;
	if (sep == nullptr)
		return argc == 2 ? 2 : 0;
	*sep = '\0';
	if (fp == nullptr || !SetCurrentDirectoryA(argv[1]))
		return 2;
	char line[1024];
	while (std::fgets(line, sizeof line, fp) != nullptr) {
		line[std::strcspn(line, "\r\n")] = '\0';
		if (line[0] == '#')
			continue;
		HANDLE h = CreateFileA(line, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
				       FILE_ATTRIBUTE_NORMAL, nullptr);
		char buf[256] = {};
		DWORD got = 0;
		if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK ||
		    !ReadFile(h, buf, sizeof buf - 1, &got, nullptr))
			std::printf("cannot open: %s\n", line);
		else
			std::printf("%.*s\n", static_cast<int>(std::strcspn(buf, "\r\n")), buf);
		if (h != INVALID_HANDLE_VALUE)
			CloseHandle(h);
	}
	return 0;
}
