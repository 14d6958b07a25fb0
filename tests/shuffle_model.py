"""The exact draws and order of the shuffle, against a model written apart.

MT19937 with its standard seeding, the rejection draw and the forward
Fisher-Yates shuffle, each from their definitions; shuffle_dump prints what
the program's own code makes of the same seeds.
"""
import os
import shlex
import subprocess
import unittest

DUMP = os.environ.get("SHUFFLE_DUMP", "")
# What runs it on a cross build (an emulator), if anything.
WRAPPER = shlex.split(os.environ.get("TONVELO_WRAPPER", ""))
SEEDS = [0, 1, 5489, 20261207, 0xFFFFFFFF]
M32 = 0xFFFFFFFF


def mt19937(seed):
    """Yields the engine's 32-bit words."""
    mt = [seed & M32]
    for i in range(1, 624):
        mt.append((1812433253 * (mt[-1] ^ (mt[-1] >> 30)) + i) & M32)
    while True:
        for i in range(624):
            y = (mt[i] & 0x80000000) | (mt[(i + 1) % 624] & 0x7FFFFFFF)
            mt[i] = mt[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
        for y in mt:
            y ^= y >> 11
            y ^= (y << 7) & 0x9D2C5680
            y ^= (y << 15) & 0xEFC60000
            yield y ^ (y >> 18)


def draw_below(words, k):
    """(value, words taken): whole words until the range covers k, and a
    fresh start whenever r falls in the incomplete last stripe."""
    taken = 0
    while True:
        r = m = 0
        while m < k - 1:
            r = (r << 32) | next(words)
            m = (m << 32) | M32
            taken += 1
        if r // k < m // k or m % k == k - 1:
            return r % k, taken


def shuffle(words, items):
    for t in range(1, len(items)):
        j, _ = draw_below(words, t + 1)
        if j != t:
            items[t], items[j] = items[j], items[t]
    return items


def model(seed):
    lines = []
    for k in ((1 << 31) + 1, (1 << 63) + 1, (1 << 32) + 1):
        words = mt19937(seed)
        for _ in range(8):
            v, n = draw_below(words, k)
            lines.append("draw %d %d %d" % (k, v, n))
    lines.append("order " + " ".join(shuffle(mt19937(seed), [str(i) for i in range(10)])))
    return lines


class ExactSequence(unittest.TestCase):
    def test_model_knows_the_engine(self):
        # The 10000th word for the default seed, as the C++ standard gives it.
        words = mt19937(5489)
        for _ in range(9999):
            next(words)
        self.assertEqual(next(words), 4123659995)

    @unittest.skipUnless(DUMP, "no shuffle_dump given")
    def test_draws_and_order_match_the_model(self):
        rejected = 0
        for seed in SEEDS:
            out = subprocess.run(WRAPPER + [DUMP, str(seed)], capture_output=True, check=True,
                                 timeout=60).stdout.decode().splitlines()
            want = model(seed)
            self.assertEqual(out, want, "seed %d" % seed)
            for line in want[:-1]:
                _, k, _, n = line.split()
                rejected += int(n) > (1 if int(k) <= 1 << 32 else 2)
        self.assertGreater(rejected, 10, "the bounds must make the draw reject")


if __name__ == "__main__":
    unittest.main()
