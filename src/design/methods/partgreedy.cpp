// The two greedy searches for part wheels.
#include "design/methods/partgreedy.h"

#include <algorithm>
#include <cmath>

#include "design/methods/bound.h"
#include "greedy/k.h"  // binom64
#include "greedy/subcount.h"
#include "base/sysmem.h"

namespace design::inline VORLANK_SETS {

// Steps a greedy takes, roughly: measured at 1.2 to 3 times the lower bound.
static double steps(const Shape &s) {
  const Binom &b = binom();
  return 3.0 * (double)b(s.n, s.k) / (double)std::max<uint64_t>(per_cover(s), 1) + 10;
}

// ---- colex order, exact counts ----------------------------------------------

double colex_greedy_bytes(const Shape &s) {
  const Binom &b = binom();
  uint64_t cands = b(s.n, s.x), all = b(s.n, s.k);
  if (cands > kMaxGreedyCandidates || all > kMaxGreedyCandidates) return INFINITY;
  return (double)cands * sizeof(uint32_t) + (double)all;  // count, open
}

// Measured: about 5 ns a ranked set up to 8 numbers, 1.25 ns a number less
// 5 ns beyond (L(40,2,35,2): 60 ns, where 5 ns made its 24 s greedy look like
// 2 s), and 0.7 ns a candidate read in the scan.
double colex_greedy_seconds(const Shape &s) {
  const Binom &b = binom();
  uint64_t cands = b(s.n, s.x), all = b(s.n, s.k);
  if (cands > kMaxGreedyCandidates || all > kMaxGreedyCandidates) return INFINITY;
  // Each k-set, once covered, lowers the count of every x-set that covers it.
  double lowerings = (double)all * (double)per_cover({s.n, s.x, s.k, s.t});
  double per_ranked = std::max(5e-9, 1.25e-9 * s.x - 5e-9);
  return kSetCost * per_ranked * lowerings + 0.7e-9 * steps(s) * (double)cands;
}

std::vector<Set> colex_greedy(const Shape &s, Deadline give_up, const std::atomic<bool> *halt) {
  const Binom &b = binom();
  uint64_t cands = b(s.n, s.x), all = b(s.n, s.k);
  if (cands > kMaxGreedyCandidates || all > kMaxGreedyCandidates) return {};
  const Shape mirror{s.n, s.x, s.k, s.t};  // the x-sets that cover a k-set
  std::vector<uint32_t> count(cands, (uint32_t)per_cover(s));
  std::vector<uint8_t> open(all, 1);
  std::vector<Set> wheel;
  for (uint64_t left = all; left > 0;) {
    if (std::chrono::steady_clock::now() > give_up || (halt && *halt)) return {};
    // The first largest count: the first x-set in colex order among the best.
    uint64_t pick = 0;
    for (uint64_t r = 1; r < cands; r++)
      if (count[r] > count[pick]) pick = r;
    Set c = unrank(pick, s.x);
    // One cover's k-sets may take a minute where x is large (L(64,2,60,2):
    // 1770 of them, each in half a million x-sets): the clock is read
    // before each.
    bool late = false;
    for_covered(s, c, [&](uint64_t kr) {
      if (!open[kr] || late) return;
      if (std::chrono::steady_clock::now() > give_up || (halt && *halt)) {
        late = true;
        return;
      }
      open[kr] = 0, left--;
      for_covered(mirror, unrank(kr, s.k), [&](uint64_t xr) { count[xr]--; });
    });
    if (late) return {};
    wheel.push_back(c);
  }
  return wheel;
}

// ---- the greedy run's engine ----------------------------------------------------

double engine_greedy_bytes(const Shape &s) {
  if (s.x < 2 || !subcount_takes(s.n, s.k, s.x, s.t)) return INFINITY;
  const Binom &b = binom();
  uint64_t cands = b(s.n, s.x), all = b(s.n, s.k);
  if (cands >= INT32_MAX - 64 || all >= INT32_MAX) return INFINITY;
  // The engine's own, then a bound per candidate and a flag per k-set.
  return subcount_bytes(s.n, s.k, s.x, s.t) + (double)sizeof(int) * (double)cands + (double)all;
}

bool engine_fits(const Shape &s, double avail_mb) {
  double bytes = engine_greedy_bytes(s);
  return bytes <= kMaxEngineBytes && bytes / 1048576.0 <= avail_mb / 2;
}

// About 3 ns a candidate a step, and 5 ns a counter lowered when a k-set is
// covered since the removal walks the cover's k-sets (L(22,10,10,6): 250
// million of them; its greedy takes about 1.3 s).
double engine_greedy_seconds(const Shape &s) {
  if (!engine_fits(s, available_mb())) return INFINITY;
  const Binom &b = binom();
  double per_kset = 0;  // counters lowered for each k-set covered
  for (int j = s.t; j <= std::min(s.k, s.x); j++) per_kset += (double)b(s.k, j);
  double lowerings = (double)b(s.n, s.k) * per_kset;
  return 3e-9 * steps(s) * (double)b(s.n, s.x) + 5e-9 * lowerings;
}

// The x-set at a row of the lexicographic table, rows from 0.
static Set lex_unrank(uint64_t r, int n, int x) {
  const Binom &b = binom();
  Set c = 0;
  int a = 0;
  for (int i = x; i >= 1; i--, a++) {
    while (b(n - a - 1, i - 1) <= r) r -= b(n - a - 1, i - 1), a++;
    c |= bit(a);
  }
  return c;
}

std::vector<Set> engine_greedy(const Shape &s, Deadline give_up, const std::atomic<bool> *halt) {
  if (!engine_fits(s, available_mb())) return {};
  const Binom &b = binom();
  uint64_t cands = b(s.n, s.x), all = b(s.n, s.k);
  subcount sc;
  subcount_init(sc, s.n, s.k, s.x, s.t, (int)all);
  std::vector<int> bound(cands + s.x + 1, (int)all);
  std::vector<uint8_t> open(all, 1);
  std::vector<Set> wheel;
  // The k-sets a cover newly covers, as rows of an nk-table from row 1 (a
  // flag byte, then the numbers): the engine's removal takes a table of
  // uncovered rows, here just those the cover takes.
  std::vector<unsigned char> rows((size_t)s.k + 1);
  int cover[kMaxPool];
  for (uint64_t left = all; left > 0;) {
    if (std::chrono::steady_clock::now() > give_up || (halt && *halt)) return {};
    int row = 0;
    if (subcount_best(sc, bound.data(), (int)cands, &row, [](int) {}) <= 0 || row < 1) return {};
    Set c = lex_unrank((uint64_t)row - 1, s.n, s.x);
    int nc = 0, taken = 0;
    for (Set m = c; m; m = drop_first(m)) cover[nc++] = first(m) + 1;
    rows.resize((size_t)s.k + 1);
    for_covered(s, c, [&](uint64_t kr) {
      if (!open[kr]) return;
      open[kr] = 0, left--, taken++;
      rows.push_back(0);
      for (Set m = unrank(kr, s.k); m; m = drop_first(m))
        rows.push_back((unsigned char)(first(m) + 1));
    });
    subcount_cover(sc, cover, rows.data(), s.k + 1, taken);
    wheel.push_back(c);
  }
  return wheel;
}

}  // namespace design
