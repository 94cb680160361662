// Permutation groups of the pool for vorlank-design's symmetric search: the
// candidate groups of a pool of n numbers, each the closure of a few
// generators. Families: equal cycles with 0-3 fixed points (with maps that
// rotate the cycles onto each other or multiply within a cycle), the affine
// maps x -> ax + b on GF(q), and PSL(2,q), PGL(2,q) on the projective line
// of q + 1 points. Plain data in and out; nothing process-wide.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// A permutation of the pool bits 0..n-1 (entries from n on are unused).
using Perm = std::array<uint8_t, kMaxPool>;

// Elements a group may have: 64 bytes each, and the orbit search applies
// every one to every orbit's representative.
constexpr size_t kMaxGroupOrder = 1 << 18;
// Fixed points a family may leave beside the points it moves.
constexpr int kMaxFixed = 3;

struct Group {
  std::string name;  // "3 cycles of 9, rotated onto each other", "PSL(2,11)", ...
  int n = 0;
  std::vector<Perm> gens;
  std::vector<Perm> elements;  // by closure; the identity first
};

Set apply(const Perm &g, Set s);

// The closure of the generators: false where it exceeds kMaxGroupOrder or
// is not done by `end` (a wide pool's groups take a while: 255 bytes an element).
bool close_group(Group &g, Deadline end = Deadline::max());

// GF(q) for a prime power q <= 64: elements 0..q-1 as base-p digit vectors
// of polynomials, 0 the zero and 1 the one.
struct Field {
  int q = 0, p = 0;
  std::vector<uint8_t> add, mul;  // q * q tables
  int primitive = 0;              // an element of multiplicative order q - 1
  int plus(int a, int b) const { return add[a * q + b]; }
  int times(int a, int b) const { return mul[a * q + b]; }
  int neg(int a) const;
  int inverse(int a) const;  // a != 0
};
// False where q is not a prime power up to 64.
bool make_field(int q, Field &f);

// The candidate groups of a pool of n numbers, largest order first (ties in
// the order generated), without the trivial group and without groups of
// order below min_order; each closed, duplicates removed. Only those closed
// by `end`.
std::vector<Group> candidate_groups(int n, size_t min_order, Deadline end = Deadline::max());

}  // namespace design
