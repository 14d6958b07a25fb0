#include "util/host.h"

#include <cerrno>
#include <cstdio>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool pathExists(const char *path)
{
	struct stat st;

	if (stat(path, &st) == 0)
		return true;
	// Only "no such file" answers make a name missing. Any other failure,
	// a folder on the way that may not be searched, say, counts as
	// existing, so that the scan's own error line tells why.
	return errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG;
}

std::string currentDirectory()
{
	// getcwd can return more than PATH_MAX bytes: grow until it fits.
	std::string buf(4096, '\0');
	while (getcwd(&buf[0], buf.size()) == nullptr) {
		if (errno != ERANGE)
			return std::string();
		buf.resize(buf.size() * 2);
	}
	buf.resize(buf.find('\0'));
	return buf;
}

bool isAbsolutePath(const char *path)
{
	return path[0] == '/';
}

bool isTerminal(std::FILE *stream)
{
	return isatty(fileno(stream)) == 1;
}

void adviseLargePages(void *start, std::size_t size)
{
#ifdef MADV_HUGEPAGE
	madvise(start, size, MADV_HUGEPAGE);
#else
	(void)start;
	(void)size;
#endif
}
