// How the collector reads folders: the system's own records on Linux, our
// own directory streams on Windows, where the runtime library has none;
// and what it needs to know of a folder or an entry beyond the records.
#ifndef TONVELO_DIRSTREAM_H
#define TONVELO_DIRSTREAM_H

#include <cstddef>
#include <string>

// Who a folder is, to notice one that comes round again.
struct FolderId {
	unsigned long long dev;
	unsigned long long ino;
};

// What an entry is once links are followed: a file (anything but a folder,
// a dangling link too), a folder reached without a link or through one, or
// a link that cannot be followed for another reason than its target's
// absence (errno tells which).
enum EntryKind { FILE_ENTRY, FOLDER, LINKED_FOLDER, UNREACHABLE };

#ifdef _WIN32
#include "scan/win32/dirstream.h"
#else
#include "scan/posix/dirstream.h"
#endif

// Opens the folder held by holdScannedFolder.
FolderStream *openScannedFolder();

// Opens the folder name, the entry last read from parent.
FolderStream *openSubfolder(FolderStream *parent, const char *name);

// The next entry, or nullptr at the end of the folder, and with errno set
// when it could not be read to the end.
FolderEntry *readFolder(FolderStream *dir);
void closeFolder(FolderStream *dir);

// What ent, last read from parent, is once followed. For a folder, *known
// tells whether *id says who it is.
EntryKind followEntry(FolderStream *parent, const FolderEntry *ent, FolderId *id, bool *known);

// Who the folder open in dir is; false where that cannot be told.
bool identifyFolder(FolderStream *dir, FolderId *id);

// Where the name of the entry last read from dir is in another form than
// the path of dir (on Windows UTF-8, for a name no narrow or short name
// carries, in a folder whose path is narrow), turns the first len bytes
// of path into that form in place, keeping them in *saved, and returns
// the new length. Else returns len.
std::size_t conformPath(const FolderStream *dir, char *path, std::size_t len, std::string *saved);

// The length of the name of the entry last read from dir, of bytes bytes,
// as JOINED_PATH_LENGTH_MAX counts it: in bytes, on Windows in UTF-16
// units.
std::size_t nameLength(const FolderStream *dir, std::size_t bytes);

// Why the entry last read from dir is not to be listed, a name the stream
// can hand out but no one can open by, or nullptr.
const char *unlistedReason(const FolderStream *dir);

// The long name that the entry last read from dir stands for, where its
// record holds another (a short name); else nullptr.
const char *longNameOf(const FolderStream *dir);

#endif
