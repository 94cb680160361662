// The greedy construction: its counting primitives, and an independent check
// of whole runs over a grid of small instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "capture.h"
#include "k.h"
#include "sysmem.h"

static void params(int n, int k, int x, int t) {
  vorlank_n = n, vorlank_k = k, vorlank_x = x, vorlank_t = t;
}

// Process-wide state back to its process-start values, so that several
// runs can share one test process.
static void fresh_process() {
  free(c1), free(c2), free(c3), free(c4);
  c1 = c2 = c3 = nullptr, c4 = nullptr;
  len = lenx = summ = c2p = 0;
  sec_start = sec_end = sec_start2 = sec_end2 = 0;
}

static std::string run_greedy(int n, int k, int x, int t) {
  fresh_process();
  params(n, k, x, t);
  return capture(vorlank2);
}

// An nk-table of the given k-sets in c1 (rows from 1).
static std::vector<unsigned char> table(const std::vector<std::vector<int>> &sets) {
  std::vector<unsigned char> tab((vorlank_k + 1) * (sets.size() + 1), 0);
  for (size_t r = 0; r < sets.size(); r++)
    for (int j = 0; j < vorlank_k; j++) tab[(vorlank_k + 1) * (r + 1) + j + 1] = sets[r][j];
  len = sets.size();
  c1 = tab.data();
  return tab;
}

static void load(std::vector<int> set) {
  for (size_t i = 0; i < set.size(); i++) szt[i + 1] = set[i];
}

TEST(Counting, CompStopsAtT) {
  params(10, 3, 3, 2);
  auto tab = table({{2, 3, 5}, {4, 6, 8}});
  load({1, 2, 3});
  EXPECT_EQ(comp(1), 2);
  EXPECT_EQ(comp(2), 0);

  params(10, 3, 4, 3);
  auto t2 = table({{1, 2, 3}});
  load({1, 2, 3, 4});
  EXPECT_EQ(comp(1), 3);
  vorlank_t = 2;
  EXPECT_EQ(comp(1), 2);
  vorlank_t = 0;
  EXPECT_EQ(comp(1), 0);
  EXPECT_EQ(count_hits(), 1);
  c1 = nullptr;
}

TEST(Counting, CountHitsEdges) {
  params(255, 2, 2, 1);
  auto tab = table({{199, 200}, {1, 2}, {3, 200}});
  load({199, 200});
  EXPECT_EQ(count_hits(), 2);
  vorlank_t = 0;
  EXPECT_EQ(count_hits(), 3);
  len = 0;
  EXPECT_EQ(count_hits(), 0);
  vorlank_t = 3;  // t above k: nothing is ever covered
  len = 3;
  EXPECT_EQ(count_hits(), 0);
  c1 = nullptr;
}

TEST(Removal, CompactsTheTableAndLogsTheCover) {
  fresh_process();
  params(4, 2, 2, 1);
  c1 = (unsigned char *)malloc(3 * 7);
  capture(nkvary);
  load({1, 2});
  std::string out = capture(sign_hits);
  EXPECT_EQ(out, "left:         1   ");
  EXPECT_EQ(len, 1);
  EXPECT_EQ(summ, 5);
  EXPECT_EQ(c2p, 1);
  EXPECT_EQ(c2[3 + 1], 1);
  EXPECT_EQ(c2[3 + 2], 2);
  EXPECT_EQ(c1[3 + 1], 3);
  EXPECT_EQ(c1[3 + 2], 4);

  load({1, 2});  // covers nothing now: logged all the same
  EXPECT_EQ(capture(sign_hits), "left:         1   ");
  EXPECT_EQ(c2p, 2);
  fresh_process();
}

// The selection over a prepared table: the bound array decides what is
// counted, ties go to the lowest row.
TEST(Selection, TieBreakAndBounds) {
  fresh_process();
  params(4, 2, 2, 1);
  c1 = (unsigned char *)malloc(3 * 7);
  c3 = (unsigned char *)malloc(3 * 7);
  c4 = (int *)malloc(sizeof(int) * 8);
  capture(nkvary);
  capture(nxvary);
  for (int r = 1; r <= 6; r++) c4[r] = 6;
  // Every pair covers 5 of the 6 pairs: row 1, {1,2}, wins the tie.
  int h = 0;
  std::string out = capture([&] { h = get_max_hit(); });
  EXPECT_EQ(h, 5);
  EXPECT_EQ(szt[1], 1);
  EXPECT_EQ(szt[2], 2);
  EXPECT_EQ(out, "    \b\b\b\b 17%\b\b\b\b 50%\b\b\b\b 83%\b\b\b\b\b");
  // A skipped row keeps its bound: with the remaining pairs {1,2}, {1,3},
  // {2,3}, row 1 is passed on a bound of 0, row 2 ({1,3}, 3 hits) becomes
  // the best, and row 3 ({1,4}, 2 hits) is not recounted on a bound of 3.
  free(c1);
  auto rest = table({{1, 2}, {1, 3}, {2, 3}});
  int bounds[] = {0, 0, 9, 3, 9, 9, 9};
  std::copy(bounds, bounds + 7, c4);
  int h3 = 0;
  capture([&] { h3 = get_max_hit(); });
  EXPECT_EQ(h3, 3);
  EXPECT_EQ(szt[1], 1);
  EXPECT_EQ(szt[2], 3);
  EXPECT_EQ(c4[1], 0);
  EXPECT_EQ(c4[3], 3);
  EXPECT_EQ(c4[4], 3);
  EXPECT_EQ(c4[5], 2);
  // Bounds at 0 are never counted: nothing is found, bsz comes back.
  for (int r = 1; r <= 6; r++) c4[r] = 0;
  capture([&] { h3 = get_max_hit(); });
  EXPECT_EQ(h3, 0);
  EXPECT_EQ(szt[2], 3);
  c1 = nullptr;
  fresh_process();
}

