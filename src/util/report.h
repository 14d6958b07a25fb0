// What the run tells on standard error: error lines of the form
// "tonvelo: path: reason", and a status line while a long scan runs.
#ifndef TONVELO_REPORT_H
#define TONVELO_REPORT_H

#include <cstddef>

// Control bytes in path are escaped so that one report stays one line.
void reportPath(const char *path, const char *reason);
void reportPath(const char *path, std::size_t len, const char *reason);

// "opendir: reason" for the current errno.
void reportOpenFailure();

// Refreshes the status line with the number of files found; only on a
// terminal, only once the scan has run for a while, a few times a second.
void showProgress(std::size_t found);
// Erases the status line, if one is shown.
void clearProgress();
// How wide the status line shown is, 0 when none: safe in a signal
// handler, which has to erase it by its own means.
int progressWidth();

#endif
