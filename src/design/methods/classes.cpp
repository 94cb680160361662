// Wheels up to relabelling (classes.h), built cover by cover: each level
// keeps one family of each class that may still become a wheel, and extends
// it by the covers that hold its first open k-set (by any cover, where it is
// a wheel already). Any wheel holds a copy of some family of each level (a
// family it holds, relabelled to its class's representative, still lies in
// the wheel relabelled), so the last level holds every class.
#include "design/methods/classes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <set>

namespace design::inline VORLANK_SETS {

namespace {

// A family's canonical form: for each order of its covers, each number's
// row of incidences as a byte, the rows sorted; the largest over all orders.
// Relabelling the pool permutes the rows, and reordering the covers is tried,
// so two families share the form exactly where one relabels to the other.
using Form = std::array<uint8_t, 64>;  // one byte a number; the pool's are first

Form canonical(const std::vector<Set> &family, int n) {
  std::vector<int> order(family.size());
  std::iota(order.begin(), order.end(), 0);
  Form best{}, rows{};
  do {
    std::fill(rows.begin(), rows.end(), 0);
    for (size_t j = 0; j < order.size(); j++)
      for (Set c = family[order[j]]; c; c = drop_first(c))
        rows[(size_t)first(c) & 63] |= (uint8_t)(1 << j);
    std::sort(rows.begin(), rows.begin() + n, std::greater<>());
    if (rows > best) best = rows;
  } while (std::next_permutation(order.begin(), order.end()));
  return best;
}

}  // namespace

bool wheel_classes(const Shape &s, int covers, Deadline end, const std::atomic<bool> *stop,
                   std::vector<std::vector<Set>> &out) {
  out.clear();
  if (covers < 1 || covers > kMostClassCovers || s.k != s.t || s.n > 64) return true;
  std::vector<Set> ks, xs;
  subsets(low_bits(s.n), s.k, 0, ks);
  subsets(low_bits(s.n), s.x, 0, xs);
  const size_t per = (size_t)binom()(s.x, s.k);
  std::vector<std::vector<Set>> level{{}};
  for (int size = 1; size <= covers; size++) {
    std::set<Form> seen;
    std::vector<std::vector<Set>> next;
    for (const std::vector<Set> &f : level) {
      // Where f is a wheel already, any cover extends it (first_open stays 0).
      Set first_open = 0;
      for (Set k : ks)
        if (std::none_of(f.begin(), f.end(), [&](Set c) { return (c & k) == k; })) {
          first_open = k;
          break;
        }
      for (Set c : xs) {
        if ((c & first_open) != first_open || std::find(f.begin(), f.end(), c) != f.end()) continue;
        std::vector<Set> g = f;
        g.push_back(c);
        size_t open = 0;
        for (Set k : ks)
          open += std::none_of(g.begin(), g.end(), [&](Set d) { return (d & k) == k; });
        if (open > (size_t)(covers - size) * per) continue;
        // A canonical form of 8 covers tries 40,320 orders: the clock is
        // read before each.
        if ((stop && *stop) || Clock::now() >= end) return false;
        if (seen.insert(canonical(g, s.n)).second) next.push_back(std::move(g));
      }
    }
    level = std::move(next);
  }
  out = std::move(level);
  return true;
}

}  // namespace design::inline VORLANK_SETS
