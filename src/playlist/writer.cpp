#include "playlist/writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "playlist/shuffle.h"
#include "scan/medialist.h"
#include "platform/host.h"
#include "playlist/replace.h"
#include "report/report.h"

namespace {

const char PLAYLIST_NAME[] = "playlist.m3u";
// TONVELO_VERSION is the project's version, given by the build.
const char HEADER[] = "#EXTM3U\n#created with Tonvelo " TONVELO_VERSION " by Brennovald\n";
const std::size_t CHUNK_SIZE = 1 << 16;

// Where the playlist goes: into the folder scanned when its text is
// absolute, so that its entries open from anywhere; else into the current
// directory, where the relative entries start.
HeldFolder firstChoice(const char *folder, std::string *shown)
{
	if (!isAbsolutePath(folder)) {
		shown->clear();
		return CURRENT_FOLDER;
	}
	*shown = std::string(folder) + separatorAfter(folder, std::strlen(folder));
	return SCANNED_FOLDER;
}

// The playlist in the current directory, as a fallback names it.
std::string currentPlaylist()
{
	std::string here;
	lookUpCurrentDirectory(&here);
	if (!here.empty())
		here += separatorAfter(here.c_str(), here.size());
	return here + PLAYLIST_NAME;
}

// A new playlist to take the place of the one in folder, shown so; else
// nullptr, with *path and *why telling what was refused or failed.
std::FILE *openPlaylist(HeldFolder folder, const std::string &shown, std::string *path,
			std::string *why)
{
	std::FILE *fp = createReplacement(folder, shown.c_str(), PLAYLIST_NAME);
	const Refusal &refusal = lastRefusal();
	*path = refusal.reason != nullptr ? refusal.path : shown + PLAYLIST_NAME;
	*why = refusal.reason != nullptr ? refusal.reason : std::strerror(errno);
	return fp;
}

// Players skip a line starting with "#", trim leading blanks and take a
// first component holding ":" for a URL scheme ("http:music/a.ogg"): a
// relative entry starting so is written as "./" and the path.
const char *entryPrefix(const char *folder)
{
	if (isAbsolutePath(folder))
		return "";
	bool scheme = std::memchr(folder, ':', std::strcspn(folder, "/")) != nullptr;
	return folder[0] == '#' || folder[0] == ' ' || folder[0] == '\t' || scheme ? "./" : "";
}

// Writes header and entries; returns 0 or the errno of the first failure.
// chunk holds CHUNK_SIZE bytes.
int writeEntries(std::FILE *fp, std::vector<char> &chunk, const char *prefix)
{
	// Lines are gathered into large chunks: one stdio call per line
	// costs more than the rest of the run on a big library.
	std::size_t used = sizeof HEADER - 1;
	std::memcpy(chunk.data(), HEADER, used);
	std::size_t prefixlen = std::strlen(prefix);
	for (const char *path : mediaList.paths) {
		std::size_t len = std::strlen(path);
		// On a file system that ignores case, an old "PLAYLIST.M3U" is
		// the file being written: a player would loop on it.
		if (isReplacedFile(path, len))
			continue;
		// A joined path is far shorter than a chunk: a line always fits
		// in an empty one.
		if (used + prefixlen + len + 1 > CHUNK_SIZE) {
			if (std::fwrite(chunk.data(), 1, used, fp) != used)
				return errno ? errno : EIO;
			used = 0;
		}
		std::memcpy(&chunk[used], prefix, prefixlen);
		std::memcpy(&chunk[used + prefixlen], path, len);
		used += prefixlen + len;
		chunk[used++] = '\n';
	}
	if (std::fwrite(chunk.data(), 1, used, fp) != used || std::fflush(fp) != 0)
		return errno ? errno : EIO;
	return 0;
}

// Shuffles the media list into the new file fp, prefix before each entry,
// and puts the file in place; returns 0 or the errno of the first failure.
int fillPlaylist(std::FILE *fp, std::vector<char> &chunk, std::random_device &source,
		 const char *prefix)
{
	std::mt19937 engine(source());
	shuffleMediaList(engine);
	errno = 0;
	int err = writeEntries(fp, chunk, prefix);
	if (err != 0) {
		discardReplacement();
		return err;
	}
	return commitReplacement();
}

} // namespace

bool writePlaylist(const char *folder)
{
	// All the memory the write needs is had before a file is made, so
	// that running out of it leaves nothing behind.
	std::vector<char> chunk(CHUNK_SIZE);
	std::random_device source;

	std::string shown, target, why, first, firstWhy;
	HeldFolder place = firstChoice(folder, &shown);
	std::FILE *fp = openPlaylist(place, shown, &target, &why);
	// Where the first place fails, the playlist goes to the current
	// directory instead, and that is said: an old playlist at the first
	// place is left as it was, and so out of date.
	bool fellBack = fp == nullptr && place != CURRENT_FOLDER;
	if (fellBack) {
		first.swap(target);
		firstWhy.swap(why);
		fp = openPlaylist(CURRENT_FOLDER, std::string(), &target, &why);
	}
	int err = fp != nullptr ? fillPlaylist(fp, chunk, source, entryPrefix(folder)) : 0;
	if (err != 0)
		why = std::strerror(err);
	bool written = fp != nullptr && err == 0;
	// The first place is named before what came of the second.
	if (fellBack)
		reportPath(first.c_str(), firstWhy.c_str(), written ? currentPlaylist().c_str() : nullptr);
	if (!written)
		reportPath(target.c_str(), why.c_str());
	return written;
}
