#ifndef TONVELO_DIRSTREAM_WIN32_H
#define TONVELO_DIRSTREAM_WIN32_H

#include <sys/stat.h>

#include "scan/win32/dirent.h"

// Joined paths are kept to 255 characters, as the Windows streams accept.
enum { JOINED_PATH_MAX = 256 };

// Only a reparse point (a link, a junction, a mounted folder) can lead
// back onto the path.
const bool LOOPS_WITHOUT_LINKS = false;

#endif
