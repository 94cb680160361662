// Parameters, binomials, stepping, seeding, copying, printing and the tables.
#include <gtest/gtest.h>

#include <vector>

#include "capture.h"
#include "greedy/k.h"

static void params(int n, int k, int x, int t) {
  vorlank_n = n, vorlank_k = k, vorlank_x = x, vorlank_t = t;
}

static std::vector<int> working(int m) { return std::vector<int>(szt + 1, szt + 1 + m); }

TEST(Nalk, ExactRangeAndEdges) {
  EXPECT_EQ(nalk(49, 6), 13983816);
  EXPECT_EQ(nalk(92, 6), 713068356);
  EXPECT_EQ(nalk(255, 4), 172061505);
  EXPECT_EQ(nalk(30, 15), 155117520);
  EXPECT_EQ(nalk(10, 0), 1);
  EXPECT_EQ(nalk(7, -3), 1);
  EXPECT_EQ(nalk(5, 7), 0);
  // Beyond the exact range the 32-bit arithmetic wraps; sizes use binom64.
  EXPECT_NE(nalk(93, 6), 762245484);
  EXPECT_EQ(binom64(93, 6), 762245484);
  EXPECT_EQ(binom64(255, 5), 8637487551LL);
  EXPECT_EQ(binom64(5, 7), 0);
  EXPECT_EQ(binom64(255, 127), -1);
}

TEST(Stepping, LexicographicOrderAndCarries) {
  params(5, 3, 3, 1);
  szt[1] = 1, szt[2] = 2, szt[3] = 3;
  std::vector<std::vector<int>> seen{working(3)};
  while (szt[1] != 5 - 3 + 1) {
    sztep_nk();
    seen.push_back(working(3));
  }
  std::vector<std::vector<int>> want{{1, 2, 3}, {1, 2, 4}, {1, 2, 5}, {1, 3, 4}, {1, 3, 5},
                                     {1, 4, 5}, {2, 3, 4}, {2, 3, 5}, {2, 4, 5}, {3, 4, 5}};
  EXPECT_EQ(seen, want);

  params(5, 2, 1, 1);
  szt[1] = 3;
  sztep_nx();
  EXPECT_EQ(szt[1], 4);
  sztep_nx();
  EXPECT_EQ(szt[1], 5);
}

TEST(WorkingSet, SeedAndPrint) {
  params(49, 6, 3, 2);
  beg_sz(4);
  EXPECT_EQ(working(3), (std::vector<int>{4, 5, 6}));
  szt[1] = 1, szt[2] = 100, szt[3] = 255;
  EXPECT_EQ(capture(p_szt), " 1 100 255 ");
}

// Builds one table into fresh storage pre-filled with 0xEE; the storage is
// the test's, so the table pointer is cleared again.
static std::vector<unsigned char> build(int n, int m, bool nx, std::string *out) {
  params(n, nx ? 1 : m, nx ? m : 1, 1);
  std::vector<unsigned char> tab((size_t)(m + 1) * (binom64(n, m) + 1), 0xEE);
  unsigned char *&table = nx ? c3 : c1;
  table = tab.data();
  *out = capture(nx ? nxvary : nkvary);
  table = nullptr;
  return tab;
}

TEST(Tables, BytesOfSmallTables) {
  std::string out;
  auto nk = build(4, 2, false, &out);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(out, "Building n under k table......\n");
  EXPECT_EQ(std::vector<unsigned char>(nk.begin(), nk.begin() + 3),
            (std::vector<unsigned char>{0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(std::vector<unsigned char>(nk.begin() + 3, nk.end()),
            (std::vector<unsigned char>{0, 1, 2, 0, 1, 3, 0, 1, 4, 0, 2, 3, 0, 2, 4, 0, 3, 4}));
  EXPECT_EQ(working(2), (std::vector<int>{3, 4}));

  auto nx = build(4, 3, true, &out);
  EXPECT_EQ(lenx, 4);
  EXPECT_EQ(out, "Building n under x table....\n");
  EXPECT_EQ(std::vector<unsigned char>(nx.begin() + 4, nx.end()),
            (std::vector<unsigned char>{0, 1, 2, 3, 0, 1, 2, 4, 0, 1, 3, 4, 0, 2, 3, 4}));

  auto one = build(3, 1, false, &out);
  EXPECT_EQ(std::vector<unsigned char>(one.begin() + 2, one.end()),
            (std::vector<unsigned char>{0, 1, 0, 2, 0, 3}));
  EXPECT_EQ(out, "Building n under k table...\n");
}

TEST(Tables, LargePoolKeepsFullByteValues) {
  std::string out;
  auto tab = build(255, 2, false, &out);
  EXPECT_EQ(len, 32385);
  const unsigned char *last = tab.data() + 3 * (size_t)len;
  EXPECT_EQ(last[1], 254);
  EXPECT_EQ(last[2], 255);
}
