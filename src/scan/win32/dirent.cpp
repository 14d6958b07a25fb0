#include "scan/win32/dirent.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/win32/folders.h"
#include "platform/win32/units.h"

namespace {

// Full path of name, a "\" unless it already ends in a separator, and "*".
// Returns nullptr with errno set on failure.
wchar_t *formSearchPattern(const wchar_t *name)
{
	DWORD size = GetFullPathNameW(name, 0, nullptr, nullptr);
	if (size == 0) {
		errno = mapFolderError(GetLastError());
		return nullptr;
	}
	// size counts the terminator; 16 bytes more hold "\*" and spare.
	wchar_t *pattern = static_cast<wchar_t *>(std::malloc(size * sizeof(wchar_t) + 16));
	if (pattern == nullptr) {
		errno = ENOMEM;
		return nullptr;
	}
	DWORD len = GetFullPathNameW(name, size, pattern, nullptr);
	if (len == 0 || len >= size) {
		// A longer result means the current directory changed meanwhile.
		errno = len == 0 ? mapFolderError(GetLastError()) : ENAMETOOLONG;
		std::free(pattern);
		return nullptr;
	}
	wchar_t last = pattern[len - 1];
	if (last != L'/' && last != L':' && last != L'\\')
		pattern[len++] = L'\\';
	pattern[len++] = L'*';
	pattern[len] = L'\0';
	return pattern;
}

const char NOT_REPRESENTABLE[] = "name not representable, left out";
const char CANNOT_OPEN[] = "name Windows cannot open, left out";

// Turns wname into bytes of the C locale in ent; false when a unit above
// 255 has no byte there.
bool narrowName(const wchar_t *wname, dirent *ent)
{
	std::size_t converted;
	if (wcstombs_s(&converted, ent->d_name, DIRENT_NAME_SIZE, wname, DIRENT_NAME_SIZE - 1) != 0)
		return false;
	ent->d_namlen = converted - 1;
	return true;
}

// Puts wname into ent in UTF-8; false for a name that has none (a lone
// surrogate).
bool utf8Name(const wchar_t *wname, dirent *ent)
{
	int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wname, -1, ent->d_name,
				    sizeof ent->d_name, nullptr, nullptr);
	if (n <= 0)
		return false;
	ent->d_namlen = n - 1;
	return true;
}

// Puts wname into ent, in UTF-8 or else narrow; nullptr when Windows, and
// a player reading the playlist (narrow: in the ANSI code page), find the
// file by the result, else why not.
const char *takeName(const wchar_t *wname, bool utf8, dirent *ent)
{
	if (!opensAsNamed(wname))
		return CANNOT_OPEN;
	bool taken = utf8 ? utf8Name(wname, ent)
			  : narrowName(wname, ent) && readsBackInCodePage(ent->d_name, wname);
	return taken ? nullptr : NOT_REPRESENTABLE;
}

// For a name with no bytes, a record that names no file rather than an
// end of the stream before the entries after it.
dirent *substitute(DIR *dir)
{
	std::wcscpy(dir->wdirp->ent.d_name, L"?");
	dir->wdirp->ent.d_namlen = 1;
	dirent *ent = &dir->ent;
	std::strcpy(ent->d_name, "?");
	ent->d_namlen = 1;
	ent->d_type = DT_UNKNOWN;
	ent->d_off = -1;
	ent->d_reclen = 0;
	return ent;
}

// Keeps the long name, in UTF-8, for what is judged by it.
void rememberLongName(const wchar_t *wname, DIR *dir)
{
	if (WideCharToMultiByte(CP_UTF8, 0, wname, -1, dir->longName, sizeof dir->longName,
				nullptr, nullptr) == 0)
		dir->longName[0] = '\0';
}

std::int32_t typeOf(DWORD attributes)
{
	// A reparse point may also be a folder: it is reported as a link.
	if (attributes & FILE_ATTRIBUTE_DEVICE)
		return DT_CHR;
	if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
		return DT_LNK;
	if (attributes & FILE_ATTRIBUTE_DIRECTORY)
		return DT_DIR;
	return DT_REG;
}

} // namespace

std::int32_t hashName(const wchar_t *name)
{
	std::uint32_t h = 5381;
	for (int i = 0; i < DIRENT_NAME_SIZE - 1 && name[i] != L'\0'; i++)
		h = h * 33 + static_cast<std::uint16_t>(name[i]);
	return static_cast<std::int32_t>(h & 0x7FFFFFFF);
}

