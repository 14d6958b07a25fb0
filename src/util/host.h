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

#endif
