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
// and the output; this file only counts.
#pragma once

#include <cstdint>
#include <vector>

// The counters of one level j: C(n,j) of them, each as narrow as
// C(n-j,k-j), the count of a j-set while nothing is covered.
struct sublevel {
  int bits = 0, coef = 0;            // bits: 1, 8, 16 or 32; coef: (-1)^(j-t) C(j-1,t-1)
  int64_t last = 0;                  // the counter of rank r is number last - r
  std::vector<unsigned char> store;  // the counters, then slack for the lanes of a run
};

// A row that stood near the top of the last scan, with its x-set.
struct subseed {
  uint64_t standing;  // count and row, as the scan compares them
  int row;
  unsigned char set[20];
};

// A j-subset of the positions of a k-set: a (j-1)-subset and one more
// position, below all of that subset's.
struct subkid {
  int parent, low;
};

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
  int threads = 1;                       // scan threads
  std::vector<subseed> seeds;            // the best rows of the last scan
};

// Bytes the counters and the run index take for these parameters (t >= 1).
double subcount_bytes(int n, int k, int x, int t);

// Sets up for pool 1..n with every k-set uncovered; start is the bound every
// x-set starts with (C(n,k)).
void subcount_init(subcount &sc, int n, int k, int x, int t, int start);

// Splits the scan into chunks of whole groups of about `rows` rows each;
// the threads take chunks in turn. (Init picks a size and a thread count.)
void subcount_chunks(subcount &sc, int64_t rows);

// The k-set (k ascending numbers) has become covered.
void subcount_remove(subcount &sc, const unsigned char *kset);

// The rows of an nk-table (rows 1..rows of w bytes, the k numbers from each
// row's second byte) that share at least t numbers with the cover whose
// numbers are marked in in_cover, into covered in ascending order.
void subcount_covered(const subcount &sc, const unsigned char *table, int w, int rows,
                      const unsigned char *in_cover, std::vector<int> &covered);

// subcount_remove for each of the given rows of an nk-table.
void subcount_remove_rows(subcount &sc, const unsigned char *table, int w,
                          const std::vector<int> &rows);

// Uncovered k-sets that the x-set (x ascending numbers) covers.
int subcount_count(const subcount &sc, const int *xset);

// The x-set that covers the most uncovered k-sets, the lowest row on ties,
// among nx-table rows 1..rows; bound[r] is never below row r's count and is
// lowered to exact counts as rows are counted. Returns the count and sets
// *row (0 when no x-set covers anything). advanced(r) is called from the
// calling thread, in order, as rows up to r have been scanned.
int subcount_best(subcount &sc, int *bound, int rows, int *row, void (*advanced)(int));
