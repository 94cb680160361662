// Subset counts: how many uncovered k-sets an x-set covers, without looking
// at the k-sets.
//
// For every j-subset S of 1..n with t <= j <= min(k,x), f_j(S) is the number
// of uncovered k-sets that contain S. The k-sets that share at least t
// numbers with an x-set X then number
//
//   sum over j = t..min(k,x) of (-1)^(j-t) C(j-1,t-1) sum over j-subsets S of X of f_j(S)
//
// (Jordan's formula for "at least t of the events"). A j-set is stored at its
// rank, sum over m of C(n - s_m, m) with s_m its m-th largest number, so the
// x-sets of one run of the nx-table (all numbers fixed but the last) read
// their counters from consecutive places.
//
// Plain data in and out: the greedy search owns the tables, the bound array
// and the output; the engine counts, and compacts the table it is handed.
// subcount.cpp holds the counters, their updates and the scan's driver;
// subscan.cpp the scan's kernel, compiled for each instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The largest x the engine takes: it sizes the per-level lists (one per j <=
// x), the x-set of a seed and the walk's stack.
constexpr int subcount_max_x = 20;
// The largest pool: numbers are bytes, and a cover's numbers are marked in a
// table of subcount_max_n + 1 flags.
constexpr int subcount_max_n = 255;
// x-sets a kernel counts together; every level keeps this many counters of
// slack past its end, as the last lanes of a run read beyond it.
constexpr int subcount_lanes = 16;
// The longest run (rows Q, a, v for v = a+1..n) is n - 1 rows.
constexpr int subcount_max_run = subcount_max_n - 1;

// The counters of one level j: C(n,j) of them, each as narrow as
// C(n-j,k-j), the count of a j-set while nothing is covered. They live in
// the one vector of their width, so each is read and written as its own type.
struct sublevel {
  int bits = 0, coef = 0;     // bits: 1, 8, 16 or 32; coef: (-1)^(j-t) C(j-1,t-1)
  int64_t last = 0;           // the counter of rank r is number last - r
  int narrow = 1;             // counters that add up in their own width without overflow
  std::vector<uint8_t> u8;    // 1 bit (packed, lowest bit first) or 8 bits a counter
  std::vector<uint16_t> u16;  // 16 bits a counter
  std::vector<uint32_t> u32;  // 32 bits a counter
};

// A row that stood near the top of the last scan, with its x-set.
struct subseed {
  uint64_t standing;  // count and row, as the scan compares them
  int row;
  unsigned char set[subcount_max_x];
};

// A j-subset of the positions of a k-set: a (j-1)-subset and one more
// position, below all of that subset's.
struct subkid {
  int parent, low;
};

// The scan's code, compiled for each instruction set; subcount_init picks the
// widest the processor runs (or the one VORLANK_KERNEL names: base, avx2,
// avx512), and a caller may set another that subcount_supports.
enum subkernel { subkernel_base, subkernel_avx2, subkernel_avx512, subkernels };
bool subcount_supports(int kernel);
const char *subcount_kernel_name(int kernel);

struct subcount {
  int n = 0, k = 0, x = 0, t = 0;
  int jlo = 0, jhi = 0;                   // the levels kept: t..min(k,x)
  std::vector<int64_t> binom;             // C(a,b) at a * (jhi + 1) + b, b <= jhi
  std::vector<sublevel> level;            // level[j] for jlo <= j <= jhi
  std::vector<std::vector<subkid>> kids;  // kids[j]: the j-subsets of a k-set's positions

  // The runs of the nx-table, grouped by their first x - 2 numbers (x >= 2).
  int groups = 0, runs = 0;
  std::vector<unsigned char> group_set;  // x - 2 numbers per group
  std::vector<int> group_row;            // first nx-table row of each group
  std::vector<int> group_run;            // first run of each group, then a sentinel
  std::vector<int> group_max;            // largest bound within the group
  std::vector<int> run_max;              // largest bound within the run
  std::vector<int> chunk_group;          // first group of each scan chunk, then a sentinel
  int threads = 1;                       // most threads a step takes (VORLANK_THREADS fixes it)
  int kernel = subkernel_base;           // the scan's code
  // Handing work to a second thread costs about 50 us (a thread started and
  // joined), more on a busy machine: a step takes one only for enough work.
  // A scan does when the last one counted spread_runs runs or more (a run
  // takes about 0.1 us; 20,000 left a sixth of the steps of L(45,6,6,3) to
  // one thread, 300 slowed L(32,5,5,4)); the table is compacted beside the
  // walk when it holds beside_rows rows or more, its covered rows handed
  // over hand_rows at a time where the walk tells them.
  int64_t spread_runs = 1000, beside_rows = 1 << 20;
  int hand_rows = 4096;
  int64_t last_runs = INT64_MAX;  // runs the last scan counted
  std::vector<subseed> seeds;     // the best rows of the last scan
  // The table subcount_cover is handed holds every uncovered k-set, in
  // lexicographic order (the greedy run's nk-table): where k <= x, its
  // covered rows are then found by the walk instead of by reading each row.
  bool whole_table = false;
  std::vector<int> gone_rows;  // the rows the walk found, for their move
};

// Whether the engine takes these parameters: 1 <= t <= k, x <= subcount_max_x,
// n <= subcount_max_n, and a modest number of look-ups per count and per
// removal (the subsets of t..min(k,x) numbers of an x-set and of a k-set).
bool subcount_takes(int n, int k, int x, int t);

// Bytes the counters and the run index take for these parameters (t >= 1).
double subcount_bytes(int n, int k, int x, int t);

// Sets up for pool 1..n with every k-set uncovered; start is the bound every
// x-set starts with (C(n,k)). Needs 1 <= t, x <= subcount_max_x, n <= subcount_max_n.
void subcount_init(subcount &sc, int n, int k, int x, int t, int start);

// Splits the scan into chunks of whole groups of about `rows` rows each;
// the threads take chunks in turn. (Init picks a size and a thread count.)
void subcount_chunks(subcount &sc, int64_t rows);

// The k-set (k ascending numbers) has become covered.
void subcount_remove(subcount &sc, const unsigned char *kset);

// The cover (x ascending numbers) has been chosen: every uncovered k-set it
// covers leaves the counts and the nk-table. The table holds rows 1..rows of
// w = k + 1 bytes, the k numbers from each row's second byte, every row
// uncovered; rows that stay move down in order, and each covered row's first
// byte is set to 1 where it stood before any row moved onto it. Returns the
// number of rows covered.
int subcount_cover(subcount &sc, const int *cover, unsigned char *table, int w, int rows);

// Uncovered k-sets that the x-set (x ascending numbers) covers.
int subcount_count(const subcount &sc, const int *xset);

// The x-set that covers the most uncovered k-sets, the lowest row on ties,
// among nx-table rows 1..rows; bound[r] is never below row r's count and is
// lowered to exact counts as rows are counted. Returns the count and sets
// *row (0 when no x-set covers anything). advanced(r) is called from the
// calling thread, in order, as rows up to r have been scanned.
int subcount_best(subcount &sc, int *bound, int rows, int *row, void (*advanced)(int));

// Asks the system for large pages under a big array (a hint; nothing
// happens where they are refused). They pay for the bound array, written
// at scattered runs every step; for the tables, read in order, they cost
// more to fault in than they save (L(49,6,6,2): 2.6 -> 2.9 s of CPU).
void subcount_advise(void *p, size_t bytes);
