#include "playlist/replace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <utility>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "report/report.h"
#include "platform/win32/units.h"

namespace {

// Temporary names are as long as "playlist.m3u", so they fit wherever the
// playlist fits, and hold ".m3u", so a leftover is never listed.
const wchar_t TEMP_PREFIX[] = L".m3u";
const int TEMP_TRIES = 100;

// The replacement being written. Names are wide, each byte of the narrow
// text the unit of the same value, as the directory streams read them.
struct Replacement {
	std::FILE *fp;
	std::wstring target; // the file replaced, links followed
	std::wstring temp;   // its temporary name, while it has one
	bool hadOld;
	DWORD oldAttributes;
};
Replacement current;

// The temporary name as the console handler sees it.
wchar_t doomed[MAX_PATH + 1];
volatile LONG doomedSet;

int mapFileError(DWORD code)
{
	switch (code) {
	case ERROR_FILE_NOT_FOUND:
	case ERROR_PATH_NOT_FOUND:
	case ERROR_INVALID_NAME:
	case ERROR_BAD_PATHNAME:
		return ENOENT;
	case ERROR_ACCESS_DENIED:
	case ERROR_SHARING_VIOLATION:
	case ERROR_LOCK_VIOLATION:
		return EACCES;
	case ERROR_WRITE_PROTECT:
		return EROFS;
	case ERROR_FILE_EXISTS:
	case ERROR_ALREADY_EXISTS:
		return EEXIST;
	case ERROR_NOT_SAME_DEVICE:
		return EXDEV;
	case ERROR_DISK_FULL:
	case ERROR_HANDLE_DISK_FULL:
		return ENOSPC;
	case ERROR_FILENAME_EXCED_RANGE:
		return ENAMETOOLONG;
	case ERROR_NOT_ENOUGH_MEMORY:
	case ERROR_OUTOFMEMORY:
		return ENOMEM;
	default:
		return EIO;
	}
}

// For reports only: units beyond a byte cannot be shown as they are.
std::string narrow(const std::wstring &w)
{
	std::string s;
	for (wchar_t c : w)
		s += c < 0x100 ? char(c) : '?';
	return s;
}

// "folder\" of path, or "" for a name in the current directory.
std::wstring folderOf(const std::wstring &path)
{
	std::size_t sep = path.find_last_of(L"/\\");
	return sep == std::wstring::npos ? std::wstring() : path.substr(0, sep + 1);
}

// The file a link at path leads to, by its full name.
bool followLink(std::wstring *path)
{
	HANDLE h = CreateFileW(path->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
			       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE) {
		errno = mapFileError(GetLastError());
		return false;
	}
	wchar_t buf[32768];
	DWORD n = GetFinalPathNameByHandleW(h, buf, sizeof buf / sizeof buf[0], FILE_NAME_NORMALIZED);
	DWORD code = GetLastError();
	CloseHandle(h);
	if (n == 0 || n >= sizeof buf / sizeof buf[0]) {
		errno = n == 0 ? mapFileError(code) : ENAMETOOLONG;
		return false;
	}
	path->assign(buf, n);
	return true;
}

std::wstring tempName(const std::wstring &folder, int attempt)
{
	wchar_t name[16];
	unsigned mix = unsigned(GetCurrentProcessId()) * 2654435761u + unsigned(attempt) * 40503u;
	std::swprintf(name, 16, L"%ls%08x", TEMP_PREFIX, mix);
	return folder + name;
}

// Takes path over without a copy: nothing is allocated once the file
// exists.
void nameTemp(std::wstring path)
{
	InterlockedExchange(&doomedSet, 0);
	current.temp = std::move(path);
	if (current.temp.size() < sizeof doomed / sizeof doomed[0]) {
		std::wmemcpy(doomed, current.temp.c_str(), current.temp.size() + 1);
		InterlockedExchange(&doomedSet, 1);
	}
}

void removeTemp()
{
	InterlockedExchange(&doomedSet, 0);
	if (!current.temp.empty() && !DeleteFileW(current.temp.c_str()) &&
	    GetLastError() != ERROR_FILE_NOT_FOUND)
		reportPath(narrow(current.temp).c_str(), std::strerror(mapFileError(GetLastError())));
	current.temp.clear();
}

// A new file with a temporary name beside the target, which others may
// delete while it is open: so can the console handler.
HANDLE openTemp(const std::wstring &folder)
{
	for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
		std::wstring path = tempName(folder, attempt);
		HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
				       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
				       FILE_ATTRIBUTE_NORMAL, nullptr);
		if (h != INVALID_HANDLE_VALUE) {
			nameTemp(std::move(path));
			return h;
		}
		if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
			break;
	}
	errno = mapFileError(GetLastError());
	return INVALID_HANDLE_VALUE;
}

