// Sets past 64 numbers (the build of vorlank-design for pools up to 255):
// colex order, ranks and the shift that places a part's wheel in the pool,
// across the words of a set.
#define VORLANK_WIDE_SETS 1
#include <gtest/gtest.h>

#include "base/masks.h"

using namespace design;

TEST(WideSets, ColexRanksAcrossWords) {
  const Binom &b = binom();
  for (auto [size, n] : {std::pair{1, 255}, {3, 130}, {4, 70}}) {
    uint64_t r = 0;
    for (Set s = low_bits(size); last(s) < n; s = next_set(s), r++) {
      ASSERT_EQ(rank(s), r) << size;
      ASSERT_EQ(unrank(r, size), s) << size;
      ASSERT_EQ(count(s), size);
    }
    EXPECT_EQ(r, b(n, size));
  }
  // Saturated past 2^63, not wrapped: C(255,127) would overflow twice over.
  EXPECT_EQ(b(255, 127), (uint64_t)1 << 63);
  EXPECT_EQ(unrank(0, 64), low_bits(64));
}

TEST(WideSets, ShiftAndNumbers) {
  Set part = bit(0) | bit(2) | bit(63);  // 1 3 64
  EXPECT_EQ(numbers(part << 62), (std::vector<int>{63, 65, 126}));
  EXPECT_EQ(numbers(part << 191), (std::vector<int>{192, 194, 255}));
  // Whole words: no bits carried in from the word below.
  EXPECT_EQ(numbers(part << 64), (std::vector<int>{65, 67, 128}));
  EXPECT_EQ(numbers(part << 128), (std::vector<int>{129, 131, 192}));
  std::vector<Set> out;
  subsets(low_bits(130) & ~low_bits(60), 2, 0, out);  // 70 numbers, 2 at a time
  EXPECT_EQ(out.size(), 70u * 69 / 2);
  EXPECT_TRUE(std::is_sorted(out.rbegin(), out.rend()));  // highest first
}
