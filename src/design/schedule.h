// vorlank-design's search: the schedule of the construction methods
// (method.h) over the parts of the split (split.h) and the whole instance,
// the budget of each phase, and the proof of the result by the check walk.
// Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/masks.h"

namespace design::inline VORLANK_SETS {

struct DesignOptions {
  double seconds = 30;
  uint64_t seed = 1;
  uint64_t moves = UINT64_MAX;  // cap on the moves of local search (for reproducible runs)
  // Called with the best size so far (0: none yet) and what the search works on.
  std::function<void(uint64_t, const std::string &)> progress;
  // Once set (by a signal), the search ends at once with the best wheel so far.
  const std::atomic<bool> *stop = nullptr;
  // A store of proved wheels, where there is one: the stored wheel of an
  // instance (empty: none), and a smaller proved wheel to keep.
  std::function<std::vector<Set>(const Shape &)> stored;
  std::function<void(const Shape &, const std::vector<Set> &, const std::vector<std::string> &)>
      keep;
};

struct Design {
  std::vector<Set> covers;         // proved
  std::vector<std::string> built;  // how, one line each
  uint64_t lower = 0;              // lower_bound of the instance
  bool optimal = false;            // no wheel is smaller: the exact solve or `proof` proved it
  std::string proof;               // how a bound the wheel meets was proved ("": the exact solve)
  uint64_t from_store = 0;         // the size of the stored whole wheel the search started from
  // Where no wheel came out for lack of time: what it would take ("its
  // proof alone would take about 13 seconds").
  std::string needs;
};

// Wall seconds the whole run may take: --seconds S, with a margin for what
// cannot be cut short (a greedy step, an exact solve, the proof).
double run_limit(double seconds);
// Estimated seconds of the final proof of a wheel for s of `covers` covers
// (0: the size guessed before any wheel is at hand).
double proof_seconds(const Shape &s, double covers = 0);

// The smallest wheel found for s (k <= n, x < n) within the options' time;
// `from` (a proved wheel, or empty) is one more candidate. Returns false
// when no proved wheel came out: the instance is out of reach of this
// program, or (out.needs not empty) of the time given.
bool design_wheel(const Shape &s, const std::vector<Set> &from, const DesignOptions &opt,
                  Design &out);

}  // namespace design
