#include "playlist/place.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

#include "platform/win32/folders.h"
#include "platform/win32/units.h"

namespace {

// The longest path Windows takes (below "\\?\"), and a temporary name.
enum { LONGEST_PATH = 32768 + 16 };

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
std::string shownText(const std::wstring &wide)
{
	std::string s;
	for (wchar_t c : wide)
		s += c < 0x100 ? char(c) : '?';
	return s;
}

// The path of name in the place's folder, or of the place's own name when
// name is null, into buf, of LONGEST_PATH units, without allocating or
// sharing anything with the console handler's thread. False, with the
// last error set, when it does not fit.
bool pathOf(const Place *place, const char *name, wchar_t *buf)
{
	std::size_t len = place->folder.size();
	std::size_t more = name != nullptr ? std::strlen(name) : place->name.size();
	if (len + more >= LONGEST_PATH) {
		SetLastError(ERROR_FILENAME_EXCED_RANGE);
		return false;
	}
	place->folder.copy(buf, len);
	if (name == nullptr)
		len += place->name.copy(buf + len, more);
	for (; name != nullptr && *name != '\0'; name++)
		buf[len++] = static_cast<unsigned char>(*name);
	buf[len] = L'\0';
	return true;
}

// Looks at the old file at *path, and takes *path to the file a link
// there leads to: not every link says it is one (Wine's do not), so the
// name the open file has is the one replaced. It is opened for deletion,
// as a rename over it needs: one that a player holds open without
// sharing that is in use, and the place counts as failed.
int lookAtOld(std::wstring *path, Place *place)
{
	HANDLE h = CreateFileW(path->c_str(), DELETE,
			       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
			       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE)
		return mapFileError(GetLastError());
	static wchar_t buf[LONGEST_PATH];
	DWORD n = GetFinalPathNameByHandleW(h, buf, LONGEST_PATH, FILE_NAME_NORMALIZED);
	DWORD code = GetLastError();
	bool known = identifyHandle(h, &place->id);
	if (!known)
		code = GetLastError();
	CloseHandle(h);
	if (n >= LONGEST_PATH)
		return ENAMETOOLONG;
	if (n == 0 || !known)
		return mapFileError(code);
	path->assign(buf, n);
	place->attributes = GetFileAttributesW(path->c_str());
	if (place->attributes == INVALID_FILE_ATTRIBUTES)
		return mapFileError(GetLastError());
	if (place->attributes & FILE_ATTRIBUTE_DIRECTORY)
		return EISDIR;
	// A read-only playlist is not replaced, as it could not be written.
	if (place->attributes & FILE_ATTRIBUTE_READONLY)
		return EACCES;
	place->kind = PLACE_FILE;
	return 0;
}

// A descriptor for h, in text mode: each "\n" is written as CR LF, the
// Windows line end. -1 with errno set for a file that did not open.
int descriptorOf(HANDLE h)
{
	if (h == INVALID_HANDLE_VALUE) {
		errno = mapFileError(GetLastError());
		return -1;
	}
	int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_TEXT);
	if (fd < 0) {
		CloseHandle(h);
		errno = EMFILE;
	}
	return fd;
}

// Reads the whole file open in h into *bytes, and goes back to its
// start: 0 or an errno.
int readWhole(HANDLE h, std::vector<char> *bytes)
{
	bytes->clear();
	char buf[1 << 16];
	DWORD n;
	while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
		bytes->insert(bytes->end(), buf, buf + n);
	LARGE_INTEGER start = {};
	if (n != 0 || !SetFilePointerEx(h, start, nullptr, FILE_BEGIN))
		return mapFileError(GetLastError());
	return 0;
}

} // namespace

int findPlace(HeldFolder folder, const char *shown, const char *name, Place *place)
{
	*place = Place();
	// Into the folder held, by the path it has now: whatever its text
	// names by now, or the current directory's path; where that is not
	// held, relative, as Windows has it.
	std::wstring held;
	if (!heldFolderPath(folder, &held) && folder == SCANNED_FOLDER)
		return mapFileError(GetLastError());
	if (!held.empty() && held.back() != L'\\')
		held += L'\\';
	std::wstring target = held + widen(name);
	DWORD attributes = GetFileAttributesW(target.c_str());
	int err = 0;
	if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND)
		err = mapFileError(GetLastError());
	else if (attributes != INVALID_FILE_ATTRIBUTES)
		err = attributes & FILE_ATTRIBUTE_DIRECTORY ? EISDIR : lookAtOld(&target, place);
	if (err != 0)
		return err;
	std::size_t sep = target.find_last_of(L"/\\");
	place->folder = sep == std::wstring::npos ? std::wstring() : target.substr(0, sep + 1);
	place->name = target.substr(sep == std::wstring::npos ? 0 : sep + 1);
	// Reports show the folder as typed, unless a link led elsewhere.
	place->shown = place->folder == held ? shown : shownText(place->folder);
	if (!narrowUnits(place->name, &place->listed))
		place->listed.clear();
	return 0;
}

