#include "scan/dirstream.h"

#include <string>

// A folder is its volume's serial number and its file index, asked of a
// handle on the folder itself; FILE_FLAG_BACKUP_SEMANTICS lets a folder
// be opened, and the links on the way to it are followed.
bool identifyFolder(DIR *dir, FolderId *id)
{
	// The search pattern is the folder's full path, a separator and "*".
	std::wstring path = dir->wdirp->pattern;
	path.pop_back();
	HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
			       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
			       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE)
		return false;
	BY_HANDLE_FILE_INFORMATION info;
	bool known = GetFileInformationByHandle(h, &info) != 0;
	CloseHandle(h);
	if (!known)
		return false;
	id->dev = info.dwVolumeSerialNumber;
	id->ino = static_cast<unsigned long long>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
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
