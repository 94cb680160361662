// The wheel checker's pieces a transcript cannot isolate: the k-set index, the
// counts past a byte, bounds and memory, and where reading a wheel stops (the
// walk is checked against brute force by tests/scripts/test_check_wheels.py).
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
                                  design::from_now(0.5));
          if (!sol.optimal) continue;
          proved++;
          for (const wheel::Bound &b : wheel::lower_bounds({n, k, x, t}))
            EXPECT_LE(b.value, sol.chosen.size())
                << b.name << " L(" << n << "," << k << "," << x << "," << t << ")";
        }
  EXPECT_GE(proved, 250);  // 279 of the 285 within their half second
}

TEST(CheckMemory, RefusesWhatDoesNotFit) {
  // Two count bytes per 6-set of 1..49 (26.7 MB), and one more for the profile.
  EXPECT_EQ(wheel::memory_refusal({49, 6, 6, 3}, 27), "");
  EXPECT_EQ(wheel::memory_refusal({49, 6, 6, 3}, 40, 1),
            "Error: the check needs 41 MB of memory; this machine has 40 MB available.");
}

// Reading stops at the first cover past the most asked for, and at a line
// longer than any wheel's: what follows is left unread, so that no stream
// takes more memory than the covers read.
TEST(CheckRead, StopsPastTheMostCoversAndAtAnOverlongLine) {
  Params p{7, 3, 3, 2};
  wheel::Wheel w;
  std::istringstream four("# four\n1 2 3\n4 5 6\n\n1 4 7\n2 5 7\nnot read\n");
  EXPECT_EQ(wheel::read_wheel(four, p, w, {}, 3), "");
  EXPECT_TRUE(w.more);
  EXPECT_EQ(w.covers.size(), 4u);
  EXPECT_EQ(w.lines.back(), 6);
  std::string rest;
  EXPECT_TRUE(std::getline(four, rest) && rest == "not read");
  std::istringstream three("1 2 3\n4 5 6\n1 4 7\n");
  EXPECT_EQ(wheel::read_wheel(three, p, w, {}, 3), "");
  EXPECT_FALSE(w.more);
  EXPECT_EQ(w.covers.size(), 3u);

  // A line of kMaxLine bytes reads; one more byte ends the input, with an
  // error unless an earlier line has one.
  std::string longest = std::string("4 5 6\n1 2 3").append(wheel::kMaxLine - 5, ' ') + "\n";
  std::istringstream fits(longest);
  EXPECT_EQ(wheel::read_wheel(fits, p, w), "");
  EXPECT_EQ(w.covers.size(), 2u);
  std::string over = std::string(wheel::kMaxLine + 1, '7') + "\nnot read\n";
  std::istringstream overlong("1 2 3\n" + over);
  EXPECT_EQ(wheel::read_wheel(overlong, p, w), "line 2: over 1048576 bytes long, longer than any "
                                               "line of a wheel");
  EXPECT_EQ((size_t)overlong.tellg(), 6 + wheel::kMaxLine + 1);
  std::istringstream earlier("1 2\n" + over);
  EXPECT_EQ(wheel::read_wheel(earlier, p, w), "line 1: 2 numbers, but a cover has 3");
}

// A transcript is told by a line that may come after others (a shell prompt
// saved with it): the lines before are no covers, and only a transcript's
// own errors among them count.
TEST(CheckRead, ATranscriptToldLate) {
  Params p{7, 3, 3, 2};
  const std::string menu =
      "What kind of strategy would you like to solve the L(7,3,3,2) problem?\n";
  const std::string step = "left:        35         13 cover_    1  2  3         0 sec\n";
  auto read = [&](const std::string &text, size_t most = wheel::kMaxCovers) {
    std::istringstream in(text);
    wheel::Wheel w;
    std::string err = wheel::read_wheel(in, p, w, {}, most);
    for (size_t i = 0; i < w.covers.size(); i++) {
      err += err.empty() ? "" : " ";
      err += std::to_string(w.lines[i]) + ":";
      for (int a : w.covers[i]) err.append(" ").append(std::to_string(a));
    }
    return err + (w.more ? " more" : "");
  };
  EXPECT_EQ(read("$ vorlank 7 3 3 2\n4 5 6\n" + menu + step), "4: 1 2 3");
  EXPECT_EQ(read("4 5 6\n1 2 7\n" + menu + step, 2), "4: 1 2 3");
  EXPECT_EQ(read("4 5 6\n" + step + step, 1), "2: 1 2 3 3: 1 2 3 more");
  EXPECT_EQ(read("Error: no memory\n" + menu + step),
            "line 1: the transcript reports 'Error: no memory'");
  EXPECT_EQ(read("Greedy: L(7,3,3,1)\n4 5 6\n" + step),
            "line 1: the transcript is of L(7,3,3,1), not of L(7,3,3,2)");
  // Without the transcript's lines, the same are plain lines.
  EXPECT_EQ(read("Error: no memory\n4 5 6\n"), "line 1: 'Error:' is not a number");
  EXPECT_EQ(read("4 5 6\n" + menu), "the vorlank transcript holds no cover lines (only the greedy "
                                    "run, choice 2, prints them)");
}
