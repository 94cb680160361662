// Local search for vorlank-design: from a wheel without holes, drop the cover
// whose removal opens the fewest holes, then move covers by simulated
// annealing on the number of holes until none is left; repeat.
//
// A move aims at a random hole K: a cover sharing t - 1 numbers with K
// swaps one of its numbers outside K for one of K's numbers outside it, so
// that K becomes covered. Only the k-sets meeting the cover in exactly t
// numbers, the leaving or the entering one among them, change their
// multiplicity, so a move costs 2 C(x-1,t-1) C(n-x-1,k-t) look-ups, not a
// pass over the wheel. Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// Multiplicities are 16 bits wide at most, so a wheel under local search has
// at most this many covers; up to 255 covers they take one byte.
constexpr size_t kMaxAnnealCovers = 65535;
// k-sets are held by 32-bit ranks, and each takes up to 6 bytes of memory.
constexpr uint64_t kMaxAnnealKsets = (uint64_t)1 << 28;

// Look-ups one move makes: 2 C(x-1,t-1) C(n-x-1,k-t).
inline uint64_t move_lookups(const Shape &s) {
  return 2 * binom()(s.x - 1, s.t - 1) * binom()(s.n - s.x - 1, s.k - s.t);
}

// Estimated seconds of setting up local search of a wheel of `covers` covers
// (a count per k-set, every cover's k-sets), which cannot stop part way.
double setup_seconds(const Shape &s, uint64_t covers);

// The covers, the multiplicity of every k-set (indexed by colex rank) and
// the uncovered k-sets in a list with a position index, so that opening,
// closing and picking a hole are O(1).
template <class T> class Annealer {
public:
  Annealer(const Shape &s, const std::vector<Set> &covers, uint64_t seed);

  uint64_t holes() const { return hole_list_.size(); }
  const std::vector<Set> &covers() const { return covers_; }
  T multiplicity(uint64_t rank) const { return mult_[rank]; }
  // One move aimed at a random hole (there must be one); returns whether it
  // was accepted at this temperature.
  bool move(double temperature);
  // Removes the cover whose removal opens the fewest holes; returns them.
  uint64_t drop_cheapest();
  // Look-ups one move makes.
  uint64_t move_cost() const;

private:
  void open(uint64_t r);
  void close(uint64_t r);
  uint64_t unique_count(Set c);  // k-sets only this cover covers

  Shape s_;
  Set pool_;
  Rng rng_;
  std::vector<Set> covers_;
  std::vector<T> mult_;
  std::vector<uint32_t> hole_list_;
  std::vector<uint32_t> hole_at_;  // position in hole_list_, or kNone
  // Cached unique counts, a lower bound of the true ones while no move has
  // been accepted since (dropping a cover only raises the others' counts).
  std::vector<uint64_t> unique_;
  bool unique_valid_ = false;
  // Scratch of move() and unique_count().
  std::vector<Set> in_cover_, outside_;
  std::vector<uint32_t> lost_, gained_;
  std::vector<size_t> aimed_;
  double exp_temp_ = -1, exp_table_[16];
};

struct AnnealStop {
  std::chrono::steady_clock::time_point end;  // stop at this time
  uint64_t moves;                             // or after this many moves
  const std::atomic<bool> *halt = nullptr;    // or once this is set
};

// The smallest wheel without holes met while annealing from start (which
// must have none), never larger than start; stops at lb covers, at the
// time or at the move cap, and does not start where its setup would not
// end in the time. Reports each new size through progress, and the
// moves made through moves_used. The same seed makes the same moves.
std::vector<Set> anneal(const Shape &s, const std::vector<Set> &start, uint64_t lb,
                        const AnnealStop &stop, uint64_t seed, uint64_t *moves_used,
                        const std::function<void(size_t)> &progress);

}  // namespace design
