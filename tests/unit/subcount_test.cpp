// The subset counts against plain counting over the k-sets, step by step, in
// one thread and in two with small chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <vector>

#include "subcount.h"

static std::vector<int> numbers(uint32_t mask) {
  std::vector<int> v;
  for (int i = 0; i < 32; i++)
    if (mask >> i & 1) v.push_back(i + 1);
  return v;
}

// Runs a greedy choice after choice on both sides until all is covered.
static void follow(int n, int k, int x, int t, int threads, int chunk_rows) {
  SCOPED_TRACE(testing::Message() << "L(" << n << "," << k << "," << x << "," << t << ") threads "
                                  << threads);
  std::vector<uint32_t> open, covers;
  for (uint32_t m = 0; m < (1u << n); m++) {
    if (std::popcount(m) == k) open.push_back(m);
    if (std::popcount(m) == x) covers.push_back(m);  // rows in lexicographic order...
  }
  std::sort(covers.begin(), covers.end(), [](uint32_t a, uint32_t b) {
    return numbers(a) < numbers(b);  // ...by their numbers
  });
  subcount sc;
  subcount_init(sc, n, k, x, t, (int)open.size());
  subcount_chunks(sc, chunk_rows);
  sc.threads = threads;
  std::vector<int> bound(covers.size() + 1, (int)open.size());
  int reported = 0;
  static int *seen = nullptr;
  seen = &reported;
  while (!open.empty()) {
    std::vector<int> want(covers.size());
    for (size_t r = 0; r < covers.size(); r++)
      for (uint32_t s : open) want[r] += std::popcount(s & covers[r]) >= t;
    int top = *std::max_element(want.begin(), want.end());
    int top_row = (int)(std::find(want.begin(), want.end(), top) - want.begin()) + 1;

    reported = 0;
    int row = 0;
    int got = subcount_best(sc, bound.data(), (int)covers.size(), &row, [](int r) {
      EXPECT_GE(r, *seen);  // progress only moves forward
      *seen = r;
    });
    ASSERT_EQ(got, top);
    ASSERT_EQ(row, top_row);
    ASSERT_EQ(reported, (int)covers.size());
    std::vector<int> xs = numbers(covers[row - 1]);
    ASSERT_EQ(subcount_count(sc, xs.data()), top);
    for (size_t r = 0; r < covers.size(); r++) ASSERT_GE(bound[r + 1], want[r]);

    std::vector<uint32_t> left;
    for (uint32_t s : open) {
      if (std::popcount(s & covers[row - 1]) < t) {
        left.push_back(s);
        continue;
      }
      std::vector<int> v = numbers(s);
      std::vector<unsigned char> bytes(v.begin(), v.end());
      subcount_remove(sc, bytes.data());
    }
    open = left;
  }
}

TEST(Subcount, FollowsPlainCountingEveryStep) {
  follow(9, 3, 3, 2, 1, 1);
  follow(9, 3, 3, 2, 2, 1);
  follow(10, 4, 5, 2, 2, 7);
  follow(11, 5, 4, 3, 2, 20);
  follow(10, 6, 3, 1, 2, 3);
  follow(12, 4, 4, 4, 2, 30);
  follow(8, 2, 1, 1, 1, 1);
  follow(10, 3, 6, 3, 2, 5);
}