WideDirStream *openWideDir(const wchar_t *name)
{
	if (name == nullptr || name[0] == L'\0') {
		errno = ENOENT;
		return nullptr;
	}
	WideDirStream *stream = static_cast<WideDirStream *>(std::calloc(1, sizeof *stream));
	if (stream == nullptr) {
		errno = ENOMEM;
		return nullptr;
	}
	stream->handle = INVALID_HANDLE_VALUE;
	stream->pattern = formSearchPattern(name);
	if (stream->pattern != nullptr)
		stream->handle = FindFirstFileExW(stream->pattern, FindExInfoStandard, &stream->data,
						  FindExSearchNameMatch, nullptr, 0);
	if (stream->handle == INVALID_HANDLE_VALUE) {
		int err = stream->pattern == nullptr ? errno : mapFolderError(GetLastError());
		stream->invalid = 1;
		closeWideDir(stream);
		errno = err;
		return nullptr;
	}
	// FindFirstFileExW has already fetched the first entry.
	stream->cached = 1;
	return stream;
}

WIN32_FIND_DATAW *findNext(WideDirStream *stream)
{
	if (stream->invalid || stream->error != 0)
		return nullptr;
	if (stream->cached) {
		stream->cached = 0;
		return &stream->data;
	}
	if (!FindNextFileW(stream->handle, &stream->data)) {
		DWORD code = GetLastError();
		if (code != ERROR_NO_MORE_FILES)
			stream->error = mapFolderError(code) == EACCES ? EACCES : EIO;
		return nullptr;
	}
	return &stream->data;
}

void closeWideDir(WideDirStream *stream)
{
	if (stream->handle != INVALID_HANDLE_VALUE)
		FindClose(stream->handle);
	std::free(stream->pattern);
	std::free(stream);
}

DIR *opendir(const char *name)
{
	if (name == nullptr || name[0] == '\0') {
		errno = ENOENT;
		return nullptr;
	}
	// In the C locale each byte becomes the UTF-16 unit of its value. A
	// name too long for the buffer fails (ERANGE) instead of being cut.
	wchar_t wname[DIRENT_NAME_SIZE];
	std::size_t converted;
	errno_t err = mbstowcs_s(&converted, wname, DIRENT_NAME_SIZE, name, std::strlen(name));
	if (err != 0) {
		errno = err;
		return nullptr;
	}
	return openDirWide(wname, false);
}

DIR *openDirWide(const wchar_t *name, bool utf8)
{
	WideDirStream *stream = openWideDir(name);
	if (stream == nullptr)
		return nullptr;
	DIR *dir = static_cast<DIR *>(std::calloc(1, sizeof *dir));
	if (dir == nullptr) {
		closeWideDir(stream);
		errno = ENOMEM;
		return nullptr;
	}
	dir->wdirp = stream;
	dir->utf8 = utf8;
	return dir;
}

dirent *readdir(DIR *dir)
{
	if (dir == nullptr || dir->wdirp == nullptr) {
		errno = EBADF;
		return nullptr;
	}
	WideDirStream *stream = dir->wdirp;
	WIN32_FIND_DATAW *data = findNext(stream);
	if (data == nullptr) {
		// Also a read error the look-ahead below met: said only now,
		// after the entry fetched before it.
		if (stream->error != 0)
			errno = stream->error;
		return nullptr;
	}

	dirent *ent = &dir->ent;
	dir->unlisted = nullptr;
	dir->longName[0] = '\0';
	dir->nameInUtf8 = dir->utf8;
	const wchar_t *handed = data->cFileName;
	const char *unusable = takeName(handed, dir->utf8, ent);
	if (unusable != nullptr && data->cAlternateFileName[0] != L'\0' &&
	    takeName(data->cAlternateFileName, dir->utf8, ent) == nullptr) {
		// The short name, where there is one, is what players of either
		// kind read.
		handed = data->cAlternateFileName;
		rememberLongName(data->cFileName, dir);
	} else if (unusable != nullptr && !dir->utf8 && takeName(handed, true, ent) == nullptr) {
		// Most volumes keep no short names: UTF-8, which players that
		// read it open, rather than nothing.
		dir->nameInUtf8 = true;
	} else if (unusable != nullptr) {
		dir->unlisted = unusable;
		// Handed out as it is, to be reported by its name.
		bool narrow = !dir->utf8 && narrowName(handed, ent);
		dir->nameInUtf8 = !narrow && utf8Name(handed, ent);
		if (!narrow && !dir->nameInUtf8) {
			rememberLongName(handed, dir);
			return substitute(dir);
		}
	}
	std::wcscpy(stream->ent.d_name, handed);
	stream->ent.d_namlen = std::wcslen(handed);
	ent->d_type = typeOf(data->dwFileAttributes);
	ent->d_reclen = sizeof(dirent);
	// The record looked at stays cached for the next call.
	WIN32_FIND_DATAW *next = findNext(stream);
	stream->cached = next != nullptr;
	ent->d_off = next != nullptr ? hashName(next->cFileName) : DIRENT_OFF_LAST;
	return ent;
}

int closedir(DIR *dir)
{
	WideDirStream *stream = dir != nullptr ? dir->wdirp : nullptr;
	std::free(dir);
	if (stream == nullptr) {
		errno = EBADF;
		return -1;
	}
	closeWideDir(stream);
	return 0;
}
