#include "scan/medialist.h"

#include <cstring>
#include <new>

#include "platform/host.h"

MediaList mediaList;

namespace {

// Blocks are aligned to and sized as a large page: a big library then
// costs a few hundred page faults instead of thousands.
const std::size_t BLOCK_SIZE = 2 << 20;
const std::align_val_t BLOCK_ALIGN{BLOCK_SIZE};

} // namespace

void appendMedia(const char *path, std::size_t len)
{
	if (len + 1 > mediaList.room) {
		std::size_t size = len + 1 > BLOCK_SIZE ? len + 1 : BLOCK_SIZE;
		mediaList.free = static_cast<char *>(operator new[](size, BLOCK_ALIGN));
		adviseLargePages(mediaList.free, size);
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
		operator delete[](block, BLOCK_ALIGN);
	mediaList.blocks.clear();
	mediaList.paths.clear();
	mediaList.free = nullptr;
	mediaList.room = 0;
}
