#include "scan/dirstream.h"

// The Windows runtime gives no inode numbers; the path length limit is
// what ends a cycle of links there.
bool identifyFolder(DIR *, FolderId *)
{
	return false;
}

bool identifyTarget(const struct stat &, FolderId *)
{
	return false;
}

// A name the narrow form cannot hold comes as a stand-in record.
bool isNamelessEntry(const struct dirent *ent)
{
	return ent->d_reclen == 0;
}