BOOL WINAPI onConsoleCtrl(DWORD)
{
	// Marked for deletion, the open file goes when the process ends.
	if (InterlockedCompareExchange(&doomedSet, 0, 1) == 1)
		DeleteFileW(doomed);
	int width = progressWidth();
	if (width > 0) {
		static const char blanks[] = "\r                                                ";
		if (width < int(sizeof blanks) - 1)
			_write(2, blanks, width + 1);
		_write(2, "\r", 1);
	}
	// Not handled: the system ends the process as it would have.
	return FALSE;
}

} // namespace

std::FILE *createReplacement(const char *path)
{
	current = Replacement();
	current.target = widen(path);
	DWORD attributes = GetFileAttributesW(current.target.c_str());
	// Not every link says it is one (Wine's do not): the name the open
	// file has is the one replaced.
	if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
		if (!followLink(&current.target))
			return nullptr;
		attributes = GetFileAttributesW(current.target.c_str());
	}
	current.hadOld = attributes != INVALID_FILE_ATTRIBUTES;
	current.oldAttributes = attributes;
	if (!current.hadOld && GetLastError() != ERROR_FILE_NOT_FOUND) {
		errno = mapFileError(GetLastError());
		return nullptr;
	}
	if (current.hadOld && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
		errno = EISDIR;
		return nullptr;
	}
	// A read-only playlist is not replaced, as it could not be written.
	if (current.hadOld && (attributes & FILE_ATTRIBUTE_READONLY)) {
		errno = EACCES;
		return nullptr;
	}

	HANDLE h = openTemp(folderOf(current.target));
	if (h == INVALID_HANDLE_VALUE)
		return nullptr;
	// Text mode: each "\n" is written as CR LF, the Windows line end.
	int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_TEXT);
	if (fd < 0) {
		CloseHandle(h);
		removeTemp();
		errno = EMFILE;
		return nullptr;
	}
	current.fp = _fdopen(fd, "wt");
	if (current.fp == nullptr) {
		int err = errno;
		_close(fd);
		removeTemp();
		errno = err;
	}
	return current.fp;
}

int commitReplacement()
{
	int err = std::fclose(current.fp) != 0 ? (errno ? errno : EIO) : 0;
	current.fp = nullptr;
	// The old file's attributes carry over; its access list is the
	// folder's, as for any new file there.
	const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
			   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
	if (err == 0 && current.hadOld && (current.oldAttributes & kept))
		SetFileAttributesW(current.temp.c_str(), current.oldAttributes & kept);
	if (err == 0 &&
	    !MoveFileExW(current.temp.c_str(), current.target.c_str(), MOVEFILE_REPLACE_EXISTING))
		err = mapFileError(GetLastError());
	if (err != 0)
		removeTemp();
	InterlockedExchange(&doomedSet, 0);
	current.temp.clear();
	return err;
}

void discardReplacement()
{
	if (current.fp == nullptr)
		return;
	std::fclose(current.fp);
	current.fp = nullptr;
	removeTemp();
}

void catchSignals()
{
	SetConsoleCtrlHandler(onConsoleCtrl, TRUE);
}
