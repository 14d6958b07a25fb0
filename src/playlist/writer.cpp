#include "playlist/writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "playlist/shuffle.h"
#include "scan/medialist.h"
#include "util/host.h"
#include "util/report.h"

namespace {

const char PLAYLIST_NAME[] = "playlist.m3u";
const char HEADER[] = "#EXTM3U\n#created with Tonvelo 0.1 by Brennovald\n";

std::string firstChoice(const char *folder)
{
	if (!isAbsolutePath(folder))
		return PLAYLIST_NAME;
	return std::string(folder) + separatorAfter(folder, std::strlen(folder)) + PLAYLIST_NAME;
}

// Creates a fresh temporary file beside target; a leftover of an earlier
// run that was killed is stepped over, not reused.
std::FILE *createTemp(const std::string &target, std::string &tmp)
{
	for (int n = 0; n < 100; n++) {
		tmp = target + ".tmp" + std::to_string(n);
		std::FILE *fp = createNewFile(tmp.c_str());
		if (fp != nullptr || errno != EEXIST)
			return fp;
	}
	return nullptr;
}

// Writes header and entries; returns 0 or the errno of the first failure.
int writeEntries(std::FILE *fp, const char *prefix)
{
	// Lines are gathered into large chunks: one stdio call per line
	// costs more than the rest of the run on a big library.
	std::vector<char> chunk;
	chunk.reserve(1 << 20);
	chunk.insert(chunk.end(), HEADER, HEADER + sizeof HEADER - 1);
	std::size_t prefixlen = std::strlen(prefix);
	for (const char *path : mediaList.paths) {
		std::size_t len = std::strlen(path);
		chunk.insert(chunk.end(), prefix, prefix + prefixlen);
		chunk.insert(chunk.end(), path, path + len);
		chunk.push_back('\n');
		if (chunk.size() >= (1 << 20) - 8192) {
			if (std::fwrite(chunk.data(), 1, chunk.size(), fp) != chunk.size())
				return errno ? errno : EIO;
			chunk.clear();
		}
	}
	if (std::fwrite(chunk.data(), 1, chunk.size(), fp) != chunk.size() ||
	    std::fflush(fp) != 0)
		return errno ? errno : EIO;
	return 0;
}

} // namespace

bool writePlaylist(const char *folder)
{
	std::string target = firstChoice(folder);
	std::string tmp;
	std::FILE *fp = createTemp(target, tmp);
	if (fp == nullptr && target != PLAYLIST_NAME) {
		target = PLAYLIST_NAME;
		fp = createTemp(target, tmp);
	}
	if (fp == nullptr) {
		reportPath(target.c_str(), std::strerror(errno));
		return false;
	}

	std::random_device source;
	std::mt19937 engine(source());
	shuffleMediaList(engine);

	// A relative entry starting with "#" would read as a comment.
	const char *prefix = folder[0] == '#' ? "./" : "";
	errno = 0;
	int err = writeEntries(fp, prefix);
	if (std::fclose(fp) != 0 && err == 0)
		err = errno ? errno : EIO;
	if (err == 0 && replaceFile(tmp.c_str(), target.c_str()) != 0)
		err = errno;
	if (err != 0) {
		std::remove(tmp.c_str());
		reportPath(target.c_str(), std::strerror(err));
		return false;
	}
	return true;
}
