#include "playlist/replace.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "playlist/interrupt.h"
#include "playlist/place.h"
#include "report/report.h"

namespace {

// Temporary names are ".m3u" and eight hex digits: as long as
// "playlist.m3u", so they fit wherever the playlist fits, and holding
// ".m3u", so that no run lists a leftover. They are drawn from the
// system's random source, so that nobody can take them ahead.
const char TEMP_PREFIX[] = ".m3u";
const int TEMP_TRIES = 100;
enum { TEMP_NAME_SIZE = 16 };

enum WriteWay {
	WRITE_UNNAMED,   // a file without a name until it is whole (O_TMPFILE)
	WRITE_TEMP_NAME, // a file with a temporary name beside the old one
	WRITE_IN_PLACE   // the file at the place itself
};

struct Replacement {
	std::FILE *fp;
	WriteWay way;
	Place place;
	char temp[TEMP_NAME_SIZE];  // the new file's temporary name, once there is one
	char aside[TEMP_NAME_SIZE]; // the old file's, where it has to make room
	int kept;                   // written in place: the file, open apart from fp
	std::vector<char> old;      // and its old bytes, to put back
};
Replacement current;

// How far the replacement has come, for an interrupt to undo. Each
// change to the files and the note of the stage it leads to are made
// while interrupts are held: no interrupt comes between them.
enum Stage {
	STAGE_NONE,     // no file of ours has a temporary name
	STAGE_TEMP,     // the new file has one: an interrupt removes it
	STAGE_ASIDE,    // and the old one is moved aside: an interrupt puts it
	                // back first
	STAGE_SWAPPED,  // the new file is in place, the old one aside: an
	                // interrupt removes the old one
	STAGE_IN_PLACE  // the old file is being written over, interrupts held
	                // until it is whole again: running out of memory
	                // meanwhile puts its old bytes back
};
std::atomic<int> stage;

// Makes one change to the files, change returning 0 or an errno, and
// notes the stage it leads to: done, or failed where it fails.
template <typename Change> int takeStep(Change change, Stage done, Stage failed)
{
	holdInterrupts();
	int err = change();
	stage = err == 0 ? done : failed;
	releaseInterrupts();
	return err;
}

// Draws temporary names into name until take, handed one, finds it free:
// any answer but EEXIST, which is returned.
template <typename Take> int drawFreeName(char *name, Take take)
{
	std::random_device source;
	for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
		std::snprintf(name, TEMP_NAME_SIZE, "%s%08x", TEMP_PREFIX,
			      static_cast<unsigned>(source()));
		int err = take(name);
		if (err != EEXIST)
			return err;
	}
	return EEXIST;
}

// Reports name, in the place's folder, with the reason err.
void reportName(const char *name, int err)
{
	std::string path = current.place.shown + name;
	reportPath(path.c_str(), std::strerror(err));
}

void removeTemp()
{
	int err = takeStep([] { return removeName(&current.place, current.temp); }, STAGE_NONE,
			   STAGE_NONE);
	if (err != 0 && err != ENOENT)
		reportName(current.temp, err);
}

// The new file's descriptor as a stream; nullptr, the descriptor closed,
// when there is none or no stream can be had.
std::FILE *streamOf(int fd)
{
	std::FILE *fp = fd >= 0 ? fdopen(fd, "w") : nullptr;
	if (fp == nullptr && fd >= 0) {
		int err = errno;
		close(fd);
		errno = err;
	}
	return fp;
}

// Gives the new file a temporary name: links the whole unnamed file fp to
// it, or, when fp is null, creates a file by it, open in *fd. A name taken
// is drawn again. Returns 0 or an errno.
int takeTempName(std::FILE *fp, int *fd)
{
	return drawFreeName(current.temp, [fp, fd](const char *name) {
		return takeStep([fp, fd, name] {
			if (fp != nullptr)
				return nameFile(&current.place, fp, name);
			*fd = openNamed(&current.place, name);
			return *fd < 0 ? errno : 0;
		}, STAGE_TEMP, STAGE_NONE);
	});
}