// A real /proc/meminfo: values are followed by their unit, "kB", a word of its own.
TEST(Refusal, ReadsMemAvailableFromMeminfo) {
  std::istringstream meminfo("MemTotal:       24628288 kB\n"
                             "MemFree:        23349900 kB\n"
                             "MemAvailable:   23761408 kB\n"
                             "Buffers:           52264 kB\n"
                             "HugePages_Total:       0\n");
  EXPECT_DOUBLE_EQ(meminfo_available_mb(meminfo), 23761408 / 1024.0);
  std::istringstream none("MemTotal:       24628288 kB\nHugePages_Total:       0\n");
  EXPECT_EQ(meminfo_available_mb(none), -1);
  double mb = available_mb();
  EXPECT_GT(mb, 1);
  EXPECT_LT(mb, 1e9);  // read from the system, not the fallback
}

TEST(Refusal, MemoryFiguresInMegabytes) {
  std::string no = greedy_refusal(49, 6, 6, 3, 100.0);
  EXPECT_EQ(no.rfind("Error: the greedy run needs ", 0), 0u) << no;
  EXPECT_NE(no.find("this machine has 100 MB available"), std::string::npos) << no;
  EXPECT_EQ(greedy_refusal(49, 6, 6, 3, 1e9), "");
}

// Everything a run printed, as covers and counts.
struct Printed {
  std::vector<std::vector<int>> covers;
  std::vector<int> counts, left;
  int needed = -1;
};

static Printed parse(const std::string &out) {
  Printed run;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (size_t p = line.find("left: "); p != std::string::npos)
      run.left.push_back(std::stoi(line.substr(p + 6)));
    if (size_t p = line.find(" cover"); p != std::string::npos) {
      size_t d = line.find_last_not_of("0123456789", p - 1);
      run.counts.push_back(std::stoi(line.substr(d + 1, p - d - 1)));
      // The numbers, then the step's seconds and "sec".
      std::istringstream words(line.substr(line.find(' ', p + 1)));
      std::vector<int> c;
      for (std::string w; words >> w && w != "sec";) c.push_back(std::stoi(w));
      c.pop_back();
      run.covers.push_back(c);
    }
    if (line.rfind("** ", 0) == 0) run.needed = std::stoi(line.substr(3));
  }
  return run;
}

// Every k-set of 1..n as a bit mask.
static std::vector<uint32_t> ksets(int n, int k) {
  std::vector<uint32_t> all;
  for (uint32_t m = 0; m < (1u << n); m++)
    if (std::popcount(m) == k) all.push_back(m);
  return all;
}

// Calls check(n, k, x, t) for every instance with n <= max_n and t from
// t_from to min(k, x), until one fails; returns how many it checked.
template <class F> static int each_instance(int max_n, int t_from, F check) {
  int runs = 0;
  for (int n = 2; n <= max_n; n++)
    for (int k = 1; k < n; k++)
      for (int x = 1; x < n; x++)
        for (int t = t_from; t <= std::min(k, x); t++, runs++) {
          SCOPED_TRACE(testing::Message() << "L(" << n << "," << k << "," << x << "," << t << ")");
          check(n, k, x, t);
          if (testing::Test::HasFatalFailure()) return runs;
        }
  return runs;
}

TEST(GreedyRun, CoversEverySmallInstance) {
  int runs = each_instance(11, 0, [](int n, int k, int x, int t) {
    Printed run = parse(run_greedy(n, k, x, t));
    ASSERT_EQ(run.needed, (int)run.covers.size());
    ASSERT_EQ(run.left.size(), run.covers.size() + 1);
    std::vector<uint32_t> open = ksets(n, k);
    ASSERT_EQ(run.left[0], (int)open.size());
    for (size_t i = 0; i < run.covers.size(); i++) {
      uint32_t c = 0;
      for (int v : run.covers[i]) c |= 1u << (v - 1);
      ASSERT_EQ(std::popcount(c), x);
      size_t before = open.size();
      std::erase_if(open, [&](uint32_t s) { return std::popcount(s & c) >= t; });
      ASSERT_EQ(run.counts[i], (int)(before - open.size()));
      ASSERT_EQ(run.left[i + 1], (int)open.size());
    }
    ASSERT_TRUE(open.empty());
  });
  EXPECT_GT(runs, 1000);
  fresh_process();
}

// What a run prints, clock fields left out.
static std::string without_clock(const std::string &out) {
  std::string s;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Started at:", 0) == 0 || line.rfind("Finished at:", 0) == 0 ||
        line.rfind("running time:", 0) == 0)
      continue;
    if (line.size() > 4 && line.compare(line.size() - 4, 4, " sec") == 0)
      line.resize(line.size() - 13);
    s += line + "\n";
  }
  return s;
}

// The subset counts must make every choice, count and progress field of the
// literal scan of the nk-table.
TEST(GreedyRun, SubsetCountsChooseAsTheLiteralScan) {
  int runs = each_instance(12, 1, [](int n, int k, int x, int t) {
    greedy_literal = true;
    std::string literal = without_clock(run_greedy(n, k, x, t));
    greedy_literal = false;
    std::string fast = without_clock(run_greedy(n, k, x, t));
    ASSERT_EQ(fast, literal);
  });
  EXPECT_GT(runs, 1000);
  fresh_process();
}
