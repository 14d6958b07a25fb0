// The folders a run works in as Windows names them, and who a file or a
// folder is: its volume's serial number and file index. Windows files only.
#ifndef TONVELO_WIN32_FOLDERS_H
#define TONVELO_WIN32_FOLDERS_H

#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/host.h"

// The errno for a folder that could not be opened or searched, as
// opendir's: EACCES, ENOTDIR, else ENOENT.
inline int mapFolderError(DWORD code)
{
	switch (code) {
	case ERROR_ACCESS_DENIED:
	case ERROR_SHARING_VIOLATION:
		return EACCES;
	case ERROR_DIRECTORY:
		return ENOTDIR;
	default:
		return ENOENT;
	}
}

// The path that names the folder held by holdScannedFolder now: "\\?\"
// and its full path, however its name was typed or links on the way to
// it change. False, with the last error set, when it is not held.
bool heldFolderPath(HeldFolder folder, std::wstring *path);

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