// A new file with a temporary name.
std::FILE *openTemp()
{
	int fd;
	int err = takeTempName(nullptr, &fd);
	std::FILE *fp = err == 0 ? streamOf(fd) : nullptr;
	if (err == 0 && fp == nullptr) {
		err = errno;
		removeTemp();
	}
	if (fp == nullptr)
		errno = err;
	return fp;
}

// The file at the place itself. An old file's bytes are kept, to be
// put back should the write fail, and interrupts are held until it is
// whole again: it is never left half written.
std::FILE *openInPlaceKept()
{
	current.way = WRITE_IN_PLACE;
	if (current.place.kind != PLACE_FILE)
		return streamOf(openInPlace(&current.place, nullptr));
	holdInterrupts();
	std::FILE *fp = streamOf(openInPlace(&current.place, &current.old));
	current.kept = fp != nullptr ? dup(fileno(fp)) : -1;
	if (current.kept < 0) {
		int err = errno;
		if (fp != nullptr)
			std::fclose(fp);
		releaseInterrupts();
		errno = err;
		return nullptr;
	}
	stage = STAGE_IN_PLACE;
	return fp;
}

// Ends a write in place: cuts the file where the new text ends, or, after
// err, puts the old bytes back. Releases the hold. Returns 0 or an errno.
int endInPlace(int err)
{
	if (err == 0)
		err = cutAtEnd(current.kept);
	int back = err == 0 ? 0
		 : putBackInHandler(current.kept, current.old.data(), current.old.size());
	stage = STAGE_NONE;
	close(current.kept);
	current.kept = -1;
	releaseInterrupts();
	std::vector<char>().swap(current.old);
	// Where it could not, the user is told that it is gone.
	if (back != 0)
		reportName(listedName(&current.place), back);
	return err;
}

std::FILE *openReplacement()
{
	if (current.place.kind == PLACE_SPECIAL)
		return openInPlaceKept();
	current.way = WRITE_UNNAMED;
	std::FILE *fp = streamOf(openUnnamed(&current.place));
	if (fp != nullptr)
		return fp;
	current.way = WRITE_TEMP_NAME;
	fp = openTemp();
	// No new file can be made beside an old one the user may write, in a
	// folder he may not: it is written over, as a truncating open would.
	// Never for want of room, which would cost the old playlist.
	if (fp == nullptr && current.place.kind == PLACE_FILE && (errno == EACCES || errno == EPERM))
		fp = openInPlaceKept();
	return fp;
}

// Names the whole unnamed file: with no old file it takes its final name
// at once, so that nothing is left behind whenever the run is killed.
// Returns 0 or an errno; *renaming tells whether it has a temporary name.
int nameUnnamed(std::FILE *fp, bool *renaming)
{
	*renaming = false;
	if (current.place.kind == PLACE_EMPTY) {
		int err = nameFile(&current.place, fp, nullptr);
		// Another file has come meanwhile: it is replaced like an old one.
		if (err != EEXIST)
			return err;
	}
	// Else it is renamed over the old file like a named one.
	*renaming = true;
	return takeTempName(fp, nullptr);
}

// Puts the whole new file, by its temporary name, in place where the file
// system will not rename it over the old one (FAT through FUSE: EEXIST):
// the old one is moved aside under a temporary name of its own, the new
// one renamed into its place, and the old one removed. Where the new one
// cannot go there, the old one goes back. Returns 0 or an errno.
int replaceAside()
{
	int err = drawFreeName(current.aside, [](const char *name) {
		return takeStep([name] { return moveAside(&current.place, name); }, STAGE_ASIDE,
				STAGE_TEMP);
	});
	if (err != 0)
		return err;
	err = takeStep([] { return renameIntoPlace(&current.place, current.temp); }, STAGE_SWAPPED,
		       STAGE_ASIDE);
	if (err != 0) {
		int back = takeStep([] { return renameIntoPlace(&current.place, current.aside); },
				    STAGE_TEMP, STAGE_TEMP);
		// Where it cannot go back, the user is told where it is.
		if (back != 0)
			reportName(current.aside, back);
		return err;
	}
	int gone = takeStep([] { return removeName(&current.place, current.aside); }, STAGE_NONE,
			    STAGE_NONE);
	if (gone != 0 && gone != ENOENT)
		reportName(current.aside, gone);
	return 0;
}

