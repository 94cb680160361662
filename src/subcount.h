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

// The counters of one level j: C(n,j) of them, each 1, 2 or 4 bytes wide
// (as wide as C(n-j,k-j), the count of a j-set while nothing is covered).
struct sublevel {
  int width = 0, coef = 0;           // coef: (-1)^(j-t) C(j-1,t-1)
  std::vector<unsigned char> store;  // lanes of slack before rank 0
  unsigned char *at = nullptr;       // the counter of rank 0
};

struct subcount {
  int n = 0, k = 0, x = 0, t = 0;
  int jlo = 0, jhi = 0;         // the levels kept: t..min(k,x)
  std::vector<int64_t> binom;   // C(a,b) at a * (jhi + 1) + b, b <= jhi
  std::vector<sublevel> level;  // level[j] for jlo <= j <= jhi

  // The runs of the nx-table, grouped by their first x - 2 numbers (x >= 2).
  int groups = 0, runs = 0;
  std::vector<unsigned char> group_set;  // x - 2 numbers per group
  std::vector<int> group_row;            // first nx-table row of each group
  std::vector<int> group_run;            // first run of each group, then a sentinel
  std::vector<int> group_max;            // largest bound within the group
  std::vector<int> run_max;              // largest bound within the run
  std::vector<int> chunk_group;          // first group of each scan chunk, then a sentinel
  int threads = 1;                       // scan threads
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

// Uncovered k-sets that the x-set (x ascending numbers) covers.
int subcount_count(const subcount &sc, const int *xset);

// The x-set that covers the most uncovered k-sets, the lowest row on ties,
// among nx-table rows 1..rows; bound[r] is never below row r's count and is
// lowered to exact counts as rows are counted. Returns the count and sets
// *row (0 when no x-set covers anything). advanced(r) is called from the
// calling thread, in order, as rows up to r have been scanned.
int subcount_best(subcount &sc, int *bound, int rows, int *row, void (*advanced)(int));
