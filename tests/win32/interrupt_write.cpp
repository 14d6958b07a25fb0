// Stand-ins for the Windows suite, which cannot hold a file or a half-made
// replacement itself.
//   interrupt_write PATH       writes half a replacement of PATH, says
//                              "ready" and waits, for the test to interrupt:
//                              the console handler must remove the new file
//   interrupt_write --hold PATH  holds PATH open, sharing only reading, as a
//                              player does, says "ready" and waits
//   interrupt_write PATH --held  holds the folder of PATH, says "ready", and
//                              once a line comes lists the folder as the
//                              scan reads it and replaces PATH
//   interrupt_write PATH --refuse  holds PATH as --hold does before the new
//                              file is put in place: exits with the errno
//   interrupt_write PATH --step  holds the console handler back, as a change
//                              under way does, says "ready", and once a line
//                              comes writes half a replacement of PATH, says
//                              "made", lets the handler go and waits
//   interrupt_write PATH --cut  writes "#EXTM3U" over PATH in place and
//                              cuts it there; --put-back puts PATH's old
//                              bytes back instead: exits with the errno
#include <cstdio>
#include <cstring>
#include <io.h>
#include <string>
#include <vector>

#include <windows.h>

#include "playlist/interrupt.h"
#include "playlist/place.h"
#include "playlist/replace.h"
#include "scan/dirstream.h"

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
	if (argc != 2 && argc != 3)
		return 2;
	std::string mode = argc == 3 ? argv[2] : "";
	catchSignals();
	// PATH is a folder, a separator and a name.
	std::string folder = argv[1];
	std::size_t sep = folder.find_last_of("\\/");
	if (sep == std::string::npos || holdScannedFolder(folder.substr(0, sep).c_str()) != 0)
		return 3;
	if (mode == "--cut" || mode == "--put-back") {
		Place place;
		std::vector<char> old;
		int fd = findPlace(SCANNED_FOLDER, "", argv[1] + sep + 1, &place) == 0
			? openInPlace(&place, &old) : -1;
		int kept = fd >= 0 ? _dup(fd) : -1;
		if (kept < 0 || _write(fd, "#EXTM3U\n", 8) != 8 || _close(fd) != 0)
			return 3;
		return mode == "--cut" ? cutAtEnd(kept) : putBackInHandler(kept, old.data(), old.size());
	}
	if (mode == "--step")
		holdInterrupts();
	if (mode == "--step" || mode == "--held") {
		std::printf("ready\n");
		std::fflush(stdout);
		char line[16];
		if (std::fgets(line, sizeof line, stdin) == nullptr)
			return 3;
	}
	DIR *dir = mode == "--held" ? openScannedFolder() : nullptr;
	while (dirent *ent = dir != nullptr ? readdir(dir) : nullptr)
		std::printf("%s\n", ent->d_name);
	if (dir != nullptr)
		closedir(dir);
	std::FILE *fp = createReplacement(SCANNED_FOLDER, folder.substr(0, sep + 1).c_str(),
					  argv[1] + sep + 1);
	if (fp == nullptr)
		return 3;
	std::fputs("#EXTM3U\n", fp);
	if (mode == "--refuse" && CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
					      OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE)
		return 3;
	if (!mode.empty() && mode != "--step")
		return commitReplacement();
	std::fflush(fp);
	std::printf(mode.empty() ? "ready\n" : "made\n");
	std::fflush(stdout);
	if (!mode.empty())
		releaseInterrupts();
	Sleep(20000);
	std::printf("not interrupted\n");
	return commitReplacement();
}
