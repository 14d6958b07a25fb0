// Directory streams for Windows, whose runtime library has none: opendir,
// readdir and closedir with the POSIX calling conventions, over the find
// functions. Two levels: a wide stream that hands out the find records with
// their UTF-16 names, and the narrow DIR on top that turns each name into
// bytes of the C locale (UTF-16 units 0-255 become the byte of that value),
// or into UTF-8 where those cannot carry it.
#ifndef TONVELO_WIN32_DIRENT_H
#define TONVELO_WIN32_DIRENT_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Values of d_type, as the file type bits of st_mode.
#define DT_UNKNOWN 0
#define DT_CHR 0x2000
#define DT_DIR 0x4000
#define DT_REG 0x8000
#define DT_LNK 0xC000

// 260 characters and the terminator: the longest name accepted.
enum { DIRENT_NAME_SIZE = 261 };

// d_off of the last entry, when no entry follows.
const std::int32_t DIRENT_OFF_LAST = 0x7FFFFFFF;

struct dirent {
	std::int32_t d_ino;     // always 0: there are no inode numbers
	std::int32_t d_off;     // hashName of the next entry, DIRENT_OFF_LAST
	                        // after the last, -1 in a substitute record
	std::uint16_t d_reclen; // sizeof(dirent), 0 in a substitute record
	std::size_t d_namlen;   // strlen(d_name)
	std::int32_t d_type;    // one of the DT_ values
	char d_name[DIRENT_NAME_SIZE * 3]; // room for UTF-8
};

// The same record with a UTF-16 name, as the find functions gave it.
struct wdirent {
	std::int32_t d_ino;
	std::int32_t d_off;
	std::uint16_t d_reclen;
	std::size_t d_namlen;
	std::int32_t d_type;
	wchar_t d_name[DIRENT_NAME_SIZE];
};

struct WideDirStream {
	wdirent ent;           // the name the narrow stream last handed out
	WIN32_FIND_DATAW data; // the current find record
	std::int32_t cached;   // 1 while data holds an entry not yet handed out
	std::int32_t invalid;  // 1 when there is no usable find handle
	std::int32_t error;    // errno of the read error met, else 0
	HANDLE handle;         // INVALID_HANDLE_VALUE when none
	wchar_t *pattern;      // full path of the folder, one separator, "*"
};

// Beside the records, of the entry last handed out: why it is not to be
// listed, the long name a short name or the substitute stands for, and
// whether its name is in UTF-8. A stream below a folder named in UTF-8
// hands out every name so, for paths wholly in UTF-8.
struct DIR {
	dirent ent;            // overwritten and returned by every readdir
	WideDirStream *wdirp;  // owned
	const char *unlisted;  // nullptr, or why d_name is not to be listed
	char longName[DIRENT_NAME_SIZE * 3]; // UTF-8 when d_name is not it, else ""
	bool utf8;             // every name in UTF-8
	bool nameInUtf8;       // d_name is in UTF-8
};

// Opens name (at most 260 characters) for reading. Returns nullptr with
// errno set on failure: ENOENT for a missing or empty name, EACCES,
// ENOTDIR, or the errno of the name's conversion (ERANGE when too long).
DIR *opendir(const char *name);

// The same, for a full path of any length, names handed out in UTF-8
// when utf8 is true.
DIR *openDirWide(const wchar_t *name, bool utf8);

// The next entry, or nullptr at the end. A name that has no narrow form,
// that Windows would not open as it stands (a device name, a dot or blank
// at its end) or that does not read back in the ANSI code page comes as
// its short name; without one, in UTF-8, as every name of a stream opened
// for UTF-8 does. Any other comes with unlisted set: as itself where
// Windows would not open it, or, when it has no form at all (a lone
// surrogate), as the substitute record "?" with DT_UNKNOWN. The entries
// after it still follow. A read error ends the stream after the entries
// read before it: nullptr with errno EACCES, else EIO. The end sets no errno.
dirent *readdir(DIR *dir);

// Closes the stream and releases it. Returns 0, or -1 with errno EBADF
// when dir has no wide stream (dir is released all the same).
int closedir(DIR *dir);

// The wide stream under opendir, with the same failures.
WideDirStream *openWideDir(const wchar_t *name);

// The next find record, or nullptr at the end or on a read error, whose
// errno stays in stream->error.
WIN32_FIND_DATAW *findNext(WideDirStream *stream);

void closeWideDir(WideDirStream *stream);

// djb2 over the UTF-16 units of name (at most 260), kept to 31 bits.
std::int32_t hashName(const wchar_t *name);

#endif
