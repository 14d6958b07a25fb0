#ifndef TONVELO_DIRSTREAM_POSIX_H
#define TONVELO_DIRSTREAM_POSIX_H

#include <climits>
#include <cstddef>
#include <dirent.h>
#include <sys/stat.h>

// A joined path may be as long as the system accepts, with its terminator.
enum { JOINED_PATH_LENGTH_MAX = PATH_MAX - 1, JOINED_PATH_MAX = PATH_MAX };

// A folder being read, its records straight from getdents64: the runtime's
// opendir would stat every folder once more than the walk needs.
typedef struct dirent64 FolderEntry;
struct FolderStream {
	int fd;
	std::size_t next, end; // the records of buf not yet handed out
	alignas(FolderEntry) char buf[32768];
};

#endif
