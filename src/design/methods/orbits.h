// The covering problem reduced by a group: a wheel that the group maps onto
// itself is a union of orbits of x-sets, and it covers every k-set when it
// covers one k-set of each orbit. An x-orbit covers a k-orbit when a
// t-subset of the one and a t-subset of the other lie in the same t-orbit
// (|B ∩ K| >= t is a shared t-set), so coverage between orbits comes from
// their lists of t-orbits, without touching the group again.
// Plain data in and out; nothing process-wide.
#pragma once

#include <cstdint>
#include <vector>

#include "design/methods/groups.h"
#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// Orbit ids are looked up by colex rank, 4 bytes a set, and each group
// fills its own table: C(40,6) fits, C(49,6) does not (the whole of
// L(49,6,6,3) under one group is not worth it: its parts are).
constexpr uint64_t kMaxOrbitTable = (uint64_t)1 << 22;

// The orbits of the m-sets of the pool under a group.
struct Orbits {
  std::vector<int32_t> id;  // orbit of each m-set, by colex rank
  std::vector<Set> rep;     // each orbit's first m-set in colex order
  std::vector<uint32_t> size;
};

// False where C(n,m) exceeds kMaxOrbitTable or there are more than
// max_orbits orbits (found out early, before the whole table is done).
bool find_orbits(const Group &g, int m, size_t max_orbits, Orbits &out);

struct OrbitCover {
  Shape s;
  Orbits t, k, x;
  std::vector<std::vector<uint32_t>> k_of_t;  // t-orbit -> the k-orbits holding one of its sets
  std::vector<std::vector<uint32_t>> cover;   // x-orbit -> the k-orbits it covers
  uint64_t nonzeros = 0;                      // entries of cover
};

// The uncovered k-orbits of an orbit search in a list with a position
// index, so that opening, closing and picking one are O(1); all open at first.
struct HoleList {
  std::vector<uint32_t> holes, hole_at;
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit HoleList(size_t k_orbits) : hole_at(k_orbits, kNone) {
    for (uint32_t k = 0; k < k_orbits; k++) open(k);
  }
  void open(uint32_t k) { hole_at[k] = (uint32_t)holes.size(), holes.push_back(k); }
  void close(uint32_t k) {
    uint32_t at = hole_at[k], last = holes.back();
    holes[at] = last, hole_at[last] = at, holes.pop_back(), hole_at[k] = kNone;
  }
};

struct OrbitLimits {
  size_t k_orbits, x_orbits;
  uint64_t nonzeros;
};

// False where the reduced problem exceeds the limits (or k > n, x >= n).
bool build_orbit_cover(const Shape &s, const Group &g, const OrbitLimits &most, OrbitCover &out);

// The k-orbits the x-orbit of the x-set b covers, each once (uses and leaves
// `mark`, one entry per k-orbit, all false).
void covered_orbits(const OrbitCover &oc, Set b, std::vector<uint8_t> &mark,
                    std::vector<uint32_t> &out);

// Every x-set of the chosen x-orbits.
std::vector<Set> expand(const OrbitCover &oc, const std::vector<uint32_t> &chosen);

// The least total reachable as a sum of x-orbit sizes (each orbit used at
// most once) within [from, below); below where none is.
uint64_t least_total(const OrbitCover &oc, uint64_t from, uint64_t below);

}  // namespace design
