// The wheels of a small covering design (k = t) with a given number of
// covers, one of each class under relabelling of the pool: the leaves of the
// proof that fixes the covers through one number (proof.h). Plain data in
// and out; nothing process-wide.
#pragma once

#include <atomic>
#include <vector>

#include "base/deadline.h"
#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// The most covers a class is told apart by: its canonical form tries every
// order of the covers (8! = 40,320).
constexpr int kMostClassCovers = 8;

// Every wheel of s (k = t, pool of at most 64 numbers) with exactly `covers`
// distinct covers, up to relabelling, each once. False, with `out` unfinished,
// where `end` or *stop came first.
bool wheel_classes(const Shape &s, int covers, Deadline end, const std::atomic<bool> *stop,
                   std::vector<std::vector<Set>> &out);

}  // namespace design::inline VORLANK_SETS
