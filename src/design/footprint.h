// The memory a vorlank-design run takes, from the structures it allocates,
// so that a run too large for the machine is refused before it starts
// rather than ending half way. Plain data in and out.
#pragma once

#include <cstdint>

#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// The wheel size the estimate assumes without a given wheel: greedy wheels
// come out at 1.2 to 3 times the counting bound, and the search keeps none
// larger than its first.
constexpr uint64_t kCoversPerBound = 3;

// Bytes a run on s holds at its peak where its wheels have at most `covers`
// covers and avail_mb of memory is available (the engine greedy runs only
// where it fits half of that). Parts of the split (up to n numbers, k-sets
// of up to k) are searched one at a time, each by one of: the colex greedy
// or the engine greedy, then, where one of them can run, the check walk (a
// count per k-set, 1 byte, 2 where a count can reach 255) and the local
// search (a multiplicity per k-set, 1 byte, 2 above 255 covers, and a
// 4-byte hole index per k-set). The whole instance is always proved and
// searched. The peak is the largest of these over every part and the whole.
double run_bytes(const Shape &s, uint64_t covers, double avail_mb);

}  // namespace design
