// Preloaded by the write tests. TONVELO_RAISE="call:signal" raises the
// signal when the program calls renameat, linkat or fchmod: the moments
// its new playlist is whole, named and given its mode. TONVELO_NO_TMPFILE
// refuses unnamed files, as file systems without them do, and
// TONVELO_NO_ACL refuses to set an ACL. TONVELO_FAIL="call:errno" makes
// renameat or linkat fail with that error. TONVELO_SWAP="folder:other"
// renames folder to folder~ at the first readdir and puts a link to other
// in its place, as a co-user who may rename it could during a scan.
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

void raiseAt(const char *call)
{
	const char *want = std::getenv("TONVELO_RAISE");
	std::size_t n = std::strlen(call);
	if (want != nullptr && std::strncmp(want, call, n) == 0 && want[n] == ':')
		std::raise(std::atoi(want + n + 1));
}

bool failAt(const char *call)
{
	const char *want = std::getenv("TONVELO_FAIL");
	std::size_t n = std::strlen(call);
	if (want == nullptr || std::strncmp(want, call, n) != 0 || want[n] != ':')
		return false;
	errno = std::atoi(want + n + 1);
	return true;
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
	int mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
	return next<Openat>(name)(dir, path, flags, mode);
}

} // namespace

extern "C" int renameat(int fd1, const char *from, int fd2, const char *to)
{
	raiseAt("renameat");
	if (failAt("renameat"))
		return -1;
	return next<int (*)(int, const char *, int, const char *)>("renameat")(fd1, from, fd2, to);
}

extern "C" int linkat(int fd1, const char *from, int fd2, const char *to, int flags)
{
	raiseAt("linkat");
	if (failAt("linkat"))
		return -1;
	return next<int (*)(int, const char *, int, const char *, int)>("linkat")(fd1, from, fd2, to, flags);
}

extern "C" int fchmod(int fd, mode_t mode)
{
	raiseAt("fchmod");
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

extern "C" struct dirent *readdir(DIR *dir)
{
	static const char *swap = std::getenv("TONVELO_SWAP");
	if (swap != nullptr) {
		std::string folder(swap, std::strchr(swap, ':'));
		if (rename(folder.c_str(), (folder + "~").c_str()) != 0 ||
		    symlink(std::strchr(swap, ':') + 1, folder.c_str()) != 0)
			std::abort();
		swap = nullptr;
	}
	return next<struct dirent *(*)(DIR *)>("readdir")(dir);
}