void leavePlace(Place *)
{
}

int openUnnamed(Place *)
{
	errno = ENOTSUP;
	return -1;
}

int openNamed(Place *place, const char *name)
{
	wchar_t path[LONGEST_PATH];
	HANDLE h = INVALID_HANDLE_VALUE;
	// Others may delete it while it is open: so can the console handler.
	if (pathOf(place, name, path))
		h = CreateFileW(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
				nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
	return descriptorOf(h);
}

int openInPlace(Place *place, std::vector<char> *old)
{
	wchar_t path[LONGEST_PATH];
	HANDLE h = INVALID_HANDLE_VALUE;
	DWORD access = GENERIC_WRITE | (old != nullptr ? GENERIC_READ : 0);
	if (pathOf(place, nullptr, path))
		h = CreateFileW(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
				FILE_ATTRIBUTE_NORMAL, nullptr);
	int err = h != INVALID_HANDLE_VALUE && old != nullptr ? readWhole(h, old) : 0;
	if (err != 0) {
		CloseHandle(h);
		errno = err;
		return -1;
	}
	return descriptorOf(h);
}

int cutAtEnd(int fd)
{
	HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
	return SetEndOfFile(h) ? 0 : mapFileError(GetLastError());
}

int putBackInHandler(int fd, const char *old, std::size_t size)
{
	HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
	LARGE_INTEGER at = {}, reached;
	if (!SetFilePointerEx(h, at, &reached, FILE_CURRENT))
		return mapFileError(GetLastError());
	// Only over what was written: past it the old bytes are still there.
	ULONGLONG left = ULONGLONG(reached.QuadPart) < size ? ULONGLONG(reached.QuadPart) : size;
	for (ULONGLONG done = 0; done < left;) {
		OVERLAPPED from = {};
		from.Offset = DWORD(done);
		from.OffsetHigh = DWORD(done >> 32);
		DWORD n, chunk = left - done < (1u << 30) ? DWORD(left - done) : 1u << 30;
		if (!WriteFile(h, old + done, chunk, &n, &from))
			return mapFileError(GetLastError());
		done += n;
	}
	at.QuadPart = LONGLONG(size);
	if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN) || !SetEndOfFile(h))
		return mapFileError(GetLastError());
	return 0;
}

void setAttributes(Place *place, std::FILE *fp)
{
	// The old file's attributes carry over; its access list is the
	// folder's, as for any new file there.
	const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
			   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
	if (place->kind != PLACE_FILE || !(place->attributes & kept))
		return;
	std::fflush(fp);
	FILE_BASIC_INFO info = {}; // times of zero are left as they are
	info.FileAttributes = place->attributes & kept;
	HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)));
	SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info);
}

int nameFile(Place *, std::FILE *, const char *)
{
	return ENOTSUP;
}

int renameIntoPlace(const Place *place, const char *name)
{
	wchar_t from[LONGEST_PATH], to[LONGEST_PATH];
	if (pathOf(place, name, from) && pathOf(place, nullptr, to) &&
	    MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING))
		return 0;
	return mapFileError(GetLastError());
}

int moveAside(Place *place, const char *name)
{
	wchar_t from[LONGEST_PATH], to[LONGEST_PATH];
	if (pathOf(place, nullptr, from) && pathOf(place, name, to) && MoveFileExW(from, to, 0))
		return 0;
	return mapFileError(GetLastError());
}

int removeName(const Place *place, const char *name)
{
	wchar_t path[LONGEST_PATH];
	if (pathOf(place, name, path) && DeleteFileW(path))
		return 0;
	return mapFileError(GetLastError());
}

const char *listedName(const Place *place)
{
	return place->listed.c_str();
}

bool isFileAtPlace(Place *place, const char *path)
{
	FileIdentity id;
	return identifyPath(widen(path).c_str(), &id) && id.volume == place->id.volume &&
	       id.index == place->id.index;
}
