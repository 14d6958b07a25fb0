#include "scan/collect.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "app/report.h"
#include "scan/dirstream.h"
#include "scan/medialist.h"

namespace {

// One buffer serves every level: each level appends "/name" at its end.
char joined[JOINED_PATH_MAX];

bool holdsExcludedText(const char *s)
{
	return std::strstr(s, ".jpg") != nullptr || std::strstr(s, ".m3u") != nullptr;
}

bool isDotOrDotDot(const char *name)
{
	return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A link is followed; an entry that cannot be stat'ed counts as a file.
bool isDirectory(const char *path)
{
	struct stat st;

	return stat(path, &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

void reportTooLong(std::size_t len, const char *name)
{
	std::string path(joined, len);
	path += '/';
	path += name;
	reportPath(path.c_str(), std::strerror(ENAMETOOLONG));
}

// Scans the folder named by the first len bytes of joined. excluded is true
// when those bytes already hold ".jpg" or ".m3u": a match never spans a
// "/", so the whole joined path holds one exactly when the folder or the
// name does.
void scanDirectory(std::size_t len, bool excluded)
{
	DIR *dir = opendir(joined);
	if (dir == nullptr) {
		std::perror("opendir");
		return;
	}
	struct dirent *ent;
	while ((ent = readdir(dir)) != nullptr) {
		const char *name = ent->d_name;
		if (isDotOrDotDot(name))
			continue;
		std::size_t namelen = std::strlen(name);
		if (len + 1 + namelen >= sizeof joined) {
			reportTooLong(len, name);
			continue;
		}
		joined[len] = '/';
		std::memcpy(joined + len + 1, name, namelen + 1);
		bool skip = excluded || holdsExcludedText(name);
		if (isDirectory(joined))
			scanDirectory(len + 1 + namelen, skip);
		else if (!skip)
			appendMedia(joined, len + 1 + namelen);
		joined[len] = '\0';
	}
	closedir(dir);
}

} // namespace

void scanFolder(const char *path)
{
	std::size_t len = std::strlen(path);
	if (len >= sizeof joined) {
		reportPath(path, std::strerror(ENAMETOOLONG));
		return;
	}
	std::memcpy(joined, path, len + 1);
	scanDirectory(len, holdsExcludedText(path));
}
