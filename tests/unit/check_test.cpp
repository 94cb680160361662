// The wheel checker's pieces a transcript cannot isolate: the counts past a
// byte, bounds and memory, and where reading a wheel stops (the walk and the
// k-sets it names are checked against brute force by test_check_wheels.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "design/methods/exact.h"
#include "check/wheel.h"

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
  // Past 2^62 the counts do not wrap (once 0 here): C(255,11) k-sets, and one
  // cover leaving 5 numbers out covers them all. Bounds beyond 2^64 saturate
  // below the truth.
  EXPECT_EQ(wheel::counting_bound({255, 11, 250, 1}), 1u);
  EXPECT_EQ(wheel::counting_bound({255, 127, 127, 127}), UINT64_MAX);
  EXPECT_EQ(wheel::schoenheim_bound({255, 100, 100, 100}), UINT64_MAX);
  EXPECT_EQ(wheel::counting_bound({255, 100, 200, 60}), 2u);  // only in floating point
  EXPECT_EQ(wheel::schoenheim_bound({10, 3, 4, 3}), 30u);
  // The stronger bounds on lotto formats (de Caen's Turan bound for 6/49 with
  // 3 matched is the one Fueredi, Szekely and Zubor quote), and which is printed.
  EXPECT_EQ(wheel::turan_bound({49, 6, 6, 3}), 87u);
  EXPECT_EQ(wheel::caro_wei_bound({49, 6, 6, 2}), 16u);
  EXPECT_EQ(wheel::caro_wei_bound({69, 5, 5, 2}), 57u);
  EXPECT_EQ(wheel::caro_wei_bound({90, 5, 5, 2}), 98u);  // 100 is optimal
  EXPECT_STREQ(wheel::best_bound({49, 6, 6, 3}).name, "Turán");
  EXPECT_STREQ(wheel::best_bound({49, 6, 6, 2}).name, "Caro-Wei");
  EXPECT_STREQ(wheel::best_bound({22, 3, 6, 3}).name, "counting");  // first among equals
  EXPECT_EQ(wheel::turan_bound({255, 250, 200, 128}), 0u);           // past 128 bits: none
}

// A bound above an optimum is a fault: every bound against the optimum CBC
// proves for each small instance it can (all x-sets as columns).
TEST(CheckBounds, NeverAboveAProvedOptimum) {
  if (!design::exact_available()) GTEST_SKIP() << "built without CBC";
  int proved = 0;
  const int kNodes = 100;  // a count, not a clock: the same instances prove on any machine
  for (int n = 4; n <= 8; n++)
    for (int k = 2; k < n; k++)
      for (int x = 2; x < n; x++)
        for (int t = 1; t <= std::min(k, x); t++) {
          std::vector<Cover> ks = all_sets(n, k), xs = all_sets(n, x);
          if (xs.size() > 126 || ks.size() > 126) continue;
          std::vector<std::vector<uint32_t>> rows_of(xs.size());
          for (size_t c = 0; c < xs.size(); c++)
            for (size_t r = 0; r < ks.size(); r++) {
              std::vector<int> common;
              std::set_intersection(xs[c].begin(), xs[c].end(), ks[r].begin(), ks[r].end(),
                                    std::back_inserter(common));
              if ((int)common.size() >= t) rows_of[c].push_back((uint32_t)r);
            }
          design::CoverSolution sol =
              design::solve_cover(ks.size(), rows_of, std::vector<uint32_t>(xs.size(), 1),
                                  design::from_now(10), kNodes);
          if (!sol.optimal) continue;
          proved++;
          for (const wheel::Bound &b : wheel::lower_bounds({n, k, x, t}))
            EXPECT_LE(b.value, sol.chosen.size())
                << b.name << " L(" << n << "," << k << "," << x << "," << t << ")";
        }
  EXPECT_GE(proved, 270);  // 279 of the 285 within their 100 nodes
}

TEST(CheckMemory, RefusesWhatDoesNotFit) {
  // Two count bytes per 6-set of 1..49 (26.7 MB), and one more for the profile.
  EXPECT_EQ(wheel::memory_refusal({49, 6, 6, 3}, 27), "");
  EXPECT_EQ(wheel::memory_refusal({49, 6, 6, 3}, 40, 1),
            "Error: the check needs 41 MB of memory; this machine has 40 MB available.");
}

// A wheel read from text: "LINE: numbers" for each cover and "more" where
// there are more than `most`, or the error.
static std::string read(std::istream &in, size_t most = wheel::kMaxCovers) {
  wheel::Wheel w;
  std::string err = wheel::read_wheel(in, {7, 3, 3, 2}, w, {}, most), out;
  for (size_t i = 0; i < w.covers.size(); i++) {
    out.append(i ? " " : "").append(std::to_string(w.lines[i])).append(":");
    for (int a : w.covers[i]) out.append(" ").append(std::to_string(a));
  }
  return err.empty() ? out + (w.more ? " more" : "") : err;
}
static std::string read(const std::string &text, size_t most = wheel::kMaxCovers) {
  std::istringstream in(text);
  return read(in, most);
}

// Reading stops at the first cover past the most asked for (where a
// transcript is told late, the lines before it are no covers), and at a line
// longer than any wheel's: what follows is left unread, so that no stream
// takes more memory than the covers read.
TEST(CheckRead, StopsPastTheMostCoversAndAtAnOverlongLine) {
  std::istringstream four("# four\n1 2 3\n4 5 6\n\n1 4 7\n2 5 7\nnot read\n");
  EXPECT_EQ(read(four, 3), "2: 1 2 3 3: 4 5 6 5: 1 4 7 6: 2 5 7 more");
  std::string rest;
  EXPECT_TRUE(std::getline(four, rest) && rest == "not read");
  EXPECT_EQ(read("1 2 3\n4 5 6\n1 4 7\n", 3), "1: 1 2 3 2: 4 5 6 3: 1 4 7");
  const std::string menu =
      "What kind of strategy would you like to solve the L(7,3,3,2) problem?\n";
  const std::string step = "left:        35         13 cover_    1  2  3         0 sec\n";
  EXPECT_EQ(read("4 5 6\n1 2 7\n" + menu + step, 2), "4: 1 2 3");
  EXPECT_EQ(read("4 5 6\n" + step + step, 1), "2: 1 2 3 3: 1 2 3 more");

  // A line of kMaxLine bytes reads; one more byte ends the input, with an
  // error unless an earlier line has one.
  EXPECT_EQ(read(std::string("4 5 6\n1 2 3").append(wheel::kMaxLine - 5, ' ') + "\n"),
            "1: 4 5 6 2: 1 2 3");
  std::string over = std::string(wheel::kMaxLine + 1, '7') + "\nnot read\n";
  std::istringstream overlong("1 2 3\n" + over);
  EXPECT_EQ(read(overlong), "line 2: over 1048576 bytes long, longer than any line of a wheel");
  EXPECT_EQ((size_t)overlong.tellg(), 6 + wheel::kMaxLine + 1);
  EXPECT_EQ(read("1 2\n" + over), "line 1: 2 numbers, but a cover has 3");
}
