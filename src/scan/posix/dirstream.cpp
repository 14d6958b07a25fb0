#include "scan/dirstream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

#include "platform/posix/folders.h"

namespace {

// A stream on the folder open in fd, which it then owns; nullptr, fd
// closed, when there is none.
FolderStream *streamOn(int fd)
{
	if (fd < 0)
		return nullptr;
	FolderStream *dir = new (std::nothrow) FolderStream;
	if (dir == nullptr) {
		close(fd);
		errno = ENOMEM;
		return nullptr;
	}
	dir->fd = fd;
	dir->next = dir->end = 0;
	return dir;
}

bool identify(const struct stat &st, FolderId *id)
{
	id->dev = st.st_dev;
	id->ino = st.st_ino;
	// Some file systems give no inode numbers at all: 0 tells nothing.
	return st.st_ino != 0;
}

// Follows the entry name of parent: FILE_ENTRY where it leads nowhere
// (a dangling link), UNREACHABLE with errno set where it cannot be
// followed for another reason.
EntryKind followTarget(FolderStream *parent, const char *name, EntryKind folder, FolderId *id,
		       bool *known)
{
	struct stat st;
	if (fstatat(parent->fd, name, &st, 0) != 0)
		return errno == ENOENT || errno == ENOTDIR ? FILE_ENTRY : UNREACHABLE;
	if (!S_ISDIR(st.st_mode))
		return FILE_ENTRY;
	*known = identify(st, id);
	return folder;
}

} // namespace

FolderStream *openScannedFolder()
{
	// A descriptor of its own: the held one outlives the stream.
	return streamOn(fcntl(scannedFolderFd, F_DUPFD_CLOEXEC, 0));
}

FolderStream *openSubfolder(FolderStream *parent, const char *name)
{
	// Below the folder the parent stream reads, whatever is renamed above.
	return streamOn(openat(parent->fd, name, O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
}

FolderEntry *readFolder(FolderStream *dir)
{
	if (dir->next == dir->end) {
		ssize_t n = getdents64(dir->fd, dir->buf, sizeof dir->buf);
		if (n <= 0)
			return nullptr; // errno set on a read error, kept at the end
		dir->next = 0;
		dir->end = n;
	}
	FolderEntry *ent = reinterpret_cast<FolderEntry *>(dir->buf + dir->next);
	dir->next += ent->d_reclen;
	return ent;
}

void closeFolder(FolderStream *dir)
{
	close(dir->fd);
	delete dir;
}

EntryKind followEntry(FolderStream *parent, const FolderEntry *ent, FolderId *id, bool *known)
{
	*known = false;
	if (ent->d_type != DT_UNKNOWN)
		return followTarget(parent, ent->d_name, ent->d_type == DT_LNK ? LINKED_FOLDER : FOLDER,
				    id, known);
	// A file system that gives no types: the entry itself says whether
	// it is a link.
	struct stat st;
	if (fstatat(parent->fd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
		return errno == ENOENT ? FILE_ENTRY : UNREACHABLE;
	if (S_ISLNK(st.st_mode))
		return followTarget(parent, ent->d_name, LINKED_FOLDER, id, known);
	if (!S_ISDIR(st.st_mode))
		return FILE_ENTRY;
	*known = identify(st, id);
	return FOLDER;
}

bool identifyFolder(FolderStream *dir, FolderId *id)
{
	struct stat st;
	return fstat(dir->fd, &st) == 0 && identify(st, id);
}

// Names are bytes, as paths are.
std::size_t conformPath(const FolderStream *, char *, std::size_t len, std::string *)
{
	return len;
}

std::size_t nameLength(const FolderStream *, std::size_t bytes)
{
	return bytes;
}

// Every name the system gives is the file's own, and opens it.
const char *unlistedReason(const FolderStream *)
{
	return nullptr;
}

const char *longNameOf(const FolderStream *)
{
	return nullptr;
}
