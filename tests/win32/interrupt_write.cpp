// Stand-ins for the Windows suite, which cannot hold a file or a half-made
// replacement itself.
//   interrupt_write PATH       writes half a replacement of PATH, says
//                              "ready" and waits, for the test to interrupt:
//                              the console handler must remove the new file
//   interrupt_write --hold PATH  holds PATH open, sharing only reading, as a
//                              player does, says "ready" and waits
#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>

#include "playlist/interrupt.h"
#include "playlist/replace.h"

int main(int argc, char *argv[])
{
	if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
		HANDLE h = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
				       FILE_ATTRIBUTE_NORMAL, nullptr);
		if (h == INVALID_HANDLE_VALUE)
			return 3;
		std::printf("ready\n");
		std::fflush(stdout);
		Sleep(60000);
		return 0;
	}
	if (argc != 2)
		return 2;
	catchSignals();
	// PATH is a folder, a separator and a name.
	std::string folder = argv[1];
	std::size_t sep = folder.find_last_of("\\/");
	if (sep == std::string::npos || holdScannedFolder(folder.substr(0, sep).c_str()) != 0)
		return 3;
	Refusal refusal;
	std::FILE *fp = createReplacement(SCANNED_FOLDER, folder.substr(0, sep + 1).c_str(),
					  argv[1] + sep + 1, &refusal);
	if (fp == nullptr)
		return 3;
	std::fputs("#EXTM3U\n", fp);
	std::fflush(fp);
	std::printf("ready\n");
	std::fflush(stdout);
	Sleep(20000);
	std::printf("not interrupted\n");
	return commitReplacement();
}
