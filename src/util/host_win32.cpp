#include "util/host.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <io.h>
#include <sys/stat.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>

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
