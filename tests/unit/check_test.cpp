// The wheel checker's pieces a transcript cannot isolate: the k-set index, the
// counts past a byte, bounds and memory (the walk is checked against brute
// force by tests/scripts/test_check_wheels.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "wheel.h"

using wheel::Cover;
using wheel::Coverage;
using wheel::Params;

// Every m-set of 1..n in lexicographic order.
static std::vector<Cover> all_sets(int n, int m) {
  std::vector<Cover> out;
  Cover s(m);
  for (int i = 0; i < m; i++) s[i] = i + 1;
  for (;;) {
    out.push_back(s);
    int i = m - 1;
    while (i >= 0 && s[i] == n - m + 1 + i) i--;
    if (i < 0) return out;
    s[i]++;
    for (int j = i + 1; j < m; j++) s[j] = s[j - 1] + 1;
  }
}

TEST(CheckIndex, IsThePositionInLexicographicOrder) {
  for (auto [n, k] : {std::pair{6, 1}, {7, 3}, {8, 7}, {9, 4}, {12, 6}}) {
    Coverage cov({n, k, 1, 1}, {});
    std::vector<Cover> sets = all_sets(n, k);
    ASSERT_EQ(sets.size(), wheel::ksets({n, k, 1, 1}));
    for (size_t i = 0; i < sets.size(); i++) {
      ASSERT_EQ(cov.index(sets[i]), i) << n << " " << k;
      ASSERT_EQ(cov.kset(i), sets[i]) << n << " " << k;
    }
  }
}

// More covers on one k-set than a byte holds: the counts must stay exact, or
// 256 copies would read as a hole and the last copy would look redundant.
TEST(CheckCoverage, CountsPastAByte) {
  Params p{7, 3, 3, 2};
  std::vector<Cover> covers(300, Cover{1, 2, 3});
  uint64_t holes = Coverage(p, {covers[0]}).holes();
  covers.resize(256);
  Coverage cov(p, covers);
  EXPECT_EQ(cov.holes(), holes);
  for (size_t i = 0; i < 255; i++) {
    ASSERT_TRUE(cov.redundant(i)) << i;
    cov.drop(i);
  }
  EXPECT_FALSE(cov.redundant(255));
  EXPECT_EQ(cov.holes(), holes);
}

TEST(CheckBounds, CountingAndSchoenheim) {
  EXPECT_EQ(wheel::counting_bound({49, 6, 6, 3}), 54u);  // 13983816 / 260624 = 53.66
  // Every 97-set shares at least 92 numbers with a 95-set; C(95,i) for small i
  // is far beyond 64 bits, but no k-set has only i numbers of the cover.
  EXPECT_EQ(wheel::counting_bound({100, 97, 95, 1}), 1u);
  EXPECT_EQ(wheel::schoenheim_bound({10, 3, 4, 3}), 30u);
}

TEST(CheckMemory, RefusesWhatDoesNotFit) {
  // Two count bytes per 6-set of 1..49 (26.7 MB), and one more for the profile.
  EXPECT_EQ(wheel::memory_refusal({49, 6, 6, 3}, 27), "");
  EXPECT_EQ(wheel::memory_refusal({49, 6, 6, 3}, 40, 1),
            "Error: the check needs 41 MB of memory; this machine has 40 MB available.");
}
