// Proofs that no smaller wheel exists, for covering designs (k = t) small
// enough to list their x-sets. Two arguments, each a complete proof:
// - number by number: the covers through a number, less that number, are a
//   wheel of L(n-1,t-1,x-1,t-1), so each number lies in at least R covers,
//   R that instance's optimum (proved the same way, down to t = 1, or by
//   the exact solve) or its lower bound, and a wheel has at least
//   ceil(n R / x) covers;
// - the exact solve over all x-sets with each number in at least R covers
//   and one cover fixed to 1..x (any wheel can be relabelled so), which
//   cuts the pool's relabellings that leave the solver's tree no smaller;
// - where the x-sets are too many for that, no wheel of b covers by fixing
//   the covers through the number in fewest: a wheel of b covers (any smaller
//   one grows to b) has a number in r covers, R <= r <= b x / n, and every
//   other number in at least r; relabelled, its covers through that number
//   are number 1 added to one of the wheels of L(n-1,t-1,x-1,t-1) with r
//   covers up to relabelling (classes.h), and the exact solve over the
//   x-sets without number 1 finds the rest or proves there is none.
// Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// x-sets the exact solve takes as columns: C(9,5) = 126 proves in about 20
// s with the cuts above; C(12,6) = 924 (L(12,3,6,3) = 15) not in a minute.
constexpr uint64_t kMostProofColumns = 300;
// x-sets without one number, and (x-1)-sets, that fixing the covers through
// it takes: C(11,5) = 462, L(12,3,6,3) = 15 in under a second.
constexpr uint64_t kMostFixedColumns = 500;

struct Proof {
  uint64_t lower = 0;      // no wheel has fewer covers
  std::vector<Set> wheel;  // a wheel of `lower` covers where the exact solve found one
  std::string how;         // how `lower` was proved ("" where only the known bounds give it)
};

// Whether the proofs apply to s: k = t and x-sets few enough for the exact
// solve or for fixing the covers through one number.
bool provable(const Shape &s);

// The largest lower bound on s it proves by `end` (or until *stop is set);
// the exact solve of s itself, or the fixing, runs only where the argument
// number by number stays below `aim`. The exact solve takes instances of at
// most `most_columns` x-sets, the fixing the others (tests set 0 to fix).
Proof prove_lower(const Shape &s, uint64_t aim, Deadline end,
                  const std::atomic<bool> *stop = nullptr,
                  uint64_t most_columns = kMostProofColumns);

}  // namespace design::inline VORLANK_SETS
