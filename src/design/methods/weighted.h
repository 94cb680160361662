// Weighted local search for vorlank-design: from a wheel without holes,
// drop a cover, then move covers until no hole is left; repeat. Unlike the
// annealer (anneal.h), every k-set carries a weight that grows by one for
// each move it stays a hole, and each move is the best of the moves aimed
// at a random hole by the weighted holes it opens less those it closes:
// holes that resist gain weight until the moves around them give way (row
// weighting for set cover; the breakout of local minima). A short tabu
// keeps a cover from undoing its last moves.
//
// A move aims at a hole K: a cover c sharing t - 1 numbers with K swaps a
// number outside K for one of K's. Its score comes from tables kept up to
// date move by move, not from a pass over the k-sets it touches:
//   lost     the weight of the k-sets only c covers that share exactly t
//            numbers with c, the leaving one among them: kept per cover and
//            number, less those that hold the entering number too (where
//            k > t, C(x,t) C(n-x-1,k-t-1) look-ups);
//   closed   the weight of the holes sharing t - 1 numbers with c, the
//            entering number among them and the leaving one not: a pass
//            over the list of holes, which is short near a wheel.
// Each k-set holds the xor of the indices of the covers covering it: the
// one cover's index where a single cover covers it. Plain data in and out;
// nothing process-wide.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "design/methods/anneal.h"
#include "base/masks.h"

namespace design::inline VORLANK_SETS {

// Multiplicities and cover indices take 16 bits; weights and the hole index
// 32: 12 bytes a k-set.
constexpr size_t kMaxWeightedCovers = 65535;
constexpr uint64_t kMaxWeightedKsets = (uint64_t)1 << 22;
constexpr double kWeightedBytesPerKset = 12;

class WeightedSearch {
public:
  WeightedSearch(const Shape &s, const std::vector<Set> &covers, uint64_t seed);

  uint64_t holes() const { return hole_list_.size(); }
  const std::vector<Set> &covers() const { return covers_; }
  uint16_t multiplicity(uint64_t rank) const { return mult_[rank]; }
  uint32_t weight(uint64_t rank) const { return weight_[rank]; }
  // The weight of the k-sets only cover i covers that share exactly t
  // numbers with it, number o among them (o in the cover; else 0).
  int64_t lost(size_t i, int o) const { return lost_[i * s_.n + o]; }
  // The best move aimed at a random hole (there must be one), then every
  // hole's weight up by one; returns the change of the weighted holes the
  // move made (before the raise).
  int64_t move();
  // Removes the cover whose removal opens the least weight of holes.
  void drop_cheapest();

private:
  void rebuild();  // counts, indices, holes and tables from the covers
  void open(uint64_t r);
  void close(uint64_t r);
  void recount(size_t i);  // lost_ of cover i
  // lost_ of cover j, with the k-set K of weight w covered by j alone
  // (sign +1) or no longer alone (-1).
  void credit(size_t j, Set K, int64_t w);
  void apply(size_t i, int out, int in);
  void halve_weights();

  Shape s_;
  Set pool_;
  Rng rng_;
  std::vector<Set> covers_;
  std::vector<uint16_t> mult_;
  std::vector<uint16_t> who_;  // xor of the indices of the covers covering it
  std::vector<uint32_t> weight_;
  std::vector<uint32_t> hole_list_;
  std::vector<Set> hole_sets_;     // the holes of hole_list_ as sets
  std::vector<uint32_t> hole_at_;  // position in hole_list_, or none
  std::vector<int64_t> lost_;      // per cover, per number of the pool
  std::vector<uint64_t> tabu_;     // per cover and number: movable again from that move
  uint64_t moves_ = 0;
  // Scratch of move(), apply() and recount().
  std::vector<Set> in_cover_, outside_;
  std::vector<uint32_t> aimed_;
  std::vector<int64_t> gain_, keep_;
};

// The smallest wheel without holes met while searching from start (which
// must have none), never larger than start; stops at lb covers, at the time
// or at the move cap. Reports each new size through progress and the moves
// made through moves_used. The same seed makes the same moves.
std::vector<Set> weighted_search(const Shape &s, const std::vector<Set> &start, uint64_t lb,
                                 const AnnealStop &stop, uint64_t seed, uint64_t *moves_used,
                                 const std::function<void(size_t)> &progress);

}  // namespace design
