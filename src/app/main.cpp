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
#include "util/host.h"

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

	std::string folder = resolveScanRoot(argv[1]);
	// Notices first, so they stand before any error line of the scan.
	std::fflush(stdout);
	scanFolder(folder.c_str());
	return writePlaylist(folder.c_str()) ? 0 : 2;
}
