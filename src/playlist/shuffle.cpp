#include "playlist/shuffle.h"

#include <utility>

#include "scan/medialist.h"

std::uint64_t drawBelow(std::mt19937 &engine, std::uint64_t k)
{
	for (;;) {
		std::uint64_t r = 0, m = 0;
		while (m < k - 1) {
			r = (r << 32) | engine();
			m = (m << 32) | 0xFFFFFFFFu;
		}
		// Reject the incomplete last stripe of [0, m] so that every
		// remainder is equally likely.
		if (r / k < m / k || m % k == k - 1)
			return r % k;
	}
}

void shuffleMediaList(std::mt19937 &engine)
{
	std::vector<const char *> &paths = mediaList.paths;

	for (std::size_t t = 1; t < paths.size(); t++) {
		std::size_t j = drawBelow(engine, t + 1);
		if (j != t)
			std::swap(paths[t], paths[j]);
	}
}
