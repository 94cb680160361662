// The greedy construction: its counting primitives, how a run ends when memory
// or a count fails, and an independent check of whole runs over a grid of
// small instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>
#include <sstream>
#include <vector>

#include "capture.h"
#include "greedy/k.h"
#include "base/sysmem.h"

// One allocation failure on demand: after `allocations_left` more successful
// operator new calls, the next one throws (negative: never).
static long allocations_left = -1;
static bool allocation_failed;

// The replacement pairs malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void *operator new(size_t size) {
  if (allocations_left == 0) {
    allocations_left = -1, allocation_failed = true;
    throw std::bad_alloc();
  }
  if (allocations_left > 0) allocations_left--;
  if (void *p = malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }

static void params(int n, int k, int x, int t) {
  vorlank_n = n, vorlank_k = k, vorlank_x = x, vorlank_t = t;
}

static std::string run_greedy(int n, int k, int x, int t) {
  params(n, k, x, t);
  return capture(greedy_run);
}

// An nk-table of the given k-sets in c1 (rows from 1), owned by the run.
static void table(const std::vector<std::vector<int>> &sets) {
  free(c1);
  c1 = (unsigned char *)calloc((vorlank_k + 1) * (sets.size() + 1), 1);
  for (size_t r = 0; r < sets.size(); r++)
    for (int j = 0; j < vorlank_k; j++) c1[(vorlank_k + 1) * (r + 1) + j + 1] = sets[r][j];
  len = sets.size();
}

static void load(std::vector<int> set) {
  for (size_t i = 0; i < set.size(); i++) szt[i + 1] = set[i];
}

TEST(Counting, CompStopsAtTAndCountHitsReadsTheTable) {
  greedy_reset();
  params(255, 3, 4, 2);
  table({{2, 3, 5}, {4, 6, 8}, {1, 2, 3}, {199, 200, 201}});
  load({1, 2, 3, 200});
  EXPECT_EQ(comp(1), 2);
  EXPECT_EQ(comp(2), 0);
  EXPECT_EQ(comp(3), 2);  // shares three, but counting stops at t
  EXPECT_EQ(comp(4), 1);  // a number above 127 is read whole
  vorlank_t = 3;
  EXPECT_EQ(comp(3), 3);
  EXPECT_EQ(count_hits(), 1);
  vorlank_t = 0;
  EXPECT_EQ(count_hits(), 4);
  len = 0;
  EXPECT_EQ(count_hits(), 0);
  greedy_reset();
}

TEST(Removal, CompactsTheTableAndLogsTheCover) {
  greedy_reset();
  params(4, 2, 2, 1);
  c1 = (unsigned char *)malloc(3 * 7);
  c2 = (unsigned char *)malloc(3);  // room for no row: the log grows
  capture(nkvary);
  load({1, 2});
  EXPECT_EQ(capture(sign_hits), "left:         1   ");
  EXPECT_EQ(summ, 5);
  EXPECT_EQ(c1[3 + 1], 3);
  EXPECT_EQ(c1[3 + 2], 4);
  load({1, 2});  // covers nothing now: logged all the same
  EXPECT_EQ(capture(sign_hits), "left:         1   ");
  EXPECT_EQ(c2p, 2);
  EXPECT_EQ(c2[2 * 3 + 1], 1);
  EXPECT_EQ(c2[2 * 3 + 2], 2);
  greedy_reset();
}

// The selection over a prepared table: the bound array decides what is
// counted, ties go to the lowest row.
TEST(Selection, TieBreakAndBounds) {
  greedy_reset();
  params(4, 2, 2, 1);
  c1 = (unsigned char *)malloc(3 * 7);
  c3 = (unsigned char *)malloc(3 * 7);
  c4 = (int *)malloc(sizeof(int) * 8);
  capture(nkvary);
  capture(nxvary);
  for (int r = 1; r <= 6; r++) c4[r] = 6;
  // Every pair covers 5 of the 6 pairs: row 1, {1,2}, wins the tie.
  int h = 0;
  EXPECT_EQ(capture([&] { h = get_max_hit(); }),
            "    \b\b\b\b 17%\b\b\b\b 50%\b\b\b\b 83%\b\b\b\b\b");
  EXPECT_EQ(h, 5);
  EXPECT_EQ(szt[2], 2);
  // A skipped row keeps its bound: with the pairs {1,2}, {1,3}, {2,3} left,
  // row 1 is passed on a bound of 0, row 2 ({1,3}, 3 hits) becomes the best,
  // and row 3 ({1,4}, 2 hits) is not recounted on a bound of 3.
  table({{1, 2}, {1, 3}, {2, 3}});
  int bounds[] = {0, 0, 9, 3, 9, 9, 9};
  std::copy(bounds, bounds + 7, c4);
  capture([&] { h = get_max_hit(); });
  EXPECT_EQ(h, 3);
  EXPECT_EQ(szt[2], 3);
  EXPECT_EQ(std::vector<int>(c4 + 1, c4 + 6), (std::vector<int>{0, 3, 3, 3, 2}));
  // Bounds at 0 are never counted: nothing is found, bsz comes back.
  std::fill(c4 + 1, c4 + 7, 0);
  capture([&] { h = get_max_hit(); });
  EXPECT_EQ(h, 0);
  EXPECT_EQ(szt[2], 3);
  greedy_reset();
}

