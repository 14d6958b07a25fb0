#include "platform/host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <sys/stat.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "platform/win32/units.h"

namespace {

bool isDriveLetter(wchar_t c)
{
	return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "Z:" or "Z:music": relative to the current folder on that drive, which
// whoever reads the playlist does not share.
bool isDriveRelative(const std::wstring &name)
{
	return name.size() >= 2 && isDriveLetter(name[0]) && name[1] == L':' &&
	       (name.size() == 2 || (name[2] != L'\\' && name[2] != L'/'));
}

bool pathExists(const char *path)
{
	// "%hs" widens each byte to the UTF-16 unit of the same value, as the
	// directory streams do, so both reach the same file. A copy cut short
	// would test another name: mingw then returns the length it wanted.
	wchar_t wide[1024];
	int len = std::swprintf(wide, 1024, L"%hs", path);
	if (len < 0 || len >= 1024)
		return false;
	return PathFileExistsW(wide) != FALSE;
}

// Each unit as the byte of its value; false when one is above 255.
bool narrowUnits(const std::wstring &wide, std::string *text)
{
	std::string bytes;
	for (wchar_t c : wide) {
		if (c > 0xFF)
			return false;
		bytes += static_cast<char>(c);
	}
	*text = bytes;
	return true;
}

// wide in the ANSI code page, as the runtime hands arguments over.
std::string inCodePage(const std::wstring &wide)
{
	int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
	if (size <= 0)
		return std::string();
	std::string text(size, '\0');
	WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], size, nullptr, nullptr);
	text.resize(size - 1);
	return text;
}

// The system's UTF-16 copy of argument number index, if arg was made from
// it: the runtime splits the command line on its own.
bool systemArgument(int index, const char *arg, std::wstring *wide)
{
	int argc = 0;
	wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
	if (argv == nullptr)
		return false;
	if (index < argc)
		*wide = argv[index];
	LocalFree(argv);
	return index < argc && inCodePage(*wide) == arg;
}

// The full path of name.
std::wstring fullPath(const std::wstring &name)
{
	DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
	if (size == 0)
		return name;
	std::wstring full(size, L'\0');
	DWORD len = GetFullPathNameW(name.c_str(), size, &full[0], nullptr);
	if (len == 0 || len >= size)
		return name;
	full.resize(len);
	return full;
}

// A narrow name that the directory streams widen back into one naming
// the same object as wide: its own bytes, else its short name's.
bool narrowForStreams(const std::wstring &wide, std::string *text)
{
	if (narrowUnits(wide, text))
		return true;
	DWORD size = GetShortPathNameW(wide.c_str(), nullptr, 0);
	if (size == 0)
		return false;
	std::wstring shortName(size, L'\0');
	DWORD len = GetShortPathNameW(wide.c_str(), &shortName[0], size);
	if (len == 0 || len >= size)
		return false;
	shortName.resize(len);
	// Where the volume keeps no short names the long one comes back.
	return narrowUnits(shortName, text);
}

} // namespace

NameLookup lookUpArgument(int index, const char *arg, std::string *text)
{
	*text = arg;
	std::wstring typed = widen(arg);
	std::wstring wide;
	if (!systemArgument(index, arg, &wide) || wide == typed) {
		// Nothing was lost: the name is tested as the streams will take it.
		if (!pathExists(arg))
			return NAME_MISSING;
		if (!isDriveRelative(typed))
			return NAME_FOUND;
		wide = typed;
	} else if (wide.size() >= 1024 || !PathFileExistsW(wide.c_str())) {
		return NAME_MISSING;
	}
	// "Z:." rather than "Z:", which Wine gives with a separator at its end.
	if (isDriveRelative(wide))
		wide = fullPath(wide.size() == 2 ? wide + L"." : wide);
	return narrowForStreams(wide, text) ? NAME_FOUND : NAME_UNREPRESENTABLE;
}

NameLookup lookUpCurrentDirectory(std::string *text)
{
	// Deeper than MAX_PATH the call writes nothing: the text stays empty.
	char buf[MAX_PATH + 1] = {};
	GetCurrentDirectoryA(MAX_PATH, buf);
	*text = buf;
	// The code page may have lost characters on the way.
	wchar_t wide[MAX_PATH + 1] = {};
	DWORD len = GetCurrentDirectoryW(MAX_PATH, wide);
	if (buf[0] == '\0' || len == 0 || len >= MAX_PATH || widen(buf) == wide)
		return NAME_FOUND;
	return narrowForStreams(wide, text) ? NAME_FOUND : NAME_UNREPRESENTABLE;
}

const char *separatorAfter(const char *path, std::size_t len)
{
	// Below "\\?\" a name goes to the file system as it stands: "/" is no
	// separator there, and an empty step between two "\" is refused.
	if (std::strncmp(path, "\\\\?\\", 4) != 0)
		return "/";
	return len > 0 && path[len - 1] == '\\' ? "" : "\\";
}

bool isNativeHelpOption(const char *arg)
{
	return std::strcmp(arg, "/?") == 0;
}

bool isAbsolutePath(const char *path)
{
	// "\" or "/" first also covers UNC names (\\server\share).
	if (path[0] == '\\' || path[0] == '/')
		return true;
	return isDriveLetter(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
	       (path[2] == '\\' || path[2] == '/');
}

bool isTerminal(std::FILE *stream)
{
	return _isatty(_fileno(stream)) != 0;
}

void adviseLargePages(void *, std::size_t)
{
	// Large pages need a privilege a user seldom holds: not asked for.
}
