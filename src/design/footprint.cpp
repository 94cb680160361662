// The memory a vorlank-design run takes.
#include "design/footprint.h"

#include <cmath>

#include "design/methods/anneal.h"
#include "design/methods/partgreedy.h"
#include "design/methods/weighted.h"

namespace design::inline VORLANK_SETS {

// Below this many covers no count of the check walk reaches 255, and the
// local search keeps its multiplicities in bytes.
static constexpr uint64_t kByteCounts = 255;

// The peak of one shape's search. A part is proved and searched only once
// a greedy has made its wheel; the whole instance always is (its wheel
// composed from parts, or given).
static double shape_bytes(const Shape &s, uint64_t covers, double avail_mb, bool whole) {
  double peak = 0;
  if (double b = colex_greedy_bytes(s); std::isfinite(b)) peak = b;
  if (engine_fits(s, avail_mb)) peak = std::max(peak, engine_greedy_bytes(s));
  if (!whole && peak == 0) return 0;
  double ksets = (double)binom()(s.n, s.k);
  double count = covers < kByteCounts ? 1 : 2;
  peak = std::max(peak, ksets * count);  // the check walk: bytes, 16 bits where one fills
  if (ksets <= (double)kMaxAnnealKsets && covers <= kMaxAnnealCovers) {
    double multiplicity = covers <= kByteCounts ? 1 : 2;
    peak = std::max(peak, ksets * (multiplicity + sizeof(uint32_t)));
  }
  // The weighted search, where k = t (method_weighted.cpp).
  if (s.k == s.t && ksets <= (double)kMaxWeightedKsets && covers <= kMaxWeightedCovers)
    peak = std::max(peak, ksets * kWeightedBytesPerKset);
  return peak;
}

double run_bytes(const Shape &s, uint64_t covers, double avail_mb) {
  // A part of m <= x numbers takes one cover, padded; one with k-sets larger
  // than its pool none.
  double peak = 0;
  for (int m = s.x + 1; m <= s.n; m++)
    for (int j = std::max(s.t, 1); j <= std::min(s.k, m - 1); j++)
      peak = std::max(peak, shape_bytes({m, j, s.x, s.t}, covers, avail_mb, m == s.n && j == s.k));
  return peak;
}

}  // namespace design
