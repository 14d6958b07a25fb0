// The folders a run works in, as Windows names them. Windows files only.
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

#endif
