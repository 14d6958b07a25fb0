#ifndef TONVELO_DIRSTREAM_WIN32_H
#define TONVELO_DIRSTREAM_WIN32_H

#include <sys/stat.h>

#include "platform/win32/units.h"
#include "scan/win32/dirent.h"

// A joined path is at most PATH_TEXT_MAX UTF-16 units long, which take
// three bytes each at most in UTF-8, and a terminator.
enum { JOINED_PATH_LENGTH_MAX = PATH_TEXT_MAX, JOINED_PATH_MAX = 3 * PATH_TEXT_MAX + 1 };

// The collector reads our own directory streams.
typedef DIR FolderStream;
typedef dirent FolderEntry;

#endif
