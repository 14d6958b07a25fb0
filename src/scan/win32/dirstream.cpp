#include "scan/dirstream.h"

#include <cerrno>
#include <string>

#include "platform/win32/folders.h"

namespace {

// The folder open in dir, ending in a separator: its search pattern
// without the "*".
std::wstring folderOf(const DIR *dir)
{
	std::wstring path = dir->wdirp->pattern;
	path.pop_back();
	return path;
}

// The entry last read from parent, by the name the stream gave for it.
std::wstring entryOf(const DIR *parent)
{
	return folderOf(parent) + parent->wdirp->ent.d_name;
}

// Why a reparse point cannot be followed, as errno has it; 0 where its
// target is missing, for it to be listed as a dangling link is.
int unreachableError(DWORD code)
{
	switch (code) {
	case ERROR_FILE_NOT_FOUND:
	case ERROR_PATH_NOT_FOUND:
		return 0;
	case ERROR_CANT_RESOLVE_FILENAME:
		return ELOOP;
	default:
		return mapFolderError(code) == EACCES ? EACCES : EIO;
	}
}

} // namespace

FolderStream *openScannedFolder()
{
	// By the path the held folder has now, not by its text, which may
	// lead elsewhere by now.
	std::wstring path;
	if (!heldFolderPath(SCANNED_FOLDER, &path)) {
		errno = mapFolderError(GetLastError());
		return nullptr;
	}
	return openDirWide(path.c_str(), false);
}

FolderStream *openSubfolder(FolderStream *parent, const char *)
{
	// Below the folder the parent stream reads, and in UTF-8 from a
	// folder named so on down.
	return openDirWide(entryOf(parent).c_str(), parent->nameInUtf8);
}

FolderEntry *readFolder(FolderStream *dir)
{
	return readdir(dir);
}

void closeFolder(FolderStream *dir)
{
	closedir(dir);
}

EntryKind followEntry(FolderStream *parent, const FolderEntry *ent, FolderId *, bool *known)
{
	// A folder is identified once open, by the path its stream reads:
	// asking it of the entry's path costs as much.
	*known = false;
	if (ent->d_type == DT_DIR)
		return FOLDER;
	// Opened, as stat does, through the links on the way.
	HANDLE h = CreateFileW(entryOf(parent).c_str(), FILE_READ_ATTRIBUTES,
			       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
			       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE) {
		errno = unreachableError(GetLastError());
		return errno == 0 ? FILE_ENTRY : UNREACHABLE;
	}
	bool folder = isFolderHandle(h);
	CloseHandle(h);
	if (!folder)
		return FILE_ENTRY;
	return ent->d_type == DT_LNK ? LINKED_FOLDER : FOLDER;
}

bool identifyFolder(FolderStream *dir, FolderId *id)
{
	FileIdentity file;
	if (!identifyPath(folderOf(dir).c_str(), &file))
		return false;
	id->dev = file.volume;
	id->ino = file.index;
	// A file index of 0 tells nothing.
	return file.index != 0;
}

std::size_t conformPath(const FolderStream *dir, char *path, std::size_t len, std::string *saved)
{
	if (!dir->nameInUtf8 || dir->utf8)
		return len;
	saved->assign(path, len);
	return unitsToUtf8(path, len);
}

std::size_t nameLength(const FolderStream *dir, std::size_t)
{
	return dir->wdirp->ent.d_namlen;
}

const char *unlistedReason(const FolderStream *dir)
{
	return dir->unlisted;
}

const char *longNameOf(const FolderStream *dir)
{
	return dir->longName[0] != '\0' ? dir->longName : nullptr;
}
