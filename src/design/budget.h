// The budget rules of vorlank-design's schedule: the shares of the run's
// time each phase takes, the slices of the local search, and what makes a
// proof cheap. Constants only, read by the phases and by the schedule.
#pragma once

#include <cstdint>

#include "base/masks.h"

namespace design::inline VORLANK_SETS {
// The greedy's share of the time, counted in estimated seconds so that the
// split chosen does not depend on how fast or loaded the machine is.
inline constexpr double kGreedyShare = 0.25;
// The greedy of the whole instance may take up to this share of the time
// before the parts' greedy (L(22,10,10,6): 5 s, where no split comes near),
// and only kWholeGreedyKnownShare where the quickest wheel came from a split
// of at most kGoodSplit times the counting bound: there the split's parts pay
// better (L(49,6,6,3): 175 covers for a bound of 54 at once, where its
// greedy took 11 to 19 s of 30 and the symmetric search of L(27,4,6,3) lost
// that time). Where the split is poorer, the whole's greedy may take all the
// search's time (L(22,10,10,6) in 3 s: 35 for 5, where the greedy gives 24).
inline constexpr double kWholeGreedyShare = 0.5;
inline constexpr double kWholeGreedyKnownShare = 0.1;
inline constexpr double kGoodSplit = 4;
// Where k > t, the greedy of a smaller pool that tells whether the whole's
// may beat the split at hand takes at most this share of the time: the
// whole's greedy of L(59,6,6,3) took 35 s of 60 and came out above the
// split's 436 covers, leaving the parts 20 s.
inline constexpr double kProbeShare = 0.02;
// Of the time left after the greedy, the search methods (the symmetric
// search) take this share, less where every part is done sooner.
inline constexpr double kSearchShare = 0.7;
// The search methods also try the covering designs of the splits within
// kNearSearch of the split they begin with, and the parts' local search the
// parts of the splits within kNearSplit of the split known
// (Search::near_designs). L(59,6,6,3): C(26,6,3) 162 + L(33,4,6,3) 258 was
// 1.005 times the split's 418 and came to 309; in L(49,6,6,3) at 30 s the
// nearest design, C(23,6,3) 104 + L(26,4,6,3) 97, is 1.15 times 175, and
// with half the search's time the symmetric search of L(27,4,6,3) came to
// 95 where it finds 90 (seed 3).
inline constexpr double kNearSearch = 1.05;
inline constexpr double kNearSplit = 1.15;
// A part's second start (Search::second_starts) at most this many times
// its wheel: the fringe's 258 of L(33,4,6,3) anneals below the symmetric
// search's 198 in a slice; the fringe's 159 of L(20,6,6,4) took two slices
// to reach 88, against 76.
inline constexpr double kSecondStart = 1.5;
// Of the time left after them, the parts' local search takes this share
// (less when every part stops improving), the whole wheel the rest.
inline constexpr double kPartShare = 0.7;
// Each turn of a part's local search takes this share of the parts' time.
inline constexpr int kSlices = 6;
// A part settles after this many slices in a row without a smaller wheel:
// where k > t, gains come seconds apart.
inline constexpr int kFailedSlices = 2;
// Where a move of the whole wheel looks up more k-sets than this (L(49,6,6,3):
// 229,600, a few hundred moves a second), its local search finds little, and
// the parts keep their slices to the end of their share instead of settling.
inline constexpr uint64_t kCostlyWholeMove = 100'000;
// Look-ups of the short local search of each greedy part wheel, and their
// estimated seconds.
inline constexpr uint64_t kQuickLookups = 4'000'000;
inline constexpr double kSecondsPerLookup = 5e-9 * kSetCost;
// A proof this quick keeps the wheel at hand fresh after each phase (and an
// interrupt proves the newest wheel rather than print the one at hand):
// kCheapProof seconds, or kCheapProofShare of the run where that is more.
inline constexpr double kCheapProof = 1;
inline constexpr double kCheapProofShare = 0.02;

// A small covering design's proof of its lower bound (proof.h) takes at
// most this share of the search's time, before the search methods, so that
// they stop at the bound it proves (L(10,5,6,5): 50 in about 25 s of 60).
inline constexpr double kProofShare = 0.5;

}  // namespace design::inline VORLANK_SETS
