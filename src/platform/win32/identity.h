// Who a file or folder is on Windows: its volume's serial number and its
// file index. Windows files only.
#ifndef TONVELO_WIN32_IDENTITY_H
#define TONVELO_WIN32_IDENTITY_H

#include <windows.h>

struct FileIdentity {
	unsigned long long volume;
	unsigned long long index;
};

inline bool identifyHandle(HANDLE h, FileIdentity *id)
{
	BY_HANDLE_FILE_INFORMATION info;
	if (!GetFileInformationByHandle(h, &info))
		return false;
	id->volume = info.dwVolumeSerialNumber;
	id->index = static_cast<unsigned long long>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
	return true;
}

inline bool isFolderHandle(HANDLE h)
{
	FILE_STANDARD_INFO info;
	return GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info) &&
	       info.Directory;
}

// Asked of a handle on path itself; FILE_FLAG_BACKUP_SEMANTICS lets a
// folder be opened, and the links on the way to it are followed.
inline bool identifyPath(const wchar_t *path, FileIdentity *id)
{
	HANDLE h = CreateFileW(path, FILE_READ_ATTRIBUTES,
			       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
			       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE)
		return false;
	bool known = identifyHandle(h, id);
	CloseHandle(h);
	return known;
}

#endif
