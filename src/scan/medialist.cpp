#include "scan/medialist.h"

#include <cstring>

MediaList mediaList;

const std::size_t BLOCK_SIZE = 1 << 20;

void appendMedia(const char *path, std::size_t len)
{
	if (len + 1 > mediaList.room) {
		std::size_t size = len + 1 > BLOCK_SIZE ? len + 1 : BLOCK_SIZE;
		mediaList.blocks.emplace_back(new char[size]);
		mediaList.free = mediaList.blocks.back().get();
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
	mediaList.blocks.clear();
	mediaList.paths.clear();
	mediaList.free = nullptr;
	mediaList.room = 0;
}
