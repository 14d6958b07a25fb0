#include "scan/medialist.h"

#include <cstring>

MediaList mediaList;

namespace {

// Thousands of paths to a block: few allocations, little lost to each.
const std::size_t BLOCK_SIZE = 2 << 20;

} // namespace

void appendMedia(const char *path, std::size_t len)
{
	if (len + 1 > mediaList.room) {
		std::size_t size = len + 1 > BLOCK_SIZE ? len + 1 : BLOCK_SIZE;
		mediaList.free = new char[size];
		mediaList.blocks.push_back(mediaList.free);
		mediaList.room = size;
	}
	std::memcpy(mediaList.free, path, len);
	mediaList.free[len] = '\0';
	mediaList.paths.push_back(mediaList.free);
	mediaList.free += len + 1;
	mediaList.room -= len + 1;
}

void clearMediaList()
{
	for (char *block : mediaList.blocks)
		delete[] block;
	mediaList.blocks.clear();
	mediaList.paths.clear();
	mediaList.free = nullptr;
	mediaList.room = 0;
}
