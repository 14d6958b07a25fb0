#include "platform/host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <io.h>

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "platform/win32/folders.h"
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

// A name of more than 1023 units counts as missing, as it did when the
// existence test took a copy of 1024 units.
const std::size_t NAME_UNITS_MAX = 1023;

// Each unit as the byte of its value, as the directory streams take it,
// where a player reading the bytes in the ANSI code page gets the name
// back; false otherwise.
bool narrowAsIs(const std::wstring &wide, std::string *text)
{
	std::string bytes;
	if (!narrowUnits(wide, &bytes) || !readsBackInCodePage(bytes.c_str(), wide.c_str()))
		return false;
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

// Argument number index in UTF-16 as the system has it, where the
// runtime's copy arg was made from it (the runtime splits the command line
// on its own); else arg, each byte as a unit.
std::wstring wideArgument(int index, const char *arg)
{
	int argc = 0;
	wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
	std::wstring wide;
	if (argv != nullptr && index < argc)
		wide = argv[index];
	LocalFree(argv);
	return !wide.empty() && inCodePage(wide) == arg ? wide : widen(arg);
}

// `"E:\My Music\"`, as a batch file's "%~dp0" is typed, arrives as
// `E:\My Music"`: a backslash before a quote makes a quote. No Windows name
// holds one, so the folder meant ends with the backslash.
void mendQuotedSeparator(std::wstring *name)
{
	std::size_t quote = name->find(L'"');
	if (quote != std::wstring::npos)
		name->replace(quote, std::wstring::npos, L"\\");
}

// GetFullPathNameW, called as GetShortPathNameW is.
DWORD WINAPI getFullPath(const wchar_t *name, wchar_t *buf, DWORD size)
{
	return GetFullPathNameW(name, size, buf, nullptr);
}

// name as get, getFullPath or GetShortPathNameW, gives it; name itself
// where it cannot.
std::wstring pathBy(DWORD(WINAPI *get)(const wchar_t *, wchar_t *, DWORD),
		    const std::wstring &name)
{
	DWORD size = get(name.c_str(), nullptr, 0);
	std::wstring path(size, L'\0');
	DWORD len = size == 0 ? 0 : get(name.c_str(), &path[0], size);
	if (len == 0 || len >= size)
		return name;
	path.resize(len);
	return path;
}

// Windows drops the blanks and dots that end a name: "E:\music " is
// E:\music. They go here too, while the name leads to the same place, so
// that the entries built on it open; "." and "x\.." keep theirs.
void dropTrailingBlanks(std::wstring *name)
{
	std::wstring full = pathBy(getFullPath, *name);
	while (name->size() > 1 && (name->back() == L' ' || name->back() == L'.')) {
		std::wstring shorter = name->substr(0, name->size() - 1);
		if (pathBy(getFullPath, shorter) != full)
			break;
		*name = shorter;
	}
}

// A narrow name for wide that the directory streams widen back into one
// naming the same folder, that a player reads back in the ANSI code page
// and that leaves joined paths room: its own bytes, else its short name's.
// One that is too long all the same is given for the scan to report.
bool narrowForStreams(const std::wstring &wide, std::string *text)
{
	bool usable = narrowAsIs(wide, text);
	if (usable && text->size() <= PATH_TEXT_MAX)
		return true;
	// Where the volume keeps no short names the long one comes back.
	std::string shortText;
	if (narrowAsIs(pathBy(GetShortPathNameW, wide), &shortText) &&
	    (!usable || shortText.size() < text->size())) {
		*text = shortText;
		return true;
	}
	return usable;
}

// The folders held, by HeldFolder: a handle, INVALID_HANDLE_VALUE until
// held, and the full path it was opened by.
struct Held {
	HANDLE handle;
	std::wstring opened;
};
Held heldFolders[2] = {{INVALID_HANDLE_VALUE, {}}, {INVALID_HANDLE_VALUE, {}}};

// Opens the folder name for the rest of the run into *held. It is shared
// for reading and writing but not for deletion: while it is held, nobody
// can rename or remove it. An open for its attributes alone would take no
// part in sharing. Returns 0 or an errno.
int holdFolder(const wchar_t *name, Held *held)
{
	HANDLE h = CreateFileW(name, FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
			       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
			       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE)
		return mapFolderError(GetLastError());
	if (!isFolderHandle(h)) {
		CloseHandle(h);
		return ENOTDIR;
	}
	if (held->handle != INVALID_HANDLE_VALUE)
		CloseHandle(held->handle);
	held->handle = h;
	held->opened = pathBy(getFullPath, name);
	return 0;
}

} // namespace

NameLookup lookUpArgument(int index, const char *arg, std::string *text)
{
	*text = arg;
	std::wstring name = wideArgument(index, arg);
	mendQuotedSeparator(&name);
	if (name.size() > NAME_UNITS_MAX || !PathFileExistsW(name.c_str()))
		return NAME_MISSING;
	// "Z:." rather than "Z:", which Wine gives with a separator at its end.
	if (isDriveRelative(name))
		name = pathBy(getFullPath, name.size() == 2 ? name + L"." : name);
	dropTrailingBlanks(&name);
	return narrowForStreams(name, text) ? NAME_FOUND : NAME_UNREPRESENTABLE;
}

NameLookup lookUpCurrentDirectory(std::string *text)
{
	// One call, with room for the longest current directory there is.
	std::wstring wide(32768, L'\0');
	DWORD len = GetCurrentDirectoryW(wide.size(), &wide[0]);
	text->clear();
	if (len == 0 || len >= wide.size())
		return NAME_FOUND;
	wide.resize(len);
	if (narrowForStreams(wide, text))
		return NAME_FOUND;
	*text = inCodePage(wide);
	return NAME_UNREPRESENTABLE;
}

int holdScannedFolder(const char *text)
{
	// Without a text there are no entries to name.
	if (text != nullptr && text[0] == '\0')
		return ENOENT;
	// Windows finds a relative name by the current directory's path, and
	// links on that path may change: the folder it names now is held too,
	// for a playlist that goes there.
	holdFolder(L".", &heldFolders[CURRENT_FOLDER]);
	return holdFolder(text != nullptr ? widen(text).c_str() : L".", &heldFolders[SCANNED_FOLDER]);
}

bool heldFolderPath(HeldFolder folder, std::wstring *path)
{
	const Held &held = heldFolders[folder];
	if (held.handle == INVALID_HANDLE_VALUE) {
		SetLastError(ERROR_INVALID_HANDLE);
		return false;
	}
	DWORD size = GetFinalPathNameByHandleW(held.handle, nullptr, 0, FILE_NAME_NORMALIZED);
	path->assign(size, L'\0');
	DWORD len = size == 0 ? 0 : GetFinalPathNameByHandleW(held.handle, &(*path)[0], size,
							    FILE_NAME_NORMALIZED);
	// Where the system cannot say (Wine, past MAX_PATH), or the path grew
	// meanwhile, the one it was opened by.
	if (len == 0 || len >= size)
		*path = held.opened;
	else
		path->resize(len);
	return true;
}

const char *separatorAfter(const char *path, std::size_t len)
{
	// A folder that ends in a separator ("E:\Music\") gets no second
	// one. Below "\\?\" a name goes to the file system as it stands: "/"
	// is no separator there, and an empty step between two "\" is refused.
	if (std::strncmp(path, "\\\\?\\", 4) != 0)
		return len > 0 && (path[len - 1] == '\\' || path[len - 1] == '/') ? "" : "/";
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

void raiseOpenFileLimit()
{
	// The directory streams hold find handles, which have no such limit.
}
