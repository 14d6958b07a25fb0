// Directory streams: the runtime library's on POSIX systems, our own on
// Windows, where the runtime library has none; and what the collector
// needs to know of a folder or an entry beyond the stream's records.
#ifndef TONVELO_DIRSTREAM_H
#define TONVELO_DIRSTREAM_H

#include <cstddef>
#include <string>

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

// Opens the folder held by holdScannedFolder, whose text is path, for the
// scan, which leaves it with leaveScannedFolder.
DIR *openScannedFolder(const char *path);
void leaveScannedFolder();

// Opens the folder name, the entry last read from parent, whose path is
// joined: below the folder held, whatever is renamed above it meanwhile.
DIR *openSubfolder(DIR *parent, const char *name, const char *joined);

// True when the entry name last read from parent is a folder once links
// are followed.
bool isFolderEntry(DIR *parent, const char *name);

// Who the folder open in dir is; false where that cannot be told.
bool identifyFolder(DIR *dir, FolderId *id);

// Where only links bring a folder round again (LOOPS_WITHOUT_LINKS false),
// none is identified until a link leads to one: the folder open in dir,
// walked before, is remembered with a mark of the caller's, and handed to
// note with it once identified then.
void rememberFolder(DIR *dir, bool mark);
void identifyRememberedFolders(bool (*note)(const FolderId &id, bool mark));
void forgetRememberedFolders();

// Where the name of the entry last read from dir is in another form than
// the path of dir (on Windows UTF-8, for a name no narrow or short name
// carries, in a folder whose path is narrow), turns the first len bytes
// of path into that form in place, keeping them in *saved, and returns
// the new length. Else returns len.
std::size_t conformPath(const DIR *dir, char *path, std::size_t len, std::string *saved);

// The length of the name of the entry last read from dir, of bytes bytes,
// as JOINED_PATH_LENGTH_MAX counts it: in bytes, on Windows in UTF-16
// units.
std::size_t nameLength(const DIR *dir, std::size_t bytes);

// Why the entry last read from dir is not to be listed, a name the stream
// can hand out but no one can open by, or nullptr.
const char *unlistedReason(const DIR *dir);

// The long name that the entry last read from dir stands for, where its
// record holds another (a short name); else nullptr.
const char *longNameOf(const DIR *dir);

#endif
