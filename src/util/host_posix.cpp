#include "util/host.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

NameLookup lookUpArgument(int, const char *arg, std::string *text)
{
	struct stat st;

	*text = arg;
	return stat(arg, &st) == 0 ? NAME_FOUND : NAME_MISSING;
}

NameLookup lookUpCurrentDirectory(std::string *text)
{
	// getcwd can return more than PATH_MAX bytes: grow until it fits.
	std::string buf(4096, '\0');
	while (getcwd(&buf[0], buf.size()) == nullptr) {
		if (errno != ERANGE) {
			text->clear();
			return NAME_FOUND;
		}
		buf.resize(buf.size() * 2);
	}
	buf.resize(buf.find('\0'));
	*text = buf;
	return NAME_FOUND;
}

const char *separatorAfter(const char *, std::size_t)
{
	return "/";
}

bool isNativeHelpOption(const char *)
{
	return false;
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

std::FILE *createNewFile(const char *path)
{
	int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
	if (fd < 0)
		return nullptr;
	std::FILE *fp = fdopen(fd, "w");
	if (fp == nullptr) {
		int saved = errno;
		close(fd);
		unlink(path);
		errno = saved;
	}
	return fp;
}

int replaceFile(const char *from, const char *to)
{
	return std::rename(from, to);
}
