// What the run tells on standard error: error lines of the form
// "tonvelo: path: reason", a status line while a long scan runs, and the
// way out when memory runs out.
#ifndef TONVELO_REPORT_H
#define TONVELO_REPORT_H

#include <cstddef>
#include <cstdio>

// "tonvelo: path: reason"; with instead, "; written to instead instead"
// after it: the playlist could not go to path and went there. Control
// characters in the paths (C0, DEL and C1, as bytes or as UTF-8) are
// escaped as \n, \r or \xNN, so that one report stays one line and no
// name can steer the terminal.
void reportPath(const char *path, const char *reason, const char *instead = nullptr);

// "opendir: reason" for the current errno.
void reportOpenFailure();

// Refreshes the status line with the number of files found; only on a
// terminal, only once the scan has run for a while, a few times a second.
void showProgress(std::size_t found);
// Tells that the last line written to stream is not finished: where
// stream is a terminal, the status line then starts on a line of its own
// below it, so that neither the line nor its erasing touches that text.
void noteUnfinishedLine(std::FILE *stream);
// Erases the status line, if one is shown.
void clearProgress();
// The same by write() alone: safe in a signal handler, and on the thread
// Windows runs a console handler on.
void clearProgressInHandler();

// From now on an allocation that fails runs cleanup (which must not
// allocate), reports path with the reason and ends the process with
// status 2: running out of memory costs this run's playlist, never an
// earlier one.
void handleOutOfMemory(const char *path, void (*cleanup)());

// The same, for a failure that a call told through ENOMEM.
[[noreturn]] void dieOutOfMemory();

#endif
