// The few things the run needs from the operating system beyond the
// directory streams: one implementation per platform.
#ifndef TONVELO_HOST_H
#define TONVELO_HOST_H

#include <cstddef>
#include <cstdio>
#include <string>

// True when path names an existing file or folder.
bool pathExists(const char *path);

// The current working directory, or "" when it cannot be had.
std::string currentDirectory();

// True when path does not depend on the current directory.
bool isAbsolutePath(const char *path);

// True when stream is a terminal.
bool isTerminal(std::FILE *stream);

// Asks for large memory pages under the given range; a hint only.
void adviseLargePages(void *start, std::size_t size);

// Creates a file that did not exist and opens it for writing in text mode.
// Returns nullptr with errno set on failure.
std::FILE *createNewFile(const char *path);

// Moves from over to, replacing to if it exists. Returns 0, or -1 with errno.
int replaceFile(const char *from, const char *to);

#endif