// /proc/meminfo (a value is followed by its unit, "kB", a word of its own)
// and cgroup v2's memory.max (bytes, or "max": no limit) less memory.current:
// the least of what they leave.
TEST(Refusal, MemoryFromMeminfoAndTheControlGroup) {
  auto available = [](const char *meminfo, const char *max, const char *current) {
    std::istringstream i(meminfo), m(max), c(current);
    return available_mb(i, m, c);
  };
  const char *meminfo = "MemTotal:       24628288 kB\nMemFree:        23349900 kB\n"
                        "MemAvailable:   23761408 kB\nHugePages_Total:       0\n";
  const double free = 23761408 / 1024.0;
  EXPECT_DOUBLE_EQ(available(meminfo, "max\n", "536870912\n"), free);
  EXPECT_DOUBLE_EQ(available(meminfo, "1073741824\n", "536870912\n"), 512);
  EXPECT_DOUBLE_EQ(available(meminfo, "107374182400\n", "0\n"), free);
  EXPECT_DOUBLE_EQ(available(meminfo, "1073741824\n", ""), free);     // no usage: no limit
  EXPECT_EQ(available(meminfo, "1073741824\n", "2147483648\n"), 0);  // over the limit
  EXPECT_EQ(available("MemTotal:       24628288 kB\n", "", ""), 1e12);  // nothing told
  EXPECT_DOUBLE_EQ(available("", "1073741824\n", "0\n"), 1024);
  EXPECT_LT(available_mb(), 1e9);  // read from this machine, not the fallback

  EXPECT_EQ(greedy_refusal(49, 6, 6, 3, 100.4),
            "Error: the greedy run needs 255 MB of memory; this machine has 100 MB available.\n");
  EXPECT_EQ(greedy_refusal(49, 6, 6, 3, 1e9), "");
}

// Each allocation of a run fails in turn: the run ends with one error line,
// on a line of its own, and leaves nothing behind for the next run.
TEST(Failure, OutOfMemoryEndsTheRunWithOneLine) {
  std::string whole = run_greedy(9, 4, 4, 3);
  ASSERT_NE(whole.find("** 12 ** needed"), std::string::npos) << whole;
  for (long fail_at = 0;; fail_at++) {
    allocation_failed = false;
    std::string out = capture([&] {
      allocations_left = fail_at;  // only while the run runs
      greedy_run();
      allocations_left = -1;
    });
    if (!allocation_failed) {
      auto body = [](const std::string &s) {  // the clock lines left out
        size_t from = s.find("Greedy:");
        return s.substr(from, s.find("Finished at:") - from);
      };
      EXPECT_EQ(body(out), body(whole));
      EXPECT_GT(fail_at, 10);
      break;
    }
    const std::string error = "Error: out of memory in the greedy run of L(9,4,4,3).\n";
    ASSERT_GE(out.size(), error.size());
    ASSERT_EQ(out.substr(out.size() - error.size()), error) << "allocation " << fail_at;
    ASSERT_EQ(out.find("Error:"), out.size() - error.size());
    ASSERT_TRUE(out.size() == error.size() || out[out.size() - error.size() - 1] == '\n');
  }
  greedy_reset();
}

// t above k: no x-set can cover anything, as after a faulty count. The run
// must stop rather than choose nothing forever.
TEST(Failure, AStepThatCoversNothingStopsTheRun) {
  std::string out = run_greedy(7, 2, 3, 3);
  const std::string want =
      "\nError: internal error: no cover found for the 21 k-sets left; the run stops.\n";
  ASSERT_GE(out.size(), want.size());
  EXPECT_EQ(out.substr(out.size() - want.size()), want);
  greedy_reset();
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
    std::vector<uint32_t> open;
    for (uint32_t m = 0; m < (1u << n); m++)
      if (std::popcount(m) == k) open.push_back(m);
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
  greedy_reset();
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
  greedy_reset();
}
