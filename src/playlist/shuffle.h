#ifndef TONVELO_SHUFFLE_H
#define TONVELO_SHUFFLE_H

#include <cstdint>
#include <random>

// A uniformly drawn number in [0, k-1]; k must be at least 1.
std::uint64_t drawBelow(std::mt19937 &engine, std::uint64_t k);

// Puts the media list into a uniformly random order (forward Fisher-Yates).
void shuffleMediaList(std::mt19937 &engine);

#endif
