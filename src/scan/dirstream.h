// Directory streams: the runtime library's on POSIX systems, our own on
// Windows, where the runtime library has none; and what the collector
// needs to know of a folder or an entry beyond the stream's records.
#ifndef TONVELO_DIRSTREAM_H
#define TONVELO_DIRSTREAM_H

#ifdef _WIN32
#include "scan/win32/dirstream.h"
#else
#include "scan/posix/dirstream.h"
#endif

// Who a folder is, to notice one that comes round again.
struct FolderId {
	unsigned long long dev;
	unsigned long long ino;
};

// Opens the folder held by holdScannedFolder, whose text is path.
DIR *openScannedFolder(const char *path);

// Opens the folder name in the folder open in parent; joined is its path.
// Where the system allows, relative to parent: the folder entered is the
// one listed there, whatever is renamed above it meanwhile.
DIR *openSubfolder(DIR *parent, const char *name, const char *joined);

// True when the entry name of parent, at joined, is a folder once links
// are followed.
bool isFolderEntry(DIR *parent, const char *name, const char *joined);

// Who the folder open in dir is; false where that cannot be told.
bool identifyFolder(DIR *dir, FolderId *id);

// Why the entry last read from dir is not to be listed, a name the stream
// can hand out but no one can open by, or nullptr.
const char *unlistedReason(const DIR *dir);

// The long name that the entry last read from dir stands for, where its
// record holds another (a short name); else nullptr.
const char *longNameOf(const DIR *dir);

#endif
