#include "scan/collect.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>
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
const char ON_PATH_REASON[] = "folder already on this path, not entered";
const char TOO_LONG_REASON[] = "File name too long";

// One buffer serves every level: each level appends a separator and a
// name at its end.
char joined[JOINED_PATH_MAX];

// A folder on the current path: who it is where that can be told, and
// whether a link led to it.
struct Level {
	FolderId id;
	bool known;
	bool linked;
};
std::vector<Level> levels;

// A folder walked in this run: whether its files were listed there (not
// all left out, as below "art.jpg/"), and whether a link led to it.
struct Walked {
	bool listed;
	bool linked;
};

bool isSameFolder(const FolderId &a, const FolderId &b)
{
	return a.dev == b.dev && a.ino == b.ino;
}

std::size_t hashFolder(const FolderId &id)
{
	unsigned long long h = (id.ino ^ id.dev * 0x9E3779B97F4A7C15ULL) * 0xBF58476D1CE4E5B9ULL;
	return h ^ h >> 31;
}

// The folders walked, by who they are. Until a link is followed none can
// be passed over: they are only listed, and put in the table then.
std::unordered_map<FolderId, Walked, decltype(&hashFolder), decltype(&isSameFolder)>
	walked(0, hashFolder, isSameFolder);
std::vector<std::pair<FolderId, Walked>> walkedBeforeLinks;

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
bool holdsLineBreak(const char *s, std::size_t len)
{
	return std::memchr(s, '\n', len) != nullptr || std::memchr(s, '\r', len) != nullptr;
}

