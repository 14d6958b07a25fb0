#ifndef TONVELO_DIRSTREAM_POSIX_H
#define TONVELO_DIRSTREAM_POSIX_H

#include <climits>
#include <dirent.h>
#include <sys/stat.h>

// A joined path may be as long as the system accepts, with its terminator.
enum { JOINED_PATH_LENGTH_MAX = PATH_MAX - 1, JOINED_PATH_MAX = PATH_MAX };

// A bind mount can bring a folder back below itself without any link.
const bool LOOPS_WITHOUT_LINKS = true;

#endif
