// Running out of memory: one line and status 2, never a half-made file.
#ifndef TONVELO_MEMORY_H
#define TONVELO_MEMORY_H

// From now on an allocation that fails reports path with the reason and
// ends the process with status 2, after removing the replacement being
// written.
void handleOutOfMemory(const char *path);

// The same, for a failure that a call told through ENOMEM.
[[noreturn]] void dieOutOfMemory();

#endif
