// What vorlank-design knows of any wheel of an instance before and after a
// search: the lower bound on its size and the proof that covers are a wheel,
// and how the instance and a number of covers are written in its # lines.
// Plain data in and out; nothing process-wide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// The largest lower bound vorlank-check knows (counting, Schoenheim's where
// k = t, Turan-type where t < k); 0 where nothing needs covering (k > n), 1
// where one cover holds the pool.
uint64_t lower_bound(const Shape &s);
// The same with the name of the bound that gives it: "87 (Turán)".
std::string lower_bound_text(const Shape &s);
// The counting bound alone (0 and 1 as above). The guesses of a wheel's size
// before it is built (about 3 times this) and of a part's from its neighbours
// are measured against it: it grows with the pool as wheels do.
uint64_t counting_bound(const Shape &s);

// Whether the covers cover every k-set, by the check walk of vorlank-check.
bool proved(const Shape &s, const std::vector<Set> &covers);

// The k-sets one cover covers.
uint64_t per_cover(const Shape &s);

// Why vorlank-design cannot take the pool of s; "" where it can.
std::string pool_refusal(const Shape &s);

std::string instance(const Shape &s);  // "L(49,6,6,3)"
std::string covers_text(uint64_t n);   // "1 cover", "77 covers"

}  // namespace design
