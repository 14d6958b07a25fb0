// Stand-ins for the Windows suite, which cannot hold a file or a half-made
// replacement itself.
//   interrupt_write PATH       writes half a replacement of PATH, says
//                              "ready" and waits, for the test to interrupt:
//                              the console handler must remove the new file
//   interrupt_write --hold PATH  holds PATH open, sharing only reading, as a
//                              player does, says "ready" and waits
//   interrupt_write --held PATH  holds the folder of PATH, says "ready",
//                              waits for a line, then lists the folder as
//                              the scan reads it and replaces PATH
//   interrupt_write --refuse PATH  writes a replacement of PATH, then holds
//                              PATH as --hold does and puts the new file in
//                              place: exits with the errno of the refusal
#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>

#include "playlist/interrupt.h"
#include "playlist/replace.h"
#include "scan/dirstream.h"

namespace {

void say(const char *line)
{
	std::printf("%s\n", line);
	std::fflush(stdout);
}

HANDLE holdAsAPlayer(const char *path)
{
	return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
			   FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
	std::string mode = argc == 3 ? argv[1] : "";
	if (mode == "--hold") {
		if (holdAsAPlayer(argv[2]) == INVALID_HANDLE_VALUE)
			return 3;
		say("ready");
		Sleep(60000);
		return 0;
	}
	if (argc != 2 && mode != "--held" && mode != "--refuse")
		return 2;
	const char *path = argv[argc - 1];
	catchSignals();
	// PATH is a folder, a separator and a name.
	const char *sep = std::strrchr(path, '\\');
	std::string folder(path, sep != nullptr ? sep - path : 0);
	if (sep == nullptr || holdScannedFolder(folder.c_str()) != 0)
		return 3;
	if (mode == "--held") {
		say("ready");
		char line[16];
		bool go = std::fgets(line, sizeof line, stdin) != nullptr;
		DIR *dir = go ? openScannedFolder(folder.c_str()) : nullptr;
		while (dirent *ent = dir != nullptr ? readdir(dir) : nullptr)
			say(ent->d_name);
		if (dir != nullptr)
			closedir(dir);
	}
	Refusal refusal;
	std::FILE *fp = createReplacement(SCANNED_FOLDER, (folder + '\\').c_str(), sep + 1, &refusal);
	if (fp == nullptr)
		return 3;
	std::fputs("#EXTM3U\n", fp);
	if (mode == "--refuse" && holdAsAPlayer(path) == INVALID_HANDLE_VALUE)
		return 3;
	if (mode.empty()) {
		std::fflush(fp);
		say("ready");
		Sleep(20000);
		say("not interrupted");
	}
	return commitReplacement();
}
