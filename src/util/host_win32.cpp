#include "util/host.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>

namespace {

int mapMoveError(DWORD code)
{
	switch (code) {
	case ERROR_FILE_NOT_FOUND:
	case ERROR_PATH_NOT_FOUND:
	case ERROR_INVALID_NAME:
		return ENOENT;
	case ERROR_ACCESS_DENIED:
	case ERROR_SHARING_VIOLATION:
	case ERROR_LOCK_VIOLATION:
		return EACCES;
	case ERROR_WRITE_PROTECT:
		return EROFS;
	case ERROR_NOT_SAME_DEVICE:
		return EXDEV;
	case ERROR_DISK_FULL:
	case ERROR_HANDLE_DISK_FULL:
		return ENOSPC;
	case ERROR_FILENAME_EXCED_RANGE:
		return ENAMETOOLONG;
	default:
		return EIO;
	}
}

} // namespace

bool pathExists(const char *path)
{
	// "%hs" widens each byte to the UTF-16 unit of the same value, as the
	// directory streams do, so both reach the same file.
	wchar_t wide[1024];
	if (std::swprintf(wide, 1024, L"%hs", path) < 0)
		return false;
	return PathFileExistsW(wide) != FALSE;
}

std::string currentDirectory()
{
	// Deeper than MAX_PATH the call writes nothing: the text stays empty.
	char buf[MAX_PATH + 1] = {};
	GetCurrentDirectoryA(MAX_PATH, buf);
	return buf;
}

bool isAbsolutePath(const char *path)
{
	// "\" or "/" first also covers UNC names (\\server\share).
	if (path[0] == '\\' || path[0] == '/')
		return true;
	char c = path[0];
	bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
	return letter && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool isTerminal(std::FILE *stream)
{
	return _isatty(_fileno(stream)) != 0;
}

void adviseLargePages(void *, std::size_t)
{
	// Large pages need a privilege a user seldom holds: not asked for.
}

std::FILE *createNewFile(const char *path)
{
	// Text mode: each "\n" is written as CR LF, the Windows line end.
	int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT | _O_NOINHERIT,
		       _S_IREAD | _S_IWRITE);
	if (fd < 0)
		return nullptr;
	std::FILE *fp = _fdopen(fd, "wt");
	if (fp == nullptr) {
		int saved = errno;
		_close(fd);
		_unlink(path);
		errno = saved;
	}
	return fp;
}

int replaceFile(const char *from, const char *to)
{
	// rename() here refuses a target that exists.
	if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING))
		return 0;
	errno = mapMoveError(GetLastError());
	return -1;
}
