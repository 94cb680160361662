// The subset counts against plain counting over the k-sets, step by step, in
// one thread and in two with small chunks, with every scan kernel the
// processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "greedy/subcount.h"

static std::vector<int> numbers(uint32_t mask) {
  std::vector<int> v;
  for (int i = 0; i < 32; i++)
    if (mask >> i & 1) v.push_back(i + 1);
  return v;
}

// How the engine learns of covered k-sets: one by one (subcount_remove),
// or from the cover with an nk-table to compact (subcount_cover), the table
// read row by row or its covered rows told by the walk (whole_table), in
// one thread or handed to a second one that moves the rows a few at a time.
enum learn { by_kset, by_cover, by_walk, by_walk_beside };

// Runs a greedy choice after choice on both sides until all is covered.
// narrow > 0 lowers the counters a kernel adds in their own width to at
// most that many.
static void follow(int n, int k, int x, int t, int threads, int chunk_rows, int kernel, learn how,
                   int narrow = 0) {
  bool by_table = how != by_kset;
  SCOPED_TRACE(testing::Message() << "L(" << n << "," << k << "," << x << "," << t << ") threads "
                                  << threads << " kernel " << subcount_kernel_name(kernel)
                                  << (how == by_kset    ? " by k-set"
                                      : how == by_cover ? " by cover"
                                      : how == by_walk  ? " by walk"
                                                        : " by walk beside")
                                  << " narrow " << narrow);
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
  sc.spread_runs = 0;
  // Beside the walk (with two threads or more) except where it tells its
  // rows in one thread; the rows it tells are handed over two at a time.
  sc.beside_rows = how == by_walk ? INT64_MAX : 0;
  sc.whole_table = how == by_walk || how == by_walk_beside;
  sc.hand_rows = 2;
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
      } else if (!by_table) {
        std::vector<unsigned char> bytes(v.begin(), v.end());
        subcount_remove(sc, bytes.data());
      }
    }
    if (by_table) {
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
    follow(9, 3, 3, 2, 1, 1, v, by_kset);
    follow(9, 3, 3, 2, 2, 1, v, by_walk);
    follow(10, 4, 5, 2, 2, 7, v, by_cover);
    follow(11, 5, 4, 3, 2, 20, v, by_kset);
    follow(11, 5, 4, 3, 1, 20, v, by_cover);  // k > x: the table finds the k-sets
    follow(10, 6, 3, 1, 2, 3, v, by_walk);
    follow(12, 4, 4, 4, 2, 30, v, by_walk_beside);
    follow(8, 2, 1, 1, 1, 1, v, by_walk);
    follow(10, 3, 6, 3, 2, 5, v, by_kset);
    follow(10, 3, 6, 3, 3, 5, v, by_walk);
    // Byte counters of up to 120 (level 3), 16-bit ones of up to 330
    // (level 2): sums of ten and of five that the kernels add two and
    // three at a time in the counters' width before widening.
    follow(13, 6, 6, 2, 2, 100, v, by_walk_beside);
    follow(11, 9, 9, 5, 2, 100, v, by_walk_beside);  // the walk for any k
    follow(13, 6, 6, 2, 1, 100, v, by_kset, 3);
  }
  EXPECT_GE(kernels, 1);
}

static int64_t choose(int a, int b) {
  int64_t c = 1;
  for (int i = 0; i < b; i++) c = c * (a - i) / (i + 1);
  return c;
}

// The x-set of row `row` (from 1) of the lexicographic list of x-sets of 1..n.
static std::vector<int> row_set(int n, int x, int row) {
  std::vector<int> set;
  for (int i = 0, c = 1; i < x; i++, c++) {
    while (row > choose(n - c, x - i - 1)) row -= (int)choose(n - c, x - i - 1), c++;
    set.push_back(c);
  }
  return set;
}

// Pools wider than a machine word: the walk reads the uncovered k-sets
// below a prefix 56 bits at a time. Covers chosen by the engine leave the
// counts, and every x-set from a few small numbers is counted by hand.
static void wide_pool(int n, int x, int t) {
  SCOPED_TRACE(testing::Message() << "L(" << n << ",2," << x << "," << t << ")");
  std::vector<std::array<int, 2>> open;
  for (int a = 1; a <= n; a++)
    for (int b = a + 1; b <= n; b++) open.push_back({a, b});
  subcount sc;
  subcount_init(sc, n, 2, x, t, (int)open.size());
  sc.threads = 1;
  sc.whole_table = true;
  std::vector<int> bound(choose(n, x) + 1, (int)open.size());
  for (int step = 0; step < 3; step++) {
    int row = 0;
    int got = subcount_best(sc, bound.data(), (int)bound.size() - 1, &row, [](int) {});
    ASSERT_GT(got, 0);
    std::vector<int> xs = row_set(n, x, row);
    std::vector<unsigned char> table(3);
    std::vector<std::array<int, 2>> left;
    for (auto &k : open) {
      table.insert(table.end(), {0, (unsigned char)k[0], (unsigned char)k[1]});
      int shared =
          (int)std::count(xs.begin(), xs.end(), k[0]) + (int)std::count(xs.begin(), xs.end(), k[1]);
      if (shared < t) left.push_back(k);
    }
    ASSERT_EQ(subcount_cover(sc, xs.data(), table.data(), 3, (int)open.size()),
              (int)(open.size() - left.size()));
    ASSERT_EQ(got, (int)(open.size() - left.size()));
    open = left;
    // Every x-set whose first number is 1, 2 or 3.
    std::vector<int> set(x);
    for (int f = 1; f <= 3; f++) {
      set[0] = f;
      for (int i = 1; i < x; i++) set[i] = f + i;
      while (true) {
        int want = 0;
        for (auto &k : open)
          want += (int)std::count(set.begin(), set.end(), k[0]) +
                      (int)std::count(set.begin(), set.end(), k[1]) >=
                  t;
        ASSERT_EQ(subcount_count(sc, set.data()), want);
        int i = x - 1;
        while (i >= 1 && set[i] == n - (x - 1 - i)) i--;
        if (i < 1) break;
        set[i]++;
        for (int j = i + 1; j < x; j++) set[j] = set[j - 1] + 1;
      }
    }
  }
}

TEST(Subcount, PoolsWiderThanAWord) {
  wide_pool(70, 2, 1);  // a chosen number starts the uncovered pairs it meets
  wide_pool(70, 3, 2);  // both numbers from the cover
}
