// The split of vorlank-design: part wheels composed into a wheel of the
// whole pool, the best composition chosen by dynamic programming.
//
// Pool parts of sizes n1 + n2 = n and k1 + k2 = k + 1: a k-set has at least
// k1 numbers in the first part or at least k2 in the second, so a wheel for
// L(n1,k1,x,t) on the first part with one for L(n2,k2,x,t) on the second is
// a wheel for L(n,k,x,t). A part with k_i > n_i needs no cover, one with
// n_i <= x one cover (padded with other numbers), one with k_i < t cannot be
// covered at all. Where t >= 3 and k > t there is also the fringe: x - 1
// numbers F beside the rest A of the pool; a k-set with fewer than
// k - t + 2 numbers in A has t - 1 or more in F, so a wheel for
// L(n-x+1, k-t+2, x, t) on A with the n - x covers of F and one number of A
// (each of A but one) is a wheel for L(n,k,x,t): L(27,4,6,3) <= 77 + 21.
// Where t = 0 any one cover is a wheel. Plain data in and out; nothing
// process-wide.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// A leaf of a split: numbers offset + 1 .. offset + n, k-sets of size k.
// A Fringe part holds the x - 1 highest numbers F of its n, the others A
// (their own part of the split, below it); its covers are F with each number
// of A but the last, and k = t - 1: they cover the k-sets with t - 1 numbers
// in F and two in A, or t in F.
struct Part {
  int offset, n, k;
  enum Kind { Empty, Single, Direct, Fringe } kind;
};

// The size of a composition that cannot be made.
constexpr int64_t kNoWheel = INT64_MAX / 4;

// The best composition for every pool size m <= n and k-set size j <= k,
// given the size of a direct wheel of each (m, j) (negative: none).
struct SplitTable {
  int n = 0, k = 0, x = 0, t = 0;
  std::vector<int64_t> size;  // kNoWheel where none
  std::vector<int> how;       // kEmpty, ..., kFringe, or a split m1 * (k + 1) + j1
  enum { kEmpty = -1, kSingle = -2, kDirect = -3, kImpossible = -4, kFringe = -5 };

  SplitTable(const Shape &s, const std::function<int64_t(int, int)> &direct);
  size_t at(int m, int j) const { return (size_t)m * (k + 1) + j; }
  int64_t best(int m, int j) const { return size[at(m, j)]; }
  // The parts of the best composition of (m, j), its numbers from offset + 1.
  void parts(int m, int j, int offset, std::vector<Part> &out) const;
};

// The parts of the best split of s (none where nothing composes).
std::vector<Part> best_split(const Shape &s, const std::function<int64_t(int, int)> &direct);

// The union of part wheels, relabelled into their parts; wheels[i] is the
// wheel of parts[i] on the pool bits 0..n_i-1 (empty but for Direct parts).
std::vector<Set> compose(const Shape &s, const std::vector<Part> &parts,
                         const std::vector<std::vector<Set>> &wheels);

}  // namespace design
