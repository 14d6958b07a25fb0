// Preloaded by the status-line test: makes every readdir take a
// millisecond, so that a small tree takes long enough to scan. With
// TONVELO_STALL set, the first flush of standard error, right after the
// status line is first written, waits for a signal: an interrupt then
// always comes while the line is on the screen, as early as it can.
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include "shim_names.h"

extern "C" struct dirent *readdir(DIR *dir)
{
	using Readdir = struct dirent *(*)(DIR *);
	static Readdir next = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, OFFSET_NAME("readdir")));
	usleep(1000);
	return next(dir);
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
