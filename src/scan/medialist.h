// The process-wide list of collected paths.
#ifndef TONVELO_MEDIALIST_H
#define TONVELO_MEDIALIST_H

#include <cstddef>
#include <vector>

// Paths are packed into large blocks that never move, so that a library of
// a million files costs little more than its playlist's bytes; paths holds
// one pointer per entry, in the order collected (later: shuffled).
struct MediaList {
	std::vector<char *> blocks;  // each BLOCK_SIZE bytes or one long path
	char *free = nullptr;     // next unused byte of the last block
	std::size_t room = 0;     // unused bytes left there
	std::vector<const char *> paths; // each NUL-terminated
};

extern MediaList mediaList;

// Appends a copy of the first len bytes of path.
void appendMedia(const char *path, std::size_t len);
void clearMediaList();

#endif
