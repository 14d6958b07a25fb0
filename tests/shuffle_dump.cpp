// Prints what drawBelow and shuffleMediaList make of one seed, for the
// separate model in shuffle_model.py to check word for word.
//   shuffle_dump SEED  ->  "draw K VALUE WORDS" lines, then "order I I ..."
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "playlist/shuffle.h"
#include "scan/medialist.h"

namespace {

// How many words the engine gave since it was last equal to before.
int wordsTaken(std::mt19937 before, const std::mt19937 &after)
{
	for (int n = 0; n < 64; n++, before.discard(1))
		if (before == after)
			return n;
	return -1;
}

} // namespace

int main(int argc, char *argv[])
{
	if (argc != 2)
		return 2;
	auto seed = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 0));
	// Bounds where a draw is often rejected (one word, then two), and the
	// first that takes two words.
	for (std::uint64_t k : {(1ull << 31) + 1, (1ull << 63) + 1, (1ull << 32) + 1}) {
		std::mt19937 engine(seed);
		for (int i = 0; i < 8; i++) {
			std::mt19937 before = engine;
			std::uint64_t v = drawBelow(engine, k);
			std::printf("draw %llu %llu %d\n", (unsigned long long)k,
				    (unsigned long long)v, wordsTaken(before, engine));
		}
	}
	for (int i = 0; i < 10; i++) {
		std::string s = std::to_string(i);
		appendMedia(s.c_str(), s.size());
	}
	std::mt19937 engine(seed);
	shuffleMediaList(engine);
	std::printf("order");
	for (const char *p : mediaList.paths)
		std::printf(" %s", p);
	std::printf("\n");
	clearMediaList();
	return 0;
}
