// The few things the run needs from the operating system beyond the
// directory streams: one implementation per platform.
#ifndef TONVELO_HOST_H
#define TONVELO_HOST_H

#include <cstddef>
#include <cstdio>
#include <string>

// What a name that the user gave, or the system, leads to.
enum NameLookup {
	NAME_FOUND,            // an existing file or folder
	NAME_MISSING,          // nothing
	NAME_UNREPRESENTABLE   // something the directory streams cannot be told
};

// Looks up argument number index, of which arg is the runtime's copy. When
// found, *text names it to the directory streams: arg itself, unless the
// platform names it otherwise (its own copy of the argument, the name the
// system resolves it to, a short name). Otherwise *text is arg.
NameLookup lookUpArgument(int index, const char *arg, std::string *text);

// The current working directory in the same way; "" when it cannot be had.
// When not representable, *text is the directory as the runtime has it.
NameLookup lookUpCurrentDirectory(std::string *text);

// The folders a run works in: the one scanned, and the current directory.
enum HeldFolder { SCANNED_FOLDER, CURRENT_FOLDER };

// Opens the folder to be scanned, and the current directory, and holds
// both open to the end of the run: the scan reads the one and the
// playlist is written into either, so that no rename meanwhile can change
// which folder is meant. text is the folder as named, or nullptr for the
// current directory. Returns 0 or an errno.
int holdScannedFolder(const char *text);

// What stands between path, of len bytes, and a name below it: nothing
// where path already ends in a separator.
const char *separatorAfter(const char *path, std::size_t len);

// True for the platform's own option for help, beside --help and -h.
bool isNativeHelpOption(const char *arg);

// True when path does not depend on the current directory.
bool isAbsolutePath(const char *path);

// True when stream is a terminal.
bool isTerminal(std::FILE *stream);

// Raises the soft limit on open files to the hard one, where there are
// such limits and the system allows it.
void raiseOpenFileLimit();

#endif
