// The symmetric search by base blocks, for vorlank-design: wheels that a
// group of the pool maps onto themselves, held as a few base blocks (the
// wheel is the union of their orbits), where the x-sets are too many to list
// their orbits (symmetric.h lists them). Only the k-sets' orbits are listed:
// the orbit of a base block B covers the k-orbit of each k-set K with
// |K ∩ B| >= t (if g(B) covers K, then B covers g^-1(K)), and its size is
// the group's order over the elements that fix B. Simulated annealing over
// the base blocks, several runs over groups and seeds on several threads.
// Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "design/methods/orbits.h"
#include "design/methods/symmetric.h"

namespace design::inline VORLANK_SETS {

// The same options as the symmetric search's.
using BlockOptions = SymmetricOptions;

struct BlockWheel {
  std::vector<Set> covers;  // proved; empty where no wheel below beat was found
  std::string group;
  size_t order = 0, base_blocks = 0;
};

// Where the search by base blocks takes s: the k-sets' orbits can be listed
// and the x-sets' cannot (the symmetric search over listed orbits takes the
// rest).
bool blocks_apply(const Shape &s);

// The smallest wheel for s that one of the candidate groups maps onto
// itself, as base blocks (for any s whose k-sets' orbits can be listed).
BlockWheel block_wheel(const Shape &s, const BlockOptions &o);

// The k-orbits (of the orbits k of the k-sets under a group) that the orbit
// of the x-set b covers, each once (uses and leaves `mark`, one entry per
// k-orbit, all false).
void block_covers(const Shape &s, const Orbits &k, Set b, std::vector<uint8_t> &mark,
                  std::vector<uint32_t> &out);

}  // namespace design
