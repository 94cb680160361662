// Greedy wheels for vorlank-design: the first wheel of a part, which the
// local search then improves. Two candidate orders, as they find different
// wheels: colex order with exact counts (first in colex order on ties; it
// finds the Steiner system S(3,6,22) as L(22,3,6,3)), and the greedy run's
// subset-count engine (lowest lexicographic row on ties). Neither lays seed
// blocks. Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/deadline.h"
#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// The x-sets the colex greedy holds a count for, 4 bytes each.
constexpr uint64_t kMaxGreedyCandidates = (uint64_t)1 << 26;
// Bytes the engine's counters, bounds and flags may take.
constexpr double kMaxEngineBytes = 2.0 * (1 << 30);


// Estimated seconds of each greedy on this project's machines (from the
// candidates, the k-sets and an estimate of the steps), and whether it
// can run at all: what the search decides by, so that its choices do not
// depend on the machine's speed. Infinity where it cannot run.
double colex_greedy_seconds(const Shape &s);
double engine_greedy_seconds(const Shape &s);

// Bytes each greedy allocates on s: the colex greedy's counts and flags, the
// engine's counters, bounds and flags; infinity where it cannot take s.
double colex_greedy_bytes(const Shape &s);
double engine_greedy_bytes(const Shape &s);
// Whether the engine runs on s with avail_mb of memory available: it takes
// at most kMaxEngineBytes and half of what is available.
bool engine_fits(const Shape &s, double avail_mb);

// Each gives up, returning no covers, at the deadline or once halt is set.
std::vector<Set> colex_greedy(const Shape &s, Deadline give_up,
                              const std::atomic<bool> *halt = nullptr);
std::vector<Set> engine_greedy(const Shape &s, Deadline give_up,
                               const std::atomic<bool> *halt = nullptr);

}  // namespace design
