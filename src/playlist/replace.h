// Writing a file that replaces another only once it is whole: an
// interrupted or failed run leaves the old file as it was and nothing
// beside it. One replacement at a time.
#ifndef TONVELO_REPLACE_H
#define TONVELO_REPLACE_H

#include <cstdio>

// Opens a new file, in text mode, that is to take the place of path (of
// the file a link there leads to). Returns nullptr with errno set when
// the file cannot be written there: not permitted, read-only, a folder,
// a missing folder. Trouble with a temporary name of its own is no such
// failure.
std::FILE *createReplacement(const char *path);

// Closes the new file and puts it in place, with the old file's mode and,
// where permitted, its owner. Returns 0, or the errno of the failure; the
// new file is then gone.
int commitReplacement();

// Closes the new file and removes it.
void discardReplacement();

// From now on an interrupt removes the replacement being written and the
// status line, then ends the process as it would have; a write to a
// vanished reader or past the file size limit fails with an error instead
// of ending the process.
void catchSignals();

#endif
