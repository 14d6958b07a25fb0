#include "scan/dirstream.h"

bool identifyFolder(DIR *dir, FolderId *id)
{
	struct stat st;

	if (fstat(dirfd(dir), &st) != 0)
		return false;
	id->dev = st.st_dev;
	id->ino = st.st_ino;
	return true;
}

// Every name the system gives can be held.
bool isNamelessEntry(const struct dirent *)
{
	return false;
}