bool isDotOrDotDot(const char *name)
{
	return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Folders come round again through links and bind mounts: on the current
// path (a loop, said and ended at once), or elsewhere (a library's views
// made of links, each walked once). Each folder entered is identified
// (dev/ino; on Windows its volume and file index). File systems also give
// one identity to distinct folders (unions of drives, numbers reused), so
// a folder walked before is passed over only where a link leads to it,
// now or then.
// Once a link has led to a folder, a folder may be one walked already:
// each is identified before it is opened, so that such a one costs no
// open. Until then it is identified once open, which costs no more.
bool linkFollowed;

// Notes id as walked, where all below it is left out or not, reached
// through a link or not.
void noteWalked(const FolderId &id, bool excluded, bool linked)
{
	if (!linkFollowed) {
		walkedBeforeLinks.push_back({id, {!excluded, false}});
		return;
	}
	Walked &slot = walked[id];
	slot.listed = slot.listed || !excluded;
	slot.linked = slot.linked || linked;
}

// Why the folder id, reached through a link or not, is not to be entered
// where all below it is left out or not: a loop, said with its reason;
// "" for a folder walked already, passed over silently; else nullptr.
const char *whyNotEnter(const FolderId &id, bool excluded, bool linked)
{
	// A loop through a link, or a folder that comes back without one.
	bool throughLink = linked;
	for (std::size_t i = levels.size(); i-- > 0;) {
		if (levels[i].known && isSameFolder(levels[i].id, id))
			return throughLink ? LOOP_REASON : ON_PATH_REASON;
		throughLink = throughLink || levels[i].linked;
	}
	auto slot = walked.find(id);
	bool seen = slot != walked.end() && (linked || slot->second.linked);
	return seen && (slot->second.listed || excluded) ? "" : nullptr;
}

// Says why a folder is not entered, where that is to be said.
bool passOver(const char *why)
{
	if (why != nullptr && why[0] != '\0')
		reportPath(joined, why);
	return why != nullptr;
}

// Reports joined[0..len) + sep + name, a path that is not formed.
void reportEntry(std::size_t len, const char *sep, const char *name, const char *reason)
{
	std::string path(joined, len);
	path += sep;
	path += name;
	reportPath(path.c_str(), reason);
}

// Opens the folder whose path joined holds, the entry name of the folder
// open in parent (the scanned folder when there is none), and puts it on
// the current path, unless it is not to be entered. excluded tells that
// all below it is left out, kind how it was reached, seen who it is where
// following it told that.
FolderStream *enterFolder(FolderStream *parent, const char *name, bool excluded, EntryKind kind,
			  const FolderId *seen)
{
	bool linked = kind == LINKED_FOLDER;
	if (linked && !linkFollowed) {
		linkFollowed = true;
		for (const auto &before : walkedBeforeLinks)
			walked[before.first].listed |= before.second.listed;
		walkedBeforeLinks.clear();
	}
	// Known already: one not to be entered costs no open.
	if (seen != nullptr && passOver(whyNotEnter(*seen, excluded, linked)))
		return nullptr;
	FolderStream *dir = parent != nullptr ? openSubfolder(parent, name) : openScannedFolder();
	if (dir == nullptr) {
		if (errno == ENOMEM)
			dieOutOfMemory();
		reportOpenFailure();
		return nullptr;
	}
	Level level{seen != nullptr ? *seen : FolderId{}, seen != nullptr, linked};
	if (seen == nullptr && (level.known = identifyFolder(dir, &level.id)) &&
	    passOver(whyNotEnter(level.id, excluded, linked))) {
		closeFolder(dir);
		return nullptr;
	}
	if (level.known)
		noteWalked(level.id, excluded, linked);
	levels.push_back(level);
	return dir;
}

// Takes in the entry ent of dir, whose path is the first len bytes of
// joined, of length units; skip tells that it is left out for its name.
void takeEntry(FolderStream *dir, const FolderEntry *ent, std::size_t len, std::size_t units,
	       bool skip);

// Scans the folder named by the first len bytes of joined, of length
// units as JOINED_PATH_LENGTH_MAX counts it; false when it cannot be
// entered. excluded is true when those bytes already hold ".jpg" or
// ".m3u": a match never spans a separator, so the whole joined path holds
// one exactly when the folder or the name does. kind and seen are as
// enterFolder takes them.
bool scanDirectory(FolderStream *parent, const char *name, std::size_t len, std::size_t units,
		   bool excluded, EntryKind kind, const FolderId *seen)
{
	FolderStream *dir = enterFolder(parent, name, excluded, kind, seen);
	if (dir == nullptr)
		return false;
	const char *sep = separatorAfter(joined, len);
	std::size_t seplen = std::strlen(sep);

	// The folder's path, where an entry takes it into another form.
	std::string saved;
	FolderEntry *ent;
	// errno tells a read error from the end of the folder.
	while ((errno = 0, ent = readFolder(dir)) != nullptr) {
		if (++sinceProgress == 256) {
			sinceProgress = 0;
			showProgress(mediaList.paths.size());
		}
		const char *entName = ent->d_name;
		if (isDotOrDotDot(entName))
			continue;
		// An entry left out for its name is left out silently, whatever
		// else would have been said of it. Where another name stands in
		// (a short name), the name it stands for is judged.
		const char *longName = longNameOf(dir);
		bool skip = excluded || holdsExcludedText(longName != nullptr ? longName : entName);
		// A name in another form than the folder's path takes the path
		// into that form, for this entry and all below it.
		std::size_t base = conformPath(dir, joined, len, &saved);
		std::size_t namelen = std::strlen(entName);
		std::size_t subunits = units + seplen + nameLength(dir, namelen);
		const char *unlisted = unlistedReason(dir);
		if (unlisted == nullptr && holdsLineBreak(entName, namelen))
			unlisted = LINE_BREAK_REASON;
		else if (unlisted == nullptr && subunits > JOINED_PATH_LENGTH_MAX)
			unlisted = TOO_LONG_REASON;
		if (unlisted != nullptr) {
			if (!skip)
				reportEntry(base, sep, entName, unlisted);
		} else {
			std::memcpy(joined + base, sep, seplen);
			std::memcpy(joined + base + seplen, entName, namelen + 1);
			takeEntry(dir, ent, base + seplen + namelen, subunits, skip);
		}
		if (base != len)
			saved.copy(joined, len);
		joined[len] = '\0';
	}
	// What was read is kept; the rest of the folder is lost, and said so.
	if (errno != 0)
		reportPath(joined, std::strerror(errno));
	levels.pop_back();
	closeFolder(dir);
	return true;
}

void takeEntry(FolderStream *dir, const FolderEntry *ent, std::size_t len, std::size_t units,
	       bool skip)
{
	// The listing's own type settles plain files and folders; links and
	// entries of other types are followed.
	FolderId id;
	bool known = false;
	EntryKind kind = ent->d_type == DT_REG ? FILE_ENTRY
		       : ent->d_type == DT_DIR && !linkFollowed ? FOLDER
		       : followEntry(dir, ent, &id, &known);
	// A folder as listed that cannot be looked at is said as one that
	// cannot be opened, as it is before any link.
	if (ent->d_type == DT_DIR)
		kind = FOLDER;
	if (kind == FILE_ENTRY) {
		if (!skip)
			appendMedia(joined, len);
	} else if (kind != UNREACHABLE) {
		scanDirectory(dir, ent->d_name, len, units, skip, kind, known ? &id : nullptr);
	} else if (errno == ENOMEM) {
		dieOutOfMemory();
	} else if (!skip) {
		// A link no player could follow either: said, not listed.
		reportPath(joined, errno == ELOOP ? LOOP_REASON : std::strerror(errno));
	}
}

} // namespace

bool scanFolder(const char *path, bool isCurrent)
{
	std::size_t len = std::strlen(path);
	if (holdsLineBreak(path, len)) {
		reportPath(path, LINE_BREAK_REASON);
		return false;
	}
	if (len > JOINED_PATH_LENGTH_MAX) {
		reportPath(path, TOO_LONG_REASON);
		return false;
	}
	int err = holdScannedFolder(isCurrent && len > 0 ? nullptr : path);
	if (err != 0) {
		errno = err;
		reportOpenFailure();
		return false;
	}
	std::memcpy(joined, path, len + 1);
	bool opened = scanDirectory(nullptr, path, len, len, holdsExcludedText(path), FOLDER, nullptr);
	// What was learnt of the folders is of no use to the write.
	walked.clear();
	walkedBeforeLinks.clear();
	walkedBeforeLinks.shrink_to_fit();
	linkFollowed = false;
	clearProgress();
	return opened;
}
