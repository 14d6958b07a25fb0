// tonvelo: writes a shuffled playlist.m3u of every file below a folder.
//
// Exit status: 0 when the playlist was written (folders that could not be
// read are reported and left out), 1 after the usage text, 2 when no
// playlist could be written, the folder meant cannot be named, or the
// text of --help or --version.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "playlist/writer.h"
#include "scan/collect.h"
#include "scan/medialist.h"
#include "platform/host.h"
#include "playlist/replace.h"
#include "report/report.h"

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

// For --help and --version the text is all there is, so a failed write
// fails the run; a scan's banner is decoration and is not checked.
int finishText()
{
	if (std::fflush(stdout) == 0 && !std::ferror(stdout))
		return 0;
	reportPath("standard output", std::strerror(errno));
	return 2;
}

} // namespace

int main(int argc, char *argv[])
{
	// The banner is decoration: a reader that went away costs nothing.
	catchSignals();
	printBanner();
	// "--" ends the options: the argument after it is the folder.
	int first = argc > 1 && std::strcmp(argv[1], "--") == 0 ? 2 : 1;
	if (argc <= first) {
		std::printf("Usage: program folder\n");
		return 1;
	}
	const char *arg = argv[first];
	if (first == 1 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 ||
			   isNativeHelpOption(arg))) {
		std::printf("Usage: program folder\n");
		return finishText();
	}
	if (first == 1 && std::strcmp(arg, "--version") == 0)
		return finishText();

	// Running out of memory costs this run's playlist, never the old one.
	handleOutOfMemory(arg, discardReplacement);
	std::string folder;
	bool named = resolveScanRoot(arg, first, &folder);
	// Notices first, so they stand before any error line.
	std::fflush(stdout);
	if (!named) {
		reportPath(folder.c_str(), "name not representable");
		return 2;
	}
	scanFolder(folder.c_str());
	int status = writePlaylist(folder.c_str()) ? 0 : 2;
	clearMediaList();
	return status;
}
