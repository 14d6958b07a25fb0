// Preloaded by the status-line test: makes every entry read take a
// millisecond, so that a small tree takes long enough to scan. With
// TONVELO_STALL set, the first flush of standard error, right after the
// status line is first written, waits for a signal: an interrupt then
// always comes while the line is on the screen, as early as it can.
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t getdents64(int fd, void *buf, size_t size)
{
	using Getdents = ssize_t (*)(int, void *, size_t);
	static Getdents next = reinterpret_cast<Getdents>(dlsym(RTLD_NEXT, "getdents64"));
	ssize_t n = next(fd, buf, size);
	char *at = static_cast<char *>(buf);
	for (char *end = at + (n > 0 ? n : 0); at < end; at += reinterpret_cast<dirent64 *>(at)->d_reclen)
		usleep(1000);
	return n;
}

extern "C" int fflush(FILE *stream)
{
	using Fflush = int (*)(FILE *);
	static Fflush next = reinterpret_cast<Fflush>(dlsym(RTLD_NEXT, "fflush"));
	if (stream == stderr && std::getenv("TONVELO_STALL"))
		for (;;)
			pause();
	return next(stream);
}
