// Writing a file that replaces another only once it is whole: an
// interrupted or failed run leaves the old file as it was. One
// replacement at a time.
#ifndef TONVELO_REPLACE_H
#define TONVELO_REPLACE_H

#include <cstddef>
#include <cstdio>

// Opens a new file, in text mode, that is to take the place of path (of
// the file a link there leads to). Returns nullptr with errno set when
// the file cannot be written there: not permitted, read-only, in use, a
// folder, a missing folder. *told is set when the failure has been
// reported already: a place refused because another user put a link, a
// FIFO or a device there.
std::FILE *createReplacement(const char *path, bool *told);

// Closes the new file and puts it in place, with the old file's owner,
// mode and access list where they can be kept. Returns 0, or the errno of
// the failure; the new file is then gone.
int commitReplacement();

// Closes the new file and removes it.
void discardReplacement();

// Removes the new file while it has a temporary name, and puts the old
// one back where it was moved aside to make room; nothing else. Safe in a
// signal handler, and on the thread Windows runs a console handler on.
void removeReplacementNow();

// True when path, of len bytes, names the file being replaced, under any
// spelling that reaches it: a run never lists the file it writes.
bool isReplacedFile(const char *path, std::size_t len);

#endif
