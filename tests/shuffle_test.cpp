#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "playlist/shuffle.h"
#include "scan/medialist.h"

namespace {

// Chi-square statistic of observed counts against a uniform expectation.
double chiSquare(const std::vector<long> &counts, double expected)
{
	double sum = 0;
	for (long c : counts)
		sum += (c - expected) * (c - expected) / expected;
	return sum;
}

TEST(DrawBelow, StaysInRangeAndIsUniformForAnOddBound)
{
	std::mt19937 engine(12345);
	const std::uint64_t k = 7;
	const long draws = 700000;
	std::vector<long> counts(k);
	for (long i = 0; i < draws; i++) {
		std::uint64_t v = drawBelow(engine, k);
		ASSERT_LT(v, k);
		counts[v]++;
	}
	// 6 degrees of freedom: 22.46 is the 0.999 quantile.
	EXPECT_LT(chiSquare(counts, double(draws) / k), 22.46);
}

TEST(DrawBelow, TakesOneWordForBoundsUpToTwoToThe32)
{
	std::mt19937 engine(7), twin(7);
	for (std::uint64_t k : {2ull, 3ull, 1000ull, 0xFFFFFFFFull, 0x100000000ull}) {
		std::uint64_t v = drawBelow(engine, k);
		std::uint64_t word = twin();
		EXPECT_LT(v, k);
		// For these bounds only the single top word can be rejected.
		if (word != 0xFFFFFFFFu) {
			EXPECT_EQ(v, word % k) << "k=" << k;
		}
		EXPECT_EQ(engine, twin) << "k=" << k;
	}
	EXPECT_EQ(drawBelow(engine, 1), 0u);
	EXPECT_EQ(engine, twin) << "k=1 must draw nothing";
}

TEST(DrawBelow, UsesTwoWordsAboveTwoToThe32)
{
	std::mt19937 engine(99), twin(99);
	const std::uint64_t k = 0x100000001ull;
	std::uint64_t v = drawBelow(engine, k);
	std::uint64_t hi = twin(), lo = twin();
	EXPECT_EQ(v, ((hi << 32) | lo) % k);
	EXPECT_EQ(engine, twin);
}

void fillMediaList(int n)
{
	clearMediaList();
	for (int i = 0; i < n; i++) {
		std::string s(1, char('a' + i));
		appendMedia(s.data(), s.size());
	}
}

std::string currentOrder()
{
	std::string order;
	for (const char *p : mediaList.paths)
		order += p;
	return order;
}

TEST(ShuffleMediaList, EveryOrderOfFourIsEquallyLikely)
{
	// An off-by-one in the bound skews these counts far beyond the
	// threshold; each run reseeds, as the program does. (The direction of
	// the loop does not show here: the exact-sequence model checks it.)
	const int runs = 240000;
	std::map<std::string, long> seen;
	fillMediaList(4);
	// Refilling would allocate a block per run: restore the order instead.
	const std::vector<const char *> start = mediaList.paths;
	for (int seed = 0; seed < runs; seed++) {
		mediaList.paths = start;
		std::mt19937 engine(seed);
		shuffleMediaList(engine);
		seen[currentOrder()]++;
	}
	ASSERT_EQ(seen.size(), 24u);
	std::vector<long> counts;
	for (const auto &kv : seen) {
		std::string sorted = kv.first;
		std::sort(sorted.begin(), sorted.end());
		EXPECT_EQ(sorted, "abcd");
		counts.push_back(kv.second);
	}
	// 23 degrees of freedom: 49.73 is the 0.999 quantile.
	EXPECT_LT(chiSquare(counts, runs / 24.0), 49.73);
}

TEST(ShuffleMediaList, EmptyAndSingleListsDrawNothing)
{
	std::mt19937 engine(5), twin(5);
	fillMediaList(0);
	shuffleMediaList(engine);
	EXPECT_TRUE(mediaList.paths.empty());
	fillMediaList(1);
	shuffleMediaList(engine);
	EXPECT_EQ(currentOrder(), "a");
	EXPECT_EQ(engine, twin);
}

TEST(MediaList, KeepsEveryPathWholeAcrossBlocks)
{
	clearMediaList();
	std::vector<std::string> want;
	for (int i = 0; i < 3000; i++) {
		std::string s(i % 4000 + 1, char('A' + i % 26));
		want.push_back(s);
		appendMedia(s.data(), s.size());
	}
	ASSERT_GT(mediaList.blocks.size(), 1u);
	ASSERT_EQ(mediaList.paths.size(), want.size());
	for (std::size_t i = 0; i < want.size(); i++)
		ASSERT_EQ(want[i], mediaList.paths[i]) << i;
	clearMediaList();
}

TEST(MediaList, FillsABlockToItsLastByteAndNoFurther)
{
	// 511 paths of 4095 bytes, with their terminators, leave 4096 bytes of
	// a 2 MiB block: a path of 4095 bytes fits there, one of 4096 does not.
	for (std::size_t last : {4095u, 4096u}) {
		clearMediaList();
		std::string a(4095, 'a'), b(last, 'b');
		for (int i = 0; i < 511; i++)
			appendMedia(a.data(), a.size());
		appendMedia(b.data(), b.size());
		appendMedia("c", 1);
		ASSERT_EQ(mediaList.blocks.size(), 2u) << last;
		EXPECT_EQ(mediaList.paths[510], a) << last;
		EXPECT_EQ(mediaList.paths[511], b) << last;
		EXPECT_STREQ(mediaList.paths[512], "c") << last;
		EXPECT_EQ(mediaList.paths[511] == mediaList.blocks[1], last == 4096) << last;
	}
	clearMediaList();
}

} // namespace
