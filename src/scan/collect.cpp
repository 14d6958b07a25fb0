#include "scan/collect.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "scan/dirstream.h"
#include "scan/medialist.h"
#include "platform/host.h"
#include "report/report.h"

namespace {

const char LINE_BREAK_REASON[] = "line break in name, left out";
// In words of our own: the Windows runtime has no text for ELOOP or
// ENAMETOOLONG.
const char LOOP_REASON[] = "Too many levels of symbolic links";
const char TOO_LONG_REASON[] = "File name too long";

// One buffer serves every level: each level appends a separator and a
// name at its end.
char joined[JOINED_PATH_MAX];

// A folder on the current path: its open stream, who it is once that has
// been asked, and whether all below it is left out.
struct Level {
	DIR *dir;
	FolderId id;
	bool known;
	bool excluded;
};
std::vector<Level> levels;

// Folders identified: a table of open addressing, at most half full, that
// costs no allocation per folder.
struct FolderTable {
	std::vector<FolderId> slots;
	std::size_t count;
};
const FolderId NO_FOLDER = {~0ULL, ~0ULL};

// Who the folders walked in this run are, so that each is walked once,
// however many paths lead to it. One walked where all is left out (below
// "art.jpg/") may still be walked once where it is not.
FolderTable walked, walkedExcluded;

// A file (anything but a folder), a folder as the listing says, or a
// folder that stat found by following the entry: a link, or an entry of a
// type the listing did not give, which may be one.
enum EntryKind { FILE_ENTRY, FOLDER, FOLLOWED_FOLDER };

// Entries looked at since the status line was last offered a refresh.
unsigned sinceProgress;

// JPEG images and playlists: earlier ones, and the temporary files of the
// playlist's replacement, which are named to match.
bool holdsExcludedText(const char *s)
{
	// One pass for both: each "." is looked at once.
	for (const char *dot = std::strchr(s, '.'); dot != nullptr; dot = std::strchr(dot + 1, '.'))
		if ((dot[1] == 'j' && dot[2] == 'p' && dot[3] == 'g') ||
		    (dot[1] == 'm' && dot[2] == '3' && dot[3] == 'u'))
			return true;
	return false;
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
// cannot be stat'ed counts as a file.
EntryKind kindOf(DIR *dir, const struct dirent *ent)
{
	if (ent->d_type == DT_DIR)
		return FOLDER;
	if (ent->d_type == DT_REG)
		return FILE_ENTRY;
	return isFolderEntry(dir, ent->d_name) ? FOLLOWED_FOLDER : FILE_ENTRY;
}

// Folders come round again through links and bind mounts: on the current
// path (a loop, said and ended at once), or elsewhere (a library's views
// made of links, each walked once, under the first path that reached it).
// Each folder entered is identified (dev/ino; on Windows its volume and
// file index) where a folder can come back without a link (a bind mount).
// Elsewhere (Windows) not before a link leads to a folder, so that a tree
// without reparse points costs no identity call: the folders walked until
// then are identified at that moment.
bool identifying = LOOPS_WITHOUT_LINKS;

bool isSameFolder(const FolderId &a, const FolderId &b)
{
	return a.dev == b.dev && a.ino == b.ino;
}

// Where id is in table, or the free slot where it would go.
std::size_t findSlot(const std::vector<FolderId> &table, const FolderId &id)
{
	std::size_t mask = table.size() - 1;
	unsigned long long h = (id.ino ^ id.dev * 0x9E3779B97F4A7C15ULL) * 0xBF58476D1CE4E5B9ULL;
	std::size_t i = (h ^ h >> 31) & mask;
	while (!isSameFolder(table[i], NO_FOLDER) && !isSameFolder(table[i], id))
		i = (i + 1) & mask;
	return i;
}

bool holdsFolder(const FolderTable &table, const FolderId &id)
{
	return !table.slots.empty() && isSameFolder(table.slots[findSlot(table.slots, id)], id);
}

// Adds id to table; false when it was there already.
bool addFolder(FolderTable &table, const FolderId &id)
{
	if (2 * (table.count + 1) > table.slots.size()) {
		std::vector<FolderId> bigger(table.slots.empty() ? 1024 : 2 * table.slots.size(),
					     NO_FOLDER);
		for (const FolderId &old : table.slots)
			if (!isSameFolder(old, NO_FOLDER))
				bigger[findSlot(bigger, old)] = old;
		table.slots.swap(bigger);
	}
	FolderId &slot = table.slots[findSlot(table.slots, id)];
	if (isSameFolder(slot, id))
		return false;
	slot = id;
	table.count++;
	return true;
}

// Notes id as walked, with all below it left out or not; false when it
// needs no walk: walked already, or walked to be listed.
bool markWalked(const FolderId &id, bool excluded)
{
	if (excluded)
		return !holdsFolder(walked, id) && addFolder(walkedExcluded, id);
	return addFolder(walked, id);
}

bool isOnCurrentPath(const FolderId &id)
{
	for (Level &l : levels) {
		if (!l.known && (l.known = identifyFolder(l.dir, &l.id)))
			markWalked(l.id, l.excluded);
		if (l.known && isSameFolder(l.id, id))
			return true;
	}
	return false;
}

// Reports joined[0..len) + sep + name, a path that is not formed.
void reportEntry(std::size_t len, const char *sep, const char *name, const char *reason)
{
	std::string path(joined, len);
	path += sep;
	path += name;
	reportPath(path.c_str(), path.size(), reason);
}

// Opens the folder named by the first len bytes of joined, the entry name
// of the folder open in parent (the scanned folder when there is none),
// and puts it on the current path, unless it has been walked already.
// excluded tells that all below it is left out, followed that stat found
// it by following the entry.
DIR *enterFolder(DIR *parent, const char *name, std::size_t len, bool excluded, bool followed)
{
	DIR *dir = parent != nullptr ? openSubfolder(parent, name, joined) : openScannedFolder(joined);
	if (dir == nullptr) {
		if (errno == ENOMEM)
			dieOutOfMemory();
		reportOpenFailure();
		return nullptr;
	}
	if (followed && !identifying) {
		identifying = true;
		identifyRememberedFolders(markWalked);
	}
	Level level{dir, FolderId{}, false, excluded};
	if (!identifying) {
		rememberFolder(dir, excluded);
	} else if ((level.known = identifyFolder(dir, &level.id))) {
		bool loop = isOnCurrentPath(level.id);
		if (loop || !markWalked(level.id, excluded)) {
			if (loop)
				reportPath(joined, len, LOOP_REASON);
			closedir(dir);
			return nullptr;
		}
	}
	levels.push_back(level);
	return dir;
}

// Left out for ".jpg" or ".m3u" in its name; where another name stands in
// (a short name), the name it stands for is judged.
bool isExcludedEntry(const DIR *dir, const char *name)
{
	const char *longName = longNameOf(dir);
	return holdsExcludedText(longName != nullptr ? longName : name);
}

// Scans the folder named by the first len bytes of joined, of length
// units as JOINED_PATH_LENGTH_MAX counts it; false when it cannot be
// entered. excluded is true when those bytes already hold ".jpg" or
// ".m3u": a match never spans a separator, so the whole joined path holds
// one exactly when the folder or the name does.
bool scanDirectory(DIR *parent, const char *name, std::size_t len, std::size_t units,
		   bool excluded, bool followed)
{
	DIR *dir = enterFolder(parent, name, len, excluded, followed);
	if (dir == nullptr)
		return false;
	const char *sep = separatorAfter(joined, len);
	std::size_t seplen = std::strlen(sep);

	// The folder's path, where an entry takes it into another form.
	std::string saved;
	struct dirent *ent;
	// errno tells a read error from the end of the folder.
	while ((errno = 0, ent = readdir(dir)) != nullptr) {
		if (++sinceProgress == 256) {
			sinceProgress = 0;
			showProgress(mediaList.paths.size());
		}
		const char *name = ent->d_name;
		if (isDotOrDotDot(name))
			continue;
		// An entry left out for its name is left out silently, whatever
		// else would have been said of it.
		bool skip = excluded || isExcludedEntry(dir, name);
		// A name in another form than the folder's path takes the path
		// into that form, for this entry and all below it.
		std::size_t base = conformPath(dir, joined, len, &saved);
		std::size_t namelen = std::strlen(name);
		std::size_t sublen = base + seplen + namelen;
		std::size_t subunits = units + seplen + nameLength(dir, namelen);
		const char *unlisted = unlistedReason(dir);
		if (unlisted == nullptr && holdsLineBreak(name))
			unlisted = LINE_BREAK_REASON;
		else if (unlisted == nullptr && subunits > JOINED_PATH_LENGTH_MAX)
			unlisted = TOO_LONG_REASON;
		if (unlisted != nullptr) {
			if (!skip)
				reportEntry(base, sep, name, unlisted);
		} else {
			std::memcpy(joined + base, sep, seplen);
			std::strcpy(joined + base + seplen, name);
			EntryKind kind = kindOf(dir, ent);
			if (kind == FILE_ENTRY) {
				if (!skip)
					appendMedia(joined, sublen);
			} else {
				scanDirectory(dir, name, sublen, subunits, skip, kind == FOLLOWED_FOLDER);
			}
		}
		if (base != len)
			saved.copy(joined, len);
		joined[len] = '\0';
	}
	// What was read is kept; the rest of the folder is lost, and said so.
	if (errno != 0)
		reportPath(joined, len, std::strerror(errno));
	levels.pop_back();
	closedir(dir);
	return true;
}

} // namespace

bool scanFolder(const char *path, bool isCurrent)
{
	std::size_t len = std::strlen(path);
	if (holdsLineBreak(path)) {
		reportPath(path, len, LINE_BREAK_REASON);
		return false;
	}
	if (len > JOINED_PATH_LENGTH_MAX) {
		reportPath(path, len, TOO_LONG_REASON);
		return false;
	}
	int err = holdScannedFolder(isCurrent && len > 0 ? nullptr : path);
	if (err != 0) {
		errno = err;
		reportOpenFailure();
		return false;
	}
	std::memcpy(joined, path, len + 1);
	bool opened = scanDirectory(nullptr, path, len, len, holdsExcludedText(path), false);
	leaveScannedFolder();
	// What was learnt of the folders is of no use to the write.
	forgetRememberedFolders();
	walked = FolderTable();
	walkedExcluded = FolderTable();
	identifying = LOOPS_WITHOUT_LINKS;
	clearProgress();
	return opened;
}
