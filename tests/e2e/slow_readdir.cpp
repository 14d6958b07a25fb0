// Preloaded by the status-line test: makes every readdir take a
// millisecond, so that a small tree takes long enough to scan.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

extern "C" struct dirent *readdir(DIR *dir)
{
	using Readdir = struct dirent *(*)(DIR *);
	static Readdir next = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
	usleep(1000);
	return next(dir);
}
