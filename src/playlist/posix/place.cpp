#include "playlist/place.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/folders.h"

namespace {

// Links followed at the place before giving up, as the kernel does (ELOOP).
const int MAX_LINKS = 40;
const char ACL_XATTR[] = "system.posix_acl_access";
const char LINK_REFUSED[] = "symbolic link of another user, not followed";
const char SPECIAL_REFUSED[] = "FIFO or device of another user, not written to";
const char SHARED_REFUSED[] = "file of another user in a shared folder, not replaced";

// Splits path at its last "/" into the folder, with that "/", and the name.
void splitPath(const std::string &path, std::string *folder, std::string *name)
{
	std::size_t slash = path.rfind('/');
	*folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
	*name = path.substr(slash == std::string::npos ? 0 : slash + 1);
}

int openFolder(int at, const std::string &folder)
{
	return openat(at, folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

bool isSameFile(const struct stat &a, const struct stat &b)
{
	return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Root, and the runner, need no trick to write wherever the runner may:
// what they put at the place is used as it is.
bool isTrustedOwner(uid_t uid)
{
	return uid == geteuid() || uid == 0;
}

int refuse(Place *place, const char *reason)
{
	place->refusal.path = place->shown + place->name;
	place->refusal.reason = reason;
	return EACCES;
}

// Takes the place one link further, the link being open in fd and
// described by link: to the folder and name it leads to. Another user's
// link is followed only to what that user owns: the folder's owner too
// may plant one, to have the runner write what they may not. Returns 0 or
// an errno.
int followLink(Place *place, int fd, const struct stat &link)
{
	char buf[PATH_MAX];
	ssize_t n = readlinkat(fd, "", buf, sizeof buf);
	if (n < 0)
		return errno;
	if (n == sizeof buf)
		return ENAMETOOLONG;
	std::string folder, name;
	splitPath(std::string(buf, n), &folder, &name);
	if (name.empty())
		return EISDIR;
	bool absolute = buf[0] == '/';
	int next = openFolder(absolute ? AT_FDCWD : place->folder, folder);
	struct stat target;
	if (!isTrustedOwner(link.st_uid) &&
	    (next < 0 || fstatat(next, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0 ||
	     target.st_uid != link.st_uid)) {
		if (next >= 0)
			close(next);
		return refuse(place, LINK_REFUSED);
	}
	if (next < 0)
		return errno;
	close(place->folder);
	place->folder = next;
	place->shown = absolute ? folder : place->shown + folder;
	place->name = name;
	return 0;
}

// Reads the access ACL into buf, of size bytes (0: only its size), from
// the file open for reading in rd, else through proc: an O_PATH file has
// no attributes of its own to read.
ssize_t getAcl(int rd, const char *proc, char *buf, std::size_t size)
{
	return rd >= 0 ? fgetxattr(rd, ACL_XATTR, buf, size) : getxattr(proc, ACL_XATTR, buf, size);
}

// The access ACL of the old file, open (O_PATH) in fd.
void readAcl(Place *place, int fd)
{
	int rd = openat(place->folder, place->name.c_str(),
			O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
	struct stat st;
	if (rd >= 0 && (fstat(rd, &st) != 0 || !isSameFile(st, place->old))) {
		close(rd);
		rd = -1;
	}
	char proc[32];
	std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
	ssize_t size = getAcl(rd, proc, nullptr, 0);
	if (size > 0) {
		place->acl.resize(size);
		size = getAcl(rd, proc, place->acl.data(), size);
		place->acl.resize(size > 0 ? size : 0);
	}
	if (rd >= 0)
		close(rd);
}

// In a sticky folder, another user's file is not replaced. A user other
// than root could not rename over it, unless the folder is his. Root
// could, but in a folder that others may write (/tmp, a shared 1777 or
// 1775 folder) that file is the co-user's: replacing it would hand them
// back what this run wrote. So the kernel's protected_regular rule has
// it, applied here whatever the machine's setting; the folder's owner may
// keep files there.
bool isOthersInStickyFolder(const struct stat &st, int folder)
{
	struct stat owner;
	if (st.st_uid == geteuid() || fstat(folder, &owner) != 0 || !(owner.st_mode & S_ISVTX))
		return false;
	if (geteuid() != 0)
		return owner.st_uid != geteuid();
	return st.st_uid != owner.st_uid && (owner.st_mode & (S_IWGRP | S_IWOTH));
}

// Settles what the file at the place, open (O_PATH) in fd, is and whether
// it may be replaced or written to. Returns 0 or an errno.
int judgeFile(Place *place, int fd)
{
	const struct stat &st = place->old;
	if (S_ISDIR(st.st_mode))
		return EISDIR;
	if (!S_ISREG(st.st_mode)) {
		// Written to, so only the runner's own or root's: another user's
		// FIFO could hold the run for ever, a device take its bytes.
		if (!isTrustedOwner(st.st_uid))
			return refuse(place, SPECIAL_REFUSED);
		place->kind = PLACE_SPECIAL;
		return 0;
	}
	place->kind = PLACE_FILE;
	// An old file the user may not write is not replaced either.
	if (faccessat(place->folder, place->name.c_str(), W_OK, 0) != 0)
		return errno;
	if (isOthersInStickyFolder(st, place->folder))
		return refuse(place, SHARED_REFUSED);
	readAcl(place, fd);
	return 0;
}

// The mode's group bits stand for the ACL's mask: without the ACL they
// would give the owning group what only named users and groups had. The
// group's own entry is kept instead.
mode_t modeWithoutAcl(mode_t mode, const std::vector<char> &acl)
{
	// A header of 4 bytes, then entries of a tag (2 bytes), permissions
	// (2) and an id (4), little-endian.
	const unsigned GROUP_OBJ = 0x04, MASK = 0x10;
	unsigned group = 7, mask = 7;
	for (std::size_t i = 4; i + 8 <= acl.size(); i += 8) {
		unsigned tag = std::uint8_t(acl[i]) | std::uint8_t(acl[i + 1]) << 8;
		unsigned perm = std::uint8_t(acl[i + 2]) & 7;
		if (tag == GROUP_OBJ)
			group = perm;
		else if (tag == MASK)
			mask = perm;
	}
	return (mode & ~mode_t(070)) | mode_t((group & mask) << 3);
}

// True when folder lists name exactly; also when it cannot be read.
bool listsExactly(int folder, const std::string &name)
{
	int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	DIR *dir = fd >= 0 ? fdopendir(fd) : nullptr;
	if (dir == nullptr) {
		if (fd >= 0)
			close(fd);
		return true;
	}
	bool found = false;
	while (struct dirent *ent = readdir(dir))
		if (name == ent->d_name)
			found = true;
	closedir(dir);
	return found;
}

// Reads the whole file open in fd, from its start, into *bytes: 0 or an
// errno.
int readWhole(int fd, std::vector<char> *bytes)
{
	bytes->clear();
	char buf[1 << 16];
	for (;;) {
		ssize_t n = pread(fd, buf, sizeof buf, off_t(bytes->size()));
		if (n < 0 && errno != EINTR)
			return errno;
		if (n == 0)
			return 0;
		if (n > 0)
			bytes->insert(bytes->end(), buf, buf + n);
	}
}

} // namespace

int findPlace(HeldFolder folder, const char *shown, const char *name, Place *place)
{
	*place = Place();
	place->name = name;
	place->shown = shown;
	// The folder scanned, as the scan opened it; the current directory,
	// as it was then.
	int held = folder == SCANNED_FOLDER ? scannedFolderFd : currentFolderFd;
	place->folder = fcntl(held, F_DUPFD_CLOEXEC, 0);
	if (place->folder < 0)
		return errno;
	for (int links = 0;; links++) {
		int fd = openat(place->folder, place->name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
		if (fd < 0)
			return errno == ENOENT ? 0 : errno;
		int err = fstat(fd, &place->old) == 0 ? 0 : errno;
		bool link = err == 0 && S_ISLNK(place->old.st_mode);
		if (link)
			err = links == MAX_LINKS ? ELOOP : followLink(place, fd, place->old);
		else if (err == 0)
			err = judgeFile(place, fd);
		close(fd);
		if (err != 0 || !link)
			return err;
	}
}

void leavePlace(Place *place)
{
	if (place->folder >= 0)
		close(place->folder);
	place->folder = -1;
}

int openUnnamed(Place *place)
{
	// It is given its name through /proc.
	if (access("/proc/self/fd", X_OK) == 0)
		return openat(place->folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
	errno = ENOTSUP;
	return -1;
}

int openNamed(Place *place, const char *name)
{
	return openat(place->folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

int openInPlace(Place *place, std::vector<char> *old)
{
	// Not blocked by a FIFO put there meanwhile; the user's own one, found
	// there, is waited for as any writer waits for its reader.
	const char *name = place->name.c_str();
	int flags = (old != nullptr ? O_RDWR : O_WRONLY) | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
	int fd = openat(place->folder, name, flags | O_NONBLOCK);
	if (fd < 0 && errno == ENXIO && S_ISFIFO(place->old.st_mode))
		fd = openat(place->folder, name, flags);
	if (fd < 0)
		return -1;
	struct stat st;
	int err = 0;
	if (fstat(fd, &st) != 0 || fcntl(fd, F_SETFL, 0) != 0) // writes block again
		err = errno;
	else if (!isSameFile(st, place->old))
		err = EAGAIN; // not what was looked at
	else if (old != nullptr)
		err = readWhole(fd, old);
	if (err != 0) {
		close(fd);
		errno = err;
		return -1;
	}
	return fd;
}

int cutAtEnd(int fd)
{
	off_t end = lseek(fd, 0, SEEK_CUR);
	return end >= 0 && ftruncate(fd, end) == 0 ? 0 : errno;
}

int putBackInHandler(int fd, const char *old, std::size_t size)
{
	off_t reached = lseek(fd, 0, SEEK_CUR);
	if (reached < 0)
		return errno;
	// Only over what was written: a write past the file size limit fails.
	std::size_t left = std::uintmax_t(reached) < size ? std::size_t(reached) : size;
	for (std::size_t done = 0; done < left;) {
		ssize_t n = pwrite(fd, old + done, left - done, off_t(done));
		if (n < 0 && errno != EINTR)
			return errno;
		done += n > 0 ? std::size_t(n) : 0;
	}
	return ftruncate(fd, off_t(size)) == 0 ? 0 : errno;
}

void setAttributes(Place *place, std::FILE *fp)
{
	int fd = fileno(fp);
	if (place->kind != PLACE_FILE) {
		// A new file's mode, now that it is whole.
		mode_t mask = umask(0);
		umask(mask);
		if (fchmod(fd, 0666 & ~mask) != 0) {
			// Kept private.
		}
		return;
	}
	const struct stat &old = place->old;
	if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, uid_t(-1), old.st_gid) != 0) {
		// Not permitted: the new file stays the writer's own.
	}
	// No ACL unless the old file had one: one the folder's default gave the
	// new file could allow more than the old file did.
	mode_t mode = old.st_mode & 07777;
	if (place->acl.empty())
		fremovexattr(fd, ACL_XATTR);
	else if (fsetxattr(fd, ACL_XATTR, place->acl.data(), place->acl.size(), 0) != 0)
		mode = modeWithoutAcl(mode, place->acl);
	if (fchmod(fd, mode) != 0) {
		// Kept private.
	}
}

int nameFile(Place *place, std::FILE *fp, const char *name)
{
	char proc[32];
	std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fileno(fp));
	const char *to = name != nullptr ? name : place->name.c_str();
	return linkat(AT_FDCWD, proc, place->folder, to, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int renameIntoPlace(const Place *place, const char *name)
{
	return renameat(place->folder, name, place->folder, place->name.c_str()) == 0 ? 0 : errno;
}

int moveAside(Place *place, const char *name)
{
	const char *from = place->name.c_str();
	if (renameat2(place->folder, from, place->folder, name, RENAME_NOREPLACE) == 0)
		return 0;
	// A file system that cannot be asked so (FUSE before 7.23) is asked
	// plainly: one that will not rename over a file refuses this too.
	if (errno != EINVAL && errno != ENOSYS)
		return errno;
	return renameat(place->folder, from, place->folder, name) == 0 ? 0 : errno;
}

int removeName(const Place *place, const char *name)
{
	const char *doomed = name != nullptr ? name : place->name.c_str();
	return unlinkat(place->folder, doomed, 0) == 0 ? 0 : errno;
}

const char *listedName(const Place *place)
{
	return place->name.c_str();
}

bool isFileAtPlace(Place *place, const char *path)
{
	struct stat st;
	if (stat(path, &st) != 0)
		return false;
	if (isSameFile(st, place->old))
		return true;
	// A file system that ignores case may give each spelling of a name a
	// number of its own (FAT through FUSE): another spelling, in the same
	// folder, where no file has the place's exact name, is the same file.
	std::string folder, name;
	splitPath(path, &folder, &name);
	struct stat here, there;
	int fd = openFolder(AT_FDCWD, folder);
	bool sameFolder = fd >= 0 && fstat(fd, &there) == 0 && fstat(place->folder, &here) == 0 &&
			  isSameFile(here, there);
	if (fd >= 0)
		close(fd);
	return sameFolder && name != place->name && !listsExactly(place->folder, place->name);
}
