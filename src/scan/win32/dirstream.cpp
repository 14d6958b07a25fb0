#include "scan/dirstream.h"

#include <string>

#include "platform/win32/identity.h"

DIR *openScannedFolder(const char *path)
{
	return opendir(path);
}

DIR *openSubfolder(DIR *, const char *, const char *joined)
{
	return opendir(joined);
}

bool isFolderEntry(DIR *, const char *, const char *joined)
{
	struct stat st;
	return stat(joined, &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

bool identifyFolder(DIR *dir, FolderId *id)
{
	// The search pattern is the folder's full path, a separator and "*".
	std::wstring path = dir->wdirp->pattern;
	path.pop_back();
	FileIdentity file;
	if (!identifyPath(path.c_str(), &file))
		return false;
	id->dev = file.volume;
	id->ino = file.index;
	return true;
}

const char *unlistedReason(const DIR *dir)
{
	return dir->unlisted;
}

const char *longNameOf(const DIR *dir)
{
	return dir->longName[0] != '\0' ? dir->longName : nullptr;
}
