#include "scan/collect.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "scan/dirstream.h"
#include "scan/medialist.h"
#include "util/report.h"

namespace {

const char LINE_BREAK_REASON[] = "line break in name, left out";

// One buffer serves every level: each level appends "/name" at its end.
char joined[JOINED_PATH_MAX];

// A folder on the current path: its open stream, and who it is once that
// has been asked. Only a link can lead back onto the path (the kernel keeps
// mounts from nesting without end), so a folder is identified only when a
// link to some folder is met below it: most trees never pay for it.
struct Level {
	DIR *dir;
	FolderId id;
	bool known;
};
std::vector<Level> levels;

// Entries looked at since the status line was last offered a refresh.
unsigned sinceProgress;

bool holdsExcludedText(const char *s)
{
	return std::strstr(s, ".jpg") != nullptr || std::strstr(s, ".m3u") != nullptr;
}

// An M3U line cannot hold a line feed or a carriage return.
bool holdsLineBreak(const char *s)
{
	return std::strpbrk(s, "\r\n") != nullptr;
}

bool isDotOrDotDot(const char *name)
{
	return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The listing's own type settles plain files and folders; links and
// entries of unknown type are stat'ed, so a link is followed and one that
// cannot be stat'ed counts as a file. *linked tells whether a folder was
// stat'ed, and *target then says who it is.
bool isDirectory(const struct dirent *ent, const char *path, bool *linked, FolderId *target)
{
	*linked = false;
	if (ent->d_type == DT_DIR)
		return true;
	if (ent->d_type == DT_REG)
		return false;
	struct stat st;
	if (stat(path, &st) != 0 || (st.st_mode & S_IFMT) != S_IFDIR)
		return false;
	*linked = identifyTarget(st, target);
	return true;
}

bool isOnCurrentPath(const FolderId &id)
{
	for (Level &l : levels) {
		if (!l.known)
			l.known = identifyFolder(l.dir, &l.id);
		if (l.known && l.id.dev == id.dev && l.id.ino == id.ino)
			return true;
	}
	return false;
}

// Reports joined[0..len) + "/" + name, a path that is not formed.
void reportEntry(std::size_t len, const char *name, const char *reason)
{
	std::string path(joined, len);
	path += '/';
	path += name;
	reportPath(path.c_str(), path.size(), reason);
}

// Scans the folder named by the first len bytes of joined. excluded is true
// when those bytes already hold ".jpg" or ".m3u": a match never spans a
// "/", so the whole joined path holds one exactly when the folder or the
// name does. target, when not null, is who a folder reached through a
// link is.
void scanDirectory(std::size_t len, bool excluded, const FolderId *target)
{
	if (target != nullptr && isOnCurrentPath(*target)) {
		reportPath(joined, len, std::strerror(ELOOP));
		return;
	}
	DIR *dir = opendir(joined);
	if (dir == nullptr) {
		reportOpenFailure();
		return;
	}
	levels.push_back(Level{dir, target ? *target : FolderId{}, target != nullptr});

	struct dirent *ent;
	while ((ent = readdir(dir)) != nullptr) {
		if (++sinceProgress == 256) {
			sinceProgress = 0;
			showProgress(mediaList.paths.size());
		}
		const char *name = ent->d_name;
		if (isDotOrDotDot(name))
			continue;
		if (isNamelessEntry(ent)) {
			reportEntry(len, name, "name not representable, left out");
			continue;
		}
		if (holdsLineBreak(name)) {
			reportEntry(len, name, LINE_BREAK_REASON);
			continue;
		}
		std::size_t namelen = std::strlen(name);
		if (len + 1 + namelen >= sizeof joined) {
			reportEntry(len, name, std::strerror(ENAMETOOLONG));
			continue;
		}
		joined[len] = '/';
		std::memcpy(joined + len + 1, name, namelen + 1);
		bool skip = excluded || holdsExcludedText(name);
		bool linked;
		FolderId target;
		if (isDirectory(ent, joined, &linked, &target))
			scanDirectory(len + 1 + namelen, skip, linked ? &target : nullptr);
		else if (!skip)
			appendMedia(joined, len + 1 + namelen);
		joined[len] = '\0';
	}
	levels.pop_back();
	closedir(dir);
}

} // namespace

void scanFolder(const char *path)
{
	std::size_t len = std::strlen(path);
	if (holdsLineBreak(path)) {
		reportPath(path, len, LINE_BREAK_REASON);
		return;
	}
	if (len >= sizeof joined) {
		reportPath(path, len, std::strerror(ENAMETOOLONG));
		return;
	}
	std::memcpy(joined, path, len + 1);
	scanDirectory(len, holdsExcludedText(path), nullptr);
	clearProgress();
}
