// The symmetric search of vorlank-design: wheels that a group of the pool
// maps onto themselves, found among the orbits of x-sets, by an exact solve
// (CBC) where the reduced problem is small, else by simulated annealing
// over orbits. Groups, seeds and solves are independent and run on several
// threads. Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "design/methods/orbits.h"

namespace design::inline VORLANK_SETS {

// Groups below this order reduce the problem too little to pay; the
// trivial group serves only the exact solve of small instances.
constexpr size_t kMinGroupOrder = 4;

struct SymmetricOptions {
  // Only wheels smaller than this count, or one as large that the exact
  // solve without a group proves optimal.
  uint64_t beat = UINT64_MAX;
  uint64_t lower = 0;  // a wheel this small is optimal: stop there
  Deadline end;
  // Where not UINT64_MAX: each annealing run stops after a share of these
  // moves, so that its result depends on the seed alone (the search still
  // ends at `end`).
  uint64_t moves = UINT64_MAX;
  uint64_t seed = 1;
  int threads = 1;
  std::function<void(uint64_t)> progress;   // a smaller wheel was found (thread-safe calls)
  const std::atomic<bool> *halt = nullptr;  // once set, every run stops
};

struct SymmetricWheel {
  std::vector<Set> covers;  // proved; empty where no wheel below beat was found
  std::string group;        // "the trivial group" for the exact solve of the whole
  size_t order = 0, t_orbits = 0, k_orbits = 0, x_orbits = 0;
  bool exact = false;    // by the exact solve (else by annealing over orbits)
  bool optimal = false;  // the exact solve proved no wheel of the group smaller
  bool trivial = false;  // the group is the trivial one: optimal means no wheel is smaller
};

// The smallest wheel for s that one of the candidate groups maps onto itself.
SymmetricWheel symmetric_wheel(const Shape &s, const SymmetricOptions &o);

// The threads to use: VORLANK_THREADS where set (at least 1), else every core.
int design_threads();

struct OrbitAnneal {
  std::vector<uint32_t> chosen;  // x-orbits of the smallest total met below beat; empty: none
  uint64_t least_holes = 0;      // the fewest uncovered k-orbits met below beat otherwise
};

// Annealing over the orbits of one group, from a random orbit and then the
// greedy cover over orbits, for `seconds` after that start (a large group's
// greedy over hundreds of thousands of orbits takes a tenth of a second of
// its own) and at most to `end`; exposed for tests.
OrbitAnneal anneal_orbits(const OrbitCover &oc, const Group &g, uint64_t beat, uint64_t lower,
                          uint64_t moves, Deadline end, double seconds, uint64_t seed,
                          const std::function<bool()> &cancel);

}  // namespace design
