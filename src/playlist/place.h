// The place a replacement goes to, and the system calls that make it:
// one implementation per platform. The design (which way of writing, the
// temporary names, the order of the steps) is replace.cpp's.
// renameIntoPlace, removeName and putBackInHandler allocate nothing and
// share nothing: they are safe in a signal handler, and on the thread
// Windows runs a console handler on.
#ifndef TONVELO_PLACE_H
#define TONVELO_PLACE_H

#include <cstddef>
#include <cstdio>
#include <vector>

#include "platform/host.h"
#include "playlist/replace.h"

// What stands at the place now.
enum PlaceKind {
	PLACE_EMPTY,   // nothing: the new file is the first
	PLACE_FILE,    // a file, replaced whole
	PLACE_SPECIAL  // a FIFO or a device: written to, never replaced
};

#ifdef _WIN32
#include "playlist/win32/place.h"
#else
#include "playlist/posix/place.h"
#endif

// Finds the place of name in folder, which reports show as shown ("" or
// ending in a separator): the folder that holds the file, its name there
// (links at its end followed where they may be), that folder as reports
// show it (place->shown) and what stands there. Returns 0 or an errno;
// for a place refused for safety, also fills in its refusal. The place is
// to be left with leavePlace either way.
int findPlace(HeldFolder folder, const char *shown, const char *name, Place *place);
void leavePlace(Place *place);

// New files, open for writing in text mode: descriptors, or -1 with errno
// set when they cannot be had. An unnamed file has no name until nameFile
// gives it one (ENOTSUP where the system has none); a named one is private
// to its owner until its attributes are set, and fails with EEXIST when
// its name is taken.
int openUnnamed(Place *place);
int openNamed(Place *place, const char *name);
// The file at the place itself, as it is: written over from its start,
// never emptied. The bytes of a file are first read into *old (null for a
// FIFO or a device): it is opened for reading too, and fails unless the
// user may read it.
int openInPlace(Place *place, std::vector<char> *old);
// Cuts the file open in fd where the writes to it reached: 0 or an errno.
int cutAtEnd(int fd);
// Writes the size bytes of old back over the file open in fd, as far as
// the writes to it reached (past that they are still there), and cuts it
// to size bytes: 0 or an errno.
int putBackInHandler(int fd, const char *old, std::size_t size);

// Gives the new file the old one's owner, mode and access list, or those
// of a new file when there was none.
void setAttributes(Place *place, std::FILE *fp);
// Gives the unnamed file the name name in the place's folder, or the
// place's own name when name is null: 0 or an errno.
int nameFile(Place *place, std::FILE *fp, const char *name);
// Renames name over the file at the place: 0 or an errno.
int renameIntoPlace(const Place *place, const char *name);
// Renames the file at the place to name in its folder: 0 or an errno,
// EEXIST where name is taken (on Linux, where the file system can tell).
int moveAside(Place *place, const char *name);
// Removes name, or the place's own name when null, from the place's
// folder: 0 or an errno.
int removeName(const Place *place, const char *name);

// The name of the file at the place as the media list would hold it.
const char *listedName(const Place *place);
// True when path names the file at the place.
bool isFileAtPlace(Place *place, const char *path);

#endif
