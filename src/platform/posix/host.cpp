#include "platform/host.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/folders.h"

int scannedFolderFd = -1;
int currentFolderFd = -1;

NameLookup lookUpArgument(int, const char *arg, std::string *text)
{
	struct stat st;

	*text = arg;
	if (stat(arg, &st) == 0)
		return NAME_FOUND;
	// Only "no such file" answers make a name missing. Any other failure,
	// a folder on the way that may not be searched, say, counts as
	// existing, so that the scan's own error line tells why.
	bool missing = errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG;
	return missing ? NAME_MISSING : NAME_FOUND;
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

int holdScannedFolder(const char *text)
{
	// Without a text there are no entries to name.
	if (text != nullptr && text[0] == '\0')
		return ENOENT;
	// The current directory too: the playlist may go there, into the
	// folder it is now.
	int here = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
	int fd = here < 0 ? -1 : open(text != nullptr ? text : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0) {
		int err = errno;
		if (here >= 0)
			close(here);
		return err;
	}
	currentFolderFd = here;
	scannedFolderFd = fd;
	return 0;
}

const char *separatorAfter(const char *path, std::size_t len)
{
	// A folder typed with its separator ("music/", as tab completion
	// types it) gets no second one: some players (MPD) open no entry
	// with two in a row.
	return len > 0 && path[len - 1] == '/' ? "" : "/";
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

void raiseOpenFileLimit()
{
	// Each folder being read holds a descriptor: a tree deeper than a low
	// soft limit would lose its deepest folders.
	struct rlimit limit;
	if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
		return;
	limit.rlim_cur = limit.rlim_max;
	if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
		// Not allowed: the limit stays, and the scan says what it costs.
	}
}
