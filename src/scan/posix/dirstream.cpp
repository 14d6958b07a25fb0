#include "scan/dirstream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/host.h"
#include "platform/posix/folders.h"

namespace {

// Where in a joined path the path from the folder scanned starts, and 0,
// or why that folder could not be made the current directory.
std::size_t below;
int entered = EBADF;

// A stream on the folder open in fd, which it then owns; fd is closed when
// there is none.
DIR *streamOn(int fd)
{
	DIR *dir = fd >= 0 ? fdopendir(fd) : nullptr;
	if (dir == nullptr && fd >= 0) {
		int err = errno;
		close(fd);
		errno = err;
	}
	return dir;
}

} // namespace

DIR *openScannedFolder(const char *path)
{
	// The folder held is the current directory while it is scanned, and
	// its subfolders are opened by their paths from it: never through its
	// own path, which a rename may take elsewhere meanwhile, and at no
	// more cost than opendir (a stream on a descriptor of each subfolder
	// costs a system call more, a tenth of the scan).
	std::size_t len = std::strlen(path);
	below = len + std::strlen(separatorAfter(path, len));
	entered = fchdir(scannedFolderFd()) == 0 ? 0 : errno;
	// A descriptor of its own: the held one outlives the stream.
	return streamOn(fcntl(scannedFolderFd(), F_DUPFD_CLOEXEC, 0));
}

void leaveScannedFolder()
{
	if (entered == 0 && fchdir(currentFolderFd()) != 0) {
		// The places of the playlist are held apart: only a relative
		// name still to be looked at would miss.
	}
	entered = EBADF;
}

DIR *openSubfolder(DIR *, const char *, const char *joined)
{
	// One that cannot be entered has no subfolder that can.
	if (entered != 0) {
		errno = entered;
		return nullptr;
	}
	return opendir(joined + below);
}

bool isFolderEntry(DIR *parent, const char *name)
{
	struct stat st;
	return fstatat(dirfd(parent), name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool identifyFolder(DIR *dir, FolderId *id)
{
	struct stat st;

	if (fstat(dirfd(dir), &st) != 0)
		return false;
	id->dev = st.st_dev;
	id->ino = st.st_ino;
	return true;
}

// Every folder is identified as it is entered.
void rememberFolder(DIR *, bool)
{
}

void identifyRememberedFolders(bool (*)(const FolderId &, bool))
{
}

void forgetRememberedFolders()
{
}

// Names are bytes, as paths are.
std::size_t conformPath(const DIR *, char *, std::size_t len, std::string *)
{
	return len;
}

std::size_t nameLength(const DIR *, std::size_t bytes)
{
	return bytes;
}

// Every name the system gives is the file's own, and opens it.
const char *unlistedReason(const DIR *)
{
	return nullptr;
}

const char *longNameOf(const DIR *)
{
	return nullptr;
}
