#include "playlist/replace.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

#include "report/report.h"

namespace {

// Temporary names are as long as "playlist.m3u", so they fit wherever the
// playlist fits, and hold ".m3u", so a leftover is never listed.
const char TEMP_PREFIX[] = ".m3u";
const int TEMP_TRIES = 100;

// The replacement being written.
struct Replacement {
	std::FILE *fp;
	std::string target; // the file replaced, links followed
	std::string temp;   // its temporary name, while it has one
	bool unnamed;       // no name at all until it is whole
	bool inPlace;       // written over target itself
	bool hadOld;
	struct stat old;
};
Replacement current;

// The temporary name as an interrupt sees it.
char doomed[PATH_MAX];
volatile std::sig_atomic_t doomedSet;

// "folder/" of path, or "" for a name in the current directory.
std::string folderOf(const std::string &path)
{
	std::size_t slash = path.rfind('/');
	return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a write to path reaches: links followed to their end, a
// dangling one too. "" with errno set when they do not end.
std::string followLinks(std::string path)
{
	for (int hops = 0; hops < 40; hops++) {
		char buf[PATH_MAX];
		ssize_t n = readlink(path.c_str(), buf, sizeof buf);
		if (n < 0)
			return errno == EINVAL || errno == ENOENT ? path : std::string();
		if (n == sizeof buf) {
			errno = ENAMETOOLONG;
			return std::string();
		}
		std::string link(buf, n);
		path = link[0] == '/' ? link : folderOf(path) + link;
	}
	errno = ELOOP;
	return std::string();
}

std::string tempName(const std::string &folder, int attempt)
{
	char name[16];
	unsigned mix = unsigned(getpid()) * 2654435761u + unsigned(attempt) * 40503u;
	std::snprintf(name, sizeof name, "%s%08x", TEMP_PREFIX, mix);
	return folder + name;
}

// Sets the temporary name, first where an interrupt finds it.
// Takes path over without a copy: nothing is allocated once the file
// exists.
void nameTemp(std::string path)
{
	doomedSet = 0;
	current.temp = std::move(path);
	if (current.temp.size() < sizeof doomed) {
		std::memcpy(doomed, current.temp.c_str(), current.temp.size() + 1);
		doomedSet = 1;
	}
}

void removeTemp()
{
	doomedSet = 0;
	if (!current.temp.empty() && unlink(current.temp.c_str()) != 0 && errno != ENOENT)
		reportPath(current.temp.c_str(), std::strerror(errno));
	current.temp.clear();
}

// A file without a name in folder, where the system has them and they can
// be given one later (through /proc); -1 otherwise.
int openUnnamed(const std::string &folder)
{
#ifdef O_TMPFILE
	if (access("/proc/self/fd", X_OK) != 0)
		return -1;
	return open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#else
	(void)folder;
	return -1;
#endif
}

// A new file with a temporary name in folder; a leftover of an earlier
// run is stepped over.
int openTemp(const std::string &folder)
{
	for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
		std::string path = tempName(folder, attempt);
		int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
		if (fd >= 0) {
			nameTemp(std::move(path));
			return fd;
		}
		if (errno != EEXIST)
			return -1;
	}
	return -1;
}

// Gives the whole unnamed file a temporary name, to be renamed over the
// target like a named one.
int nameUnnamed(int fd)
{
	char proc[32];
	std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
	std::string folder = folderOf(current.target);
	for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
		nameTemp(tempName(folder, attempt));
		if (linkat(AT_FDCWD, proc, AT_FDCWD, current.temp.c_str(), AT_SYMLINK_FOLLOW) == 0)
			return 0;
		int err = errno;
		current.temp.clear();
		doomedSet = 0;
		if (err != EEXIST)
			return err;
	}
	return EEXIST;
}

// The old file's owner, where the process may give it, and its mode.
void keepOwnerAndMode(int fd)
{
	if (fchown(fd, current.old.st_uid, current.old.st_gid) != 0 &&
	    fchown(fd, uid_t(-1), current.old.st_gid) != 0) {
		// Not permitted: the new file stays the writer's own.
	}
	if (fchmod(fd, current.old.st_mode & 07777) != 0) {
		// Kept as created.
	}
}

extern "C" void onInterrupt(int sig)
{
	if (doomedSet)
		unlink(doomed);
	// The status line, "\r" and spaces over it and "\r", by write alone.
	static const char blanks[] = "\r                                                ";
	int width = progressWidth();
	if (width > 0 && width < int(sizeof blanks) - 1 &&
	    write(STDERR_FILENO, blanks, width + 1) > 0 && write(STDERR_FILENO, "\r", 1) > 0) {
		// Nothing more can be done about a failed write here.
	}
	signal(sig, SIG_DFL);
	raise(sig);
}

} // namespace

std::FILE *createReplacement(const char *path)
{
	current = Replacement();
	current.target = followLinks(path);
	if (current.target.empty())
		return nullptr;
	const char *target = current.target.c_str();
	current.hadOld = stat(target, &current.old) == 0;
	if (!current.hadOld && errno != ENOENT)
		return nullptr;
	if (current.hadOld && S_ISDIR(current.old.st_mode)) {
		errno = EISDIR;
		return nullptr;
	}
	// An old file the user may not write is not replaced either.
	if (current.hadOld && access(target, W_OK) != 0)
		return nullptr;

	int fd = -1;
	// A device or a FIFO is written to, never replaced.
	if (!current.hadOld || S_ISREG(current.old.st_mode)) {
		std::string folder = folderOf(current.target);
		fd = openUnnamed(folder);
		current.unnamed = fd >= 0;
		if (fd < 0)
			fd = openTemp(folder);
	}
	if (fd < 0) {
		// No new file beside it: written over, as a truncating open
		// would, which fails only where the playlist itself cannot be.
		fd = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
		current.inPlace = fd >= 0;
		if (fd < 0)
			return nullptr;
	}
	current.fp = fdopen(fd, "w");
	if (current.fp == nullptr) {
		int err = errno;
		close(fd);
		removeTemp();
		errno = err;
	}
	return current.fp;
}

int commitReplacement()
{
	int fd = fileno(current.fp);
	int err = 0;
	if (current.hadOld && !current.inPlace)
		keepOwnerAndMode(fd);
	if (current.unnamed)
		err = nameUnnamed(fd);
	if (std::fclose(current.fp) != 0 && err == 0)
		err = errno;
	current.fp = nullptr;
	if (err == 0 && !current.temp.empty() &&
	    std::rename(current.temp.c_str(), current.target.c_str()) != 0)
		err = errno;
	if (err != 0)
		removeTemp();
	doomedSet = 0;
	current.temp.clear();
	return err;
}

void discardReplacement()
{
	if (current.fp == nullptr)
		return;
	std::fclose(current.fp);
	current.fp = nullptr;
	removeTemp();
}

void catchSignals()
{
	struct sigaction sa = {};
	sa.sa_handler = onInterrupt;
	sigemptyset(&sa.sa_mask);
	const int interrupts[] = {SIGINT, SIGTERM, SIGHUP};
	for (int sig : interrupts)
		sigaddset(&sa.sa_mask, sig);
	for (int sig : interrupts) {
		struct sigaction was;
		// An interrupt the caller ignores (a background job) stays ignored.
		if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
			sigaction(sig, &sa, nullptr);
	}
	std::signal(SIGPIPE, SIG_IGN);
	std::signal(SIGXFSZ, SIG_IGN);
}
