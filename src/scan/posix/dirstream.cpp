#include "scan/dirstream.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/folders.h"

namespace {

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

DIR *openScannedFolder(const char *)
{
	// A descriptor of its own: the held one outlives the stream.
	return streamOn(fcntl(scannedFolderFd(), F_DUPFD_CLOEXEC, 0));
}

DIR *openSubfolder(DIR *parent, const char *name)
{
	return streamOn(openat(dirfd(parent), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
