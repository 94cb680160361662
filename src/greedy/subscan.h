// The scan's kernel, shared by subcount.cpp (which drives it) and
// subscan.cpp (which compiles it once for each instruction set).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "greedy/subcount.h"

// What one scan thread keeps of the group Q it evaluates: for every level j,
// the ranks of the subsets S of Q as the low part of S + {v} ("one") and of
// S + {a, v} ("two"), and the sum for the subsets of Q alone.
struct alignas(64) subscratch {
  uint32_t q_only;           // sums wrap: only the final count need fit an int
  std::vector<subseed> top;  // the best runs this thread evaluated, best first
  int64_t runs = 0;          // runs this thread counted
  alignas(64) uint32_t with_a[subcount_max_run + subcount_lanes];  // counts of Q + a, per run
  // The group's ranks as a tile reads them, negated, per level: those of
  // "one" at at[j][0..cells_one[j]), then those of "two" up to cells[j];
  // ones[j] and twos[j] are where the next of each goes as they are built.
  std::vector<int64_t> at[subcount_max_x + 1];
  int cells_one[subcount_max_x + 1], cells[subcount_max_x + 1];
  int ones[subcount_max_x + 1], twos[subcount_max_x + 1];

  // The group last built, for the next one that differs from it only in its
  // last two numbers (see build_group): the subsets that hold both (block
  // 0), the last but not the one before (block 1), the one before but not
  // the last (block 2) sit in at[j] from one_at[b][j] to one_at[b + 1][j] and
  // from two_at[b][j] to two_at[b + 1][j], their own ranks in zero[j] from
  // zero_at[b][j] to zero_at[b + 1][j]; q_block2 is the sum for block 2,
  // q_rest for the subsets that hold neither.
  bool built = false;
  unsigned char set[subcount_max_x];
  std::vector<int64_t> zero[subcount_max_x + 1];
  int one_at[4][subcount_max_x + 1], two_at[4][subcount_max_x + 1];
  int zero_at[4][subcount_max_x + 1];
  uint32_t q_block2, q_rest;

  // The same blocks as flat lists, made at the first full build (the
  // blocks' bounds are alike for every group): the ranks of at[] that a
  // move shifts, as spans with their delta (block * 3 + u) or one by one
  // where the spans are short (a loop over a span of one or two costs more
  // than the shift: L(45,6,6,3)), and the spans of own ranks in zero[],
  // with their level and block; those of blocks 0
  // and 1 first, shifts01 and owns01 of them. One loop over each instead of
  // one per level and block: where x is small, most blocks are empty or
  // hold one rank.
  struct shift {
    int64_t *rank;
    int count, by;
  };
  struct own {
    int64_t *rank;
    int count, block;
    const sublevel *level;
  };
  std::vector<shift> shifts;
  std::vector<own> owns;
  int shifts01 = 0, owns01 = 0;
  bool one_by_one = false;  // the spans are cut into single ranks (where they are short)
  bool flat = false;        // the lists are made
};

// Runners-up kept for the next scan.
constexpr size_t subscan_seeds = 8;

// A candidate's standing: higher count first, then lower row.
inline uint64_t subscan_pack(int count, int row) { return (uint64_t)count << 32 | (uint32_t)~row; }

// C(n - s, m): the share in a rank of number s as the m-th largest.
inline int64_t subshare(const subcount &sc, int s, int m) {
  return sc.binom[(size_t)(sc.n - s) * (sc.jhi + 1) + m];
}

// The counter of the j-set of rank r.
inline int subget(const sublevel &lv, int64_t r) {
  int64_t p = lv.last - r;
  switch (lv.bits) {
  case 1:
    return lv.u8[p >> 3] >> (p & 7) & 1;
  case 8:
    return lv.u8[p];
  case 16:
    return lv.u16[p];
  default:
    return (int)lv.u32[p];
  }
}

// Scans chunk c of the groups: lowers bound[] and the run and group maxima
// to exact counts where they could beat best, raises best, and keeps the
// thread's runners-up in w.top. Bounds are written with non-temporal stores:
// the caller fences before it reads them.
using subscan_fn = void (*)(subcount &sc, int c, int *bound, subscratch &w,
                            std::atomic<uint64_t> &best);
extern const subscan_fn subscan_kernels[subkernels];
