#include "playlist/replace.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>

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
	char temp[TEMP_NAME_SIZE]; // the temporary name, once there is one
};
Replacement current;
// Set while current.temp names a file of ours: an interrupt removes it.
std::atomic<bool> tempNamed;

void drawTempName(std::random_device &source)
{
	std::snprintf(current.temp, sizeof current.temp, "%s%08x", TEMP_PREFIX,
		      static_cast<unsigned>(source()));
}

void removeTemp()
{
	tempNamed = false;
	int err = removeName(&current.place, current.temp);
	if (err != 0 && err != ENOENT) {
		std::string path = std::string(shownFolder(&current.place)) + current.temp;
		reportPath(path.c_str(), std::strerror(err));
	}
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
	std::random_device source;
	for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
		drawTempName(source);
		int err = 0;
		if (fp != nullptr)
			err = nameFile(&current.place, fp, current.temp);
		else if ((*fd = openNamed(&current.place, current.temp)) < 0)
			err = errno;
		if (err != EEXIST) {
			tempNamed = err == 0;
			return err;
		}
	}
	return EEXIST;
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

std::FILE *openReplacement()
{
	if (current.place.kind == PLACE_SPECIAL) {
		current.way = WRITE_IN_PLACE;
		return streamOf(openInPlace(&current.place));
	}
	current.way = WRITE_UNNAMED;
	std::FILE *fp = streamOf(openUnnamed(&current.place));
	if (fp != nullptr)
		return fp;
	current.way = WRITE_TEMP_NAME;
	fp = openTemp();
	// No new file can be made beside an old one the user may write, in a
	// folder he may not: it is written over, as a truncating open would.
	// Never for want of room, which would cost the old playlist.
	if (fp == nullptr && current.place.kind == PLACE_FILE && (errno == EACCES || errno == EPERM)) {
		current.way = WRITE_IN_PLACE;
		fp = streamOf(openInPlace(&current.place));
	}
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

// True for the same byte, or the same ASCII letter in the other case.
bool isSameLetter(char a, char b)
{
	char lower = static_cast<char>(b | 0x20);
	return a == b || (lower >= 'a' && lower <= 'z' && (a | 0x20) == lower);
}

} // namespace

std::FILE *createReplacement(HeldFolder folder, const char *shown, const char *name,
			     Refusal *refusal)
{
	*refusal = Refusal();
	current.fp = nullptr;
	current.way = WRITE_IN_PLACE;
	tempNamed = false;
	int err = findPlace(folder, shown, name, &current.place, refusal);
	std::FILE *fp = err == 0 ? openReplacement() : nullptr;
	if (fp == nullptr) {
		err = err != 0 ? err : errno;
		leavePlace(&current.place);
		errno = err;
	}
	current.fp = fp;
	return fp;
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
	if (err == 0 && renaming)
		err = renameIntoPlace(&current.place, current.temp);
	if (err != 0 && tempNamed)
		removeTemp();
	// A first playlist that could not be closed whole is taken back.
	if (err != 0 && named)
		removeName(&current.place, nullptr);
	tempNamed = false;
	leavePlace(&current.place);
	return err;
}

void discardReplacement()
{
	if (current.fp == nullptr)
		return;
	std::fclose(current.fp);
	current.fp = nullptr;
	if (tempNamed)
		removeTemp();
	leavePlace(&current.place);
}

void removeReplacementNow()
{
	if (tempNamed)
		removeNameNow(&current.place, current.temp);
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