// True for the same byte, or the same ASCII letter in the other case.
bool isSameLetter(char a, char b)
{
	char lower = static_cast<char>(b | 0x20);
	return a == b || (lower >= 'a' && lower <= 'z' && (a | 0x20) == lower);
}

} // namespace

std::FILE *createReplacement(HeldFolder folder, const char *shown, const char *name)
{
	current.fp = nullptr;
	current.way = WRITE_IN_PLACE;
	current.kept = -1;
	stage = STAGE_NONE;
	int err = findPlace(folder, shown, name, &current.place);
	std::FILE *fp = err == 0 ? openReplacement() : nullptr;
	if (fp == nullptr) {
		err = err != 0 ? err : errno;
		leavePlace(&current.place);
		errno = err;
	}
	current.fp = fp;
	return fp;
}

const Refusal &lastRefusal()
{
	return current.place.refusal;
}

int commitReplacement()
{
	std::FILE *fp = current.fp;
	current.fp = nullptr;
	int err = 0;
	bool renaming = current.way == WRITE_TEMP_NAME;
	bool named = false;
	if (current.way != WRITE_IN_PLACE)
		setAttributes(&current.place, fp);
	if (current.way == WRITE_UNNAMED) {
		err = nameUnnamed(fp, &renaming);
		named = err == 0 && !renaming;
	}
	if (std::fclose(fp) != 0 && err == 0)
		err = errno ? errno : EIO;
	if (current.kept >= 0)
		err = endInPlace(err);
	if (err == 0 && renaming) {
		err = takeStep([] { return renameIntoPlace(&current.place, current.temp); },
			       STAGE_NONE, STAGE_TEMP);
		if (err == EEXIST && current.place.kind == PLACE_FILE)
			err = replaceAside();
	}
	if (err != 0 && stage == STAGE_TEMP)
		removeTemp();
	// A first playlist that could not be closed whole is taken back.
	if (err != 0 && named)
		removeName(&current.place, nullptr);
	stage = STAGE_NONE;
	leavePlace(&current.place);
	return err;
}

void discardReplacement()
{
	if (current.fp == nullptr)
		return;
	std::fclose(current.fp);
	current.fp = nullptr;
	if (current.kept >= 0)
		endInPlace(EIO);
	if (stage == STAGE_TEMP)
		removeTemp();
	leavePlace(&current.place);
}

void removeReplacementInHandler()
{
	// Never released: no change comes after this one.
	holdInterrupts();
	int now = stage;
	if (now == STAGE_IN_PLACE)
		putBackInHandler(current.kept, current.old.data(), current.old.size());
	if (now == STAGE_ASIDE)
		renameIntoPlace(&current.place, current.aside);
	if (now == STAGE_TEMP || now == STAGE_ASIDE)
		removeName(&current.place, current.temp);
	if (now == STAGE_SWAPPED)
		removeName(&current.place, current.aside);
}

bool isReplacedFile(const char *path, std::size_t len)
{
	if (current.fp == nullptr || current.place.kind != PLACE_FILE)
		return false;
	// Only a name that matches, ignoring case, is worth a look at the file.
	const char *name = listedName(&current.place);
	std::size_t n = std::strlen(name);
	if (n == 0 || len <= n || (path[len - n - 1] != '/' && path[len - n - 1] != '\\'))
		return false;
	for (std::size_t i = 0; i < n; i++)
		if (!isSameLetter(path[len - n + i], name[i]))
			return false;
	return isFileAtPlace(&current.place, path);
}
