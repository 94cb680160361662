// The subset counts against plain counting over the k-sets, step by step, in
// one thread and in two with small chunks, with every scan kernel the
// processor runs.
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

// Runs a greedy choice after choice on both sides until all is covered. The
// engine learns of covered k-sets one by one (subcount_remove), or from the
// cover with an nk-table to compact (subcount_cover). narrow > 0 lowers the
// counters a kernel adds in their own width to at most that many.
static void follow(int n, int k, int x, int t, int threads, int chunk_rows, int kernel,
                   bool by_cover, int narrow = 0) {
  SCOPED_TRACE(testing::Message() << "L(" << n << "," << k << "," << x << "," << t << ") threads "
                                  << threads << " kernel " << subcount_kernel_name(kernel)
                                  << (by_cover ? " by cover" : " by k-set") << " narrow "
                                  << narrow);
  std::vector<uint32_t> open, covers;
  for (uint32_t m = 0; m < (1u << n); m++) {
    if (std::popcount(m) == k) open.push_back(m);
    if (std::popcount(m) == x) covers.push_back(m);  // rows in lexicographic order...
  }
  auto lex = [](uint32_t a, uint32_t b) { return numbers(a) < numbers(b); };
  std::sort(covers.begin(), covers.end(), lex);  // ...by their numbers
  std::sort(open.begin(), open.end(), lex);
  subcount sc;
  subcount_init(sc, n, k, x, t, (int)open.size());
  subcount_chunks(sc, chunk_rows);
  sc.threads = threads;
  sc.kernel = kernel;
  sc.beside_rows = sc.spread_runs = 0;
  for (sublevel &lv : sc.level)
    if (narrow > 0) lv.narrow = std::min(lv.narrow, narrow);
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
    std::vector<unsigned char> table(k + 1);  // row 0 unused
    for (uint32_t s : open) {
      std::vector<int> v = numbers(s);
      table.push_back(0);
      table.insert(table.end(), v.begin(), v.end());
      if (std::popcount(s & covers[row - 1]) < t) {
        left.push_back(s);
      } else if (!by_cover) {
        std::vector<unsigned char> bytes(v.begin(), v.end());
        subcount_remove(sc, bytes.data());
      }
    }
    if (by_cover) {
      ASSERT_EQ(subcount_cover(sc, xs.data(), table.data(), k + 1, (int)open.size()),
                (int)(open.size() - left.size()));
      for (size_t r = 0; r < left.size(); r++) {
        std::vector<int> v = numbers(left[r]);
        ASSERT_TRUE(std::equal(v.begin(), v.end(), table.begin() + (k + 1) * (r + 1) + 1));
      }
    }
    open = left;
  }
}

TEST(Subcount, FollowsPlainCountingEveryStep) {
  int kernels = 0;
  for (int v = 0; v < subkernels; v++) {
    if (!subcount_supports(v)) continue;
    kernels++;
    follow(9, 3, 3, 2, 1, 1, v, false);
    follow(9, 3, 3, 2, 2, 1, v, true);
    follow(10, 4, 5, 2, 2, 7, v, true);
    follow(11, 5, 4, 3, 2, 20, v, false);
    follow(11, 5, 4, 3, 1, 20, v, true);  // k > x: the table finds the k-sets
    follow(10, 6, 3, 1, 2, 3, v, true);
    follow(12, 4, 4, 4, 2, 30, v, true);
    follow(8, 2, 1, 1, 1, 1, v, true);
    follow(10, 3, 6, 3, 2, 5, v, false);
    follow(10, 3, 6, 3, 3, 5, v, true);
    // Byte counters of up to 120 (level 3), 16-bit ones of up to 330
    // (level 2): sums of ten and of five that the kernels add two and
    // three at a time in the counters' width before widening.
    follow(13, 6, 6, 2, 2, 100, v, true);
    follow(13, 6, 6, 2, 1, 100, v, false, 3);
  }
  EXPECT_GE(kernels, 1);
}
