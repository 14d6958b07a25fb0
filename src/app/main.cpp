// tonvelo: writes a shuffled playlist.m3u of every file below a folder.
//
// Exit status: 0 when the playlist was written (folders that could not be
// read are reported and left out), 1 after the usage text, 2 when no
// playlist could be written or the folder meant cannot be named.
#include <cstdio>
#include <cstring>
#include <string>

#include "playlist/writer.h"
#include "scan/collect.h"
#include "util/host.h"
#include "util/report.h"

namespace {

void printBanner()
{
	std::printf("Tonvelo 0.1 by Brennovald\n"
		    "Writes a shuffled playlist.m3u of every file below a folder.\n");
}

// The folder as typed when it exists, else the current directory; false
// when the one meant has no name the directory streams can take, which
// *folder then holds.
bool resolveScanRoot(const char *arg, int index, std::string *folder)
{
	NameLookup found = lookUpArgument(index, arg, folder);
	if (found == NAME_MISSING) {
		std::printf("The path is invalid! take the current one");
		found = lookUpCurrentDirectory(folder);
	}
	return found != NAME_UNREPRESENTABLE;
}

} // namespace

int main(int argc, char *argv[])
{
	printBanner();
	if (argc < 2) {
		std::printf("Usage: program folder\n");
		return 1;
	}
	if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
	    isNativeHelpOption(argv[1])) {
		std::printf("Usage: program folder\n");
		return 0;
	}
	if (std::strcmp(argv[1], "--version") == 0)
		return 0;

	std::string folder;
	bool named = resolveScanRoot(argv[1], 1, &folder);
	// Notices first, so they stand before any error line.
	std::fflush(stdout);
	if (!named) {
		reportPath(folder.c_str(), "name not representable");
		return 2;
	}
	scanFolder(folder.c_str());
	return writePlaylist(folder.c_str()) ? 0 : 2;
}
