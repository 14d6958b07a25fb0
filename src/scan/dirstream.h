// Directory streams: the runtime library's on POSIX systems, our own on
// Windows, where the runtime library has none.
#ifndef TONVELO_DIRSTREAM_H
#define TONVELO_DIRSTREAM_H

// Who a folder is, to notice a link back to a folder on the current path.
struct FolderId {
	unsigned long long dev;
	unsigned long long ino;
};

#ifdef _WIN32
#include <sys/stat.h>

#include "scan/win32/dirent.h"
// Joined paths are kept to 255 characters, as the Windows streams accept.
enum { JOINED_PATH_MAX = 256 };

// The Windows runtime gives no inode numbers; the path length limit is
// what ends a cycle of links there.
inline bool identifyFolder(DIR *, FolderId *)
{
	return false;
}

inline bool identifyTarget(const struct stat &, FolderId *)
{
	return false;
}

// A name the narrow form cannot hold comes as a stand-in record.
inline bool isNamelessEntry(const struct dirent *ent)
{
	return ent->d_reclen == 0;
}
#else
#include <climits>
#include <dirent.h>
#include <sys/stat.h>
enum { JOINED_PATH_MAX = PATH_MAX };

inline bool identifyFolder(DIR *dir, FolderId *id)
{
	struct stat st;

	if (fstat(dirfd(dir), &st) != 0)
		return false;
	id->dev = st.st_dev;
	id->ino = st.st_ino;
	return true;
}

// Who a folder reached through a link is, from the stat that followed it.
inline bool identifyTarget(const struct stat &st, FolderId *id)
{
	id->dev = st.st_dev;
	id->ino = st.st_ino;
	return true;
}

inline bool isNamelessEntry(const struct dirent *)
{
	return false;
}
#endif

#endif
