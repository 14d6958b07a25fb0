// tonvelo: writes a shuffled playlist.m3u of every file below a folder.
//
// Exit status: 0 when the playlist was written (folders that could not be
// read are reported and left out), 1 after the usage text, 2 when no
// playlist could be written.
#include <cstdio>
#include <cstring>
#include <string>

#include "playlist/writer.h"
#include "scan/collect.h"
#include "scan/medialist.h"
#include "util/host.h"
#include "util/memory.h"
#include "util/replace.h"

namespace {

void printBanner()
{
	std::printf("Tonvelo 0.1 by Brennovald\n"
		    "Writes a shuffled playlist.m3u of every file below a folder.\n");
}

// The folder as typed when it exists, else the current directory.
std::string resolveScanRoot(const char *arg)
{
	if (pathExists(arg))
		return arg;
	std::printf("The path is invalid! take the current one");
	return currentDirectory();
}

} // namespace

int main(int argc, char *argv[])
{
	// The banner is decoration: a reader that went away costs nothing.
	catchSignals();
	printBanner();
	if (argc < 2) {
		std::printf("Usage: program folder\n");
		return 1;
	}
	if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
		std::printf("Usage: program folder\n");
		return 0;
	}
	if (std::strcmp(argv[1], "--version") == 0)
		return 0;

	// Running out of memory costs this run's playlist, never the old one.
	handleOutOfMemory(argv[1]);
	std::string folder = resolveScanRoot(argv[1]);
	// Notices first, so they stand before any error line of the scan.
	std::fflush(stdout);
	scanFolder(folder.c_str());
	int status = writePlaylist(folder.c_str()) ? 0 : 2;
	clearMediaList();
	return status;
}
