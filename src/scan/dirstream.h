// Directory streams: the runtime library's on POSIX systems, our own on
// Windows, where the runtime library has none.
#ifndef TONVELO_DIRSTREAM_H
#define TONVELO_DIRSTREAM_H

#ifdef _WIN32
#include "scan/win32/dirent.h"
// Joined paths are kept to 255 characters, as the Windows streams accept.
enum { JOINED_PATH_MAX = 256 };
#else
#include <climits>
#include <dirent.h>
enum { JOINED_PATH_MAX = PATH_MAX };
#endif

#endif
