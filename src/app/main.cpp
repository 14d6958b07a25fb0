// tonvelo: writes a shuffled playlist.m3u of every file below a folder.
//
// Exit status: 0 when the playlist was written (folders that could not be
// read are reported and left out), 1 after the usage text, 2 when no
// playlist could be written, the folder meant cannot be named or opened,
// or the text of --help or --version could not be written.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/host.h"
#include "playlist/interrupt.h"
#include "playlist/replace.h"
#include "playlist/writer.h"
#include "report/report.h"
#include "scan/collect.h"
#include "scan/medialist.h"

namespace {

// The program's texts are kept as they have always been, for the scripts
// that read them: "program" in the usage, and no line break after the
// notice that the current directory is taken instead.
const char USAGE[] = "Usage: program folder\n";
const char NOTICE[] = "The path is invalid! take the current one";

// TONVELO_VERSION is the project's version, given by the build.
void printBanner()
{
	std::printf("Tonvelo " TONVELO_VERSION " by Brennovald\n"
		    "Writes a shuffled playlist.m3u of every file below a folder.\n");
}

// The folder as typed when it exists, else the current directory, whose
// lookup is returned and *isCurrent set. A name that begins with "-" and
// names nothing is an option mistyped: NAME_MISSING, with nothing printed.
// Unless it came after "--", which ends the options.
NameLookup resolveScanRoot(const char *arg, int index, std::string *folder, bool *isCurrent)
{
	NameLookup found = lookUpArgument(index, arg, folder);
	*isCurrent = false;
	if (found != NAME_MISSING || (arg[0] == '-' && index == 1))
		return found;
	std::printf("%s", NOTICE);
	noteUnfinishedLine(stdout);
	*isCurrent = true;
	return lookUpCurrentDirectory(folder);
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
	catchSignals();
	raiseOpenFileLimit();
	// The banner is decoration: a reader that went away costs nothing.
	printBanner();
	// "--" ends the options: the argument after it is the folder.
	int first = argc > 1 && std::strcmp(argv[1], "--") == 0 ? 2 : 1;
	if (argc <= first) {
		std::printf("%s", USAGE);
		return 1;
	}
	const char *arg = argv[first];
	if (first == 1 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 ||
			   isNativeHelpOption(arg))) {
		std::printf("%s", USAGE);
		return finishText();
	}
	if (first == 1 && std::strcmp(arg, "--version") == 0)
		return finishText();

	// Running out of memory costs this run's playlist, never the old one.
	handleOutOfMemory(arg, removeReplacementInHandler);
	std::string folder;
	bool isCurrent;
	NameLookup found = resolveScanRoot(arg, first, &folder, &isCurrent);
	if (found == NAME_MISSING) {
		// Scanning the current directory instead would cost its playlist.
		reportPath(arg, "unknown option");
		std::printf("%s", USAGE);
		return 1;
	}
	// Notices first, so they stand before any error line.
	std::fflush(stdout);
	if (found == NAME_UNREPRESENTABLE) {
		reportPath(folder.c_str(), "name not representable");
		return 2;
	}
	// A folder that cannot be opened has no playlist to give: writing an
	// empty one would only replace a good one.
	if (!scanFolder(folder.c_str(), isCurrent))
		return 2;
	int status = writePlaylist(folder.c_str()) ? 0 : 2;
	clearMediaList();
	return status;
}
