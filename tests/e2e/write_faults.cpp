// Preloaded by the write tests. TONVELO_RAISE="call:signal" raises the
// signal when the program calls renameat (or renameat2), linkat or fchmod:
// the moments its new playlist is whole, named and given its mode; and
// "renamed", "linked" and "created", the moments after a rename, a link
// or an exclusive create has been done.
// TONVELO_NO_TMPFILE refuses unnamed files, as file systems without them
// do, TONVELO_NO_ACL refuses to set an ACL, and TONVELO_NO_RENAME_OVER
// refuses to rename over an existing name (EEXIST), as FAT through FUSE
// does. TONVELO_FAIL="call:errno" makes renameat, linkat or an exclusive
// create ("create": openat with O_EXCL) fail with that error. "call@n"
// for call picks its n-th call alone, counted from 1.
// TONVELO_SWAP="folder:other" renames folder to folder~ as the scan first
// reads a folder and puts a link to other in its place, as a co-user who
// may rename it could during a scan.
// Both openat and openat64 are defined here, whatever offsets and times
// the build gives the program: the headers must not make one the other.
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// True when the setting picks the n-th call to call; *value is its number.
bool picks(const char *setting, const char *call, int n, int *value)
{
	const char *want = std::getenv(setting);
	std::size_t len = std::strlen(call);
	int nth = n;
	return want != nullptr && std::strncmp(want, call, len) == 0 &&
	       (std::sscanf(want + len, "@%d:%d", &nth, value) == 2 ||
		std::sscanf(want + len, ":%d", value) == 1) && nth == n;
}

// Raises or fails the n-th call to call as the settings say: true when it
// is to fail, with errno set.
bool intercept(const char *call, int n)
{
	int value;
	if (picks("TONVELO_RAISE", call, n, &value))
		std::raise(value);
	bool fail = picks("TONVELO_FAIL", call, n, &value);
	if (fail)
		errno = value;
	return fail;
}

template <typename F> F next(const char *name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int openatWith(const char *name, int dir, const char *path, int flags, va_list ap)
{
	using Openat = int (*)(int, const char *, int, ...);
	if ((flags & O_TMPFILE) == O_TMPFILE && std::getenv("TONVELO_NO_TMPFILE")) {
		errno = EOPNOTSUPP;
		return -1;
	}
	static int creates;
	bool exclusive = (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL);
	if (exclusive && intercept("create", ++creates))
		return -1;
	int mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
	int fd = next<Openat>(name)(dir, path, flags, mode);
	if (exclusive && fd >= 0)
		intercept("created", creates);
	return fd;
}

int renameWith(int fd1, const char *from, int fd2, const char *to, unsigned flags)
{
	static int renames, done;
	if (intercept("renameat", ++renames))
		return -1;
	struct stat st;
	if (std::getenv("TONVELO_NO_RENAME_OVER") && fstatat(fd2, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
		errno = EEXIST;
		return -1;
	}
	using Renameat2 = int (*)(int, const char *, int, const char *, unsigned);
	int rc = flags == 0
		? next<int (*)(int, const char *, int, const char *)>("renameat")(fd1, from, fd2, to)
		: next<Renameat2>("renameat2")(fd1, from, fd2, to, flags);
	intercept("renamed", ++done);
	return rc;
}

} // namespace

extern "C" int renameat(int fd1, const char *from, int fd2, const char *to)
{
	return renameWith(fd1, from, fd2, to, 0);
}

extern "C" int renameat2(int fd1, const char *from, int fd2, const char *to, unsigned flags)
{
	return renameWith(fd1, from, fd2, to, flags);
}

extern "C" int linkat(int fd1, const char *from, int fd2, const char *to, int flags)
{
	static int links;
	if (intercept("linkat", ++links))
		return -1;
	int rc = next<int (*)(int, const char *, int, const char *, int)>("linkat")(fd1, from, fd2, to, flags);
	if (rc == 0)
		intercept("linked", links);
	return rc;
}

extern "C" int fchmod(int fd, mode_t mode)
{
	static int chmods;
	intercept("fchmod", ++chmods);
	return next<int (*)(int, mode_t)>("fchmod")(fd, mode);
}

extern "C" int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags)
{
	if (std::getenv("TONVELO_NO_ACL")) {
		errno = ENOTSUP;
		return -1;
	}
	using Fsetxattr = int (*)(int, const char *, const void *, size_t, int);
	return next<Fsetxattr>("fsetxattr")(fd, name, value, size, flags);
}

extern "C" int openat(int dir, const char *path, int flags, ...)
{
	va_list ap;
	va_start(ap, flags);
	int fd = openatWith("openat", dir, path, flags, ap);
	va_end(ap);
	return fd;
}

extern "C" int openat64(int dir, const char *path, int flags, ...)
{
	va_list ap;
	va_start(ap, flags);
	int fd = openatWith("openat64", dir, path, flags, ap);
	va_end(ap);
	return fd;
}

extern "C" ssize_t getdents64(int fd, void *buf, size_t size)
{
	static const char *swap = std::getenv("TONVELO_SWAP");
	if (swap != nullptr) {
		std::string folder(swap, std::strchr(swap, ':'));
		if (rename(folder.c_str(), (folder + "~").c_str()) != 0 ||
		    symlink(std::strchr(swap, ':') + 1, folder.c_str()) != 0)
			std::abort();
		swap = nullptr;
	}
	return next<ssize_t (*)(int, void *, size_t)>("getdents64")(fd, buf, size);
}
