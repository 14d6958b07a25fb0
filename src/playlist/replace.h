// Writing a file that replaces another only once it is whole: an
// interrupted or failed run leaves the old file as it was. One
// replacement at a time.
#ifndef TONVELO_REPLACE_H
#define TONVELO_REPLACE_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/host.h"

// A place refused for safety, for what another user put there: the path
// refused (a link at the place, or one further along) and why.
struct Refusal {
	std::string path;
	const char *reason = nullptr;  // nullptr when nothing was refused
};

// Opens a new file, in text mode, that is to take the place of name in
// folder (of the file a link there leads to); shown is the folder as
// reports show it. Returns nullptr with errno set when the file cannot be
// written there: not permitted, read-only, in use, a folder, a missing
// folder, or a place refused (lastRefusal then says which and why).
std::FILE *createReplacement(HeldFolder folder, const char *shown, const char *name);
const Refusal &lastRefusal();

// Closes the new file and puts it in place, with the old file's owner,
// mode and access list where they can be kept. Returns 0, or the errno of
// the failure; the new file is then gone.
int commitReplacement();

// Closes the new file and removes it.
void discardReplacement();

// Removes the new file while it has a temporary name, puts the old one
// back where it was moved aside to make room, and an old file's bytes
// where it is written over; nothing else. Safe in a signal handler, and on
// the thread Windows runs a console handler on: a change to the files
// under way is first noted, and none comes after (the hold it takes is
// kept), so that what it finds is what there is.
void removeReplacementInHandler();

// True when path, of len bytes, names the file being replaced, under any
// spelling that reaches it: a run never lists the file it writes.
bool isReplacedFile(const char *path, std::size_t len);

#endif
