// Lower bounds and proofs of wheels for vorlank-design.
#include "design/methods/bound.h"

#include <algorithm>

#include "check/wheel.h"

namespace design::inline VORLANK_SETS {

static wheel::Bound best(const Shape &s) {
  if (s.k > s.n) return {0, "nothing to cover"};
  if (s.n <= s.x) return {1, "one cover holds the pool"};
  return wheel::best_bound({s.n, s.k, s.x, s.t});
}

uint64_t lower_bound(const Shape &s) { return best(s).value; }

uint64_t counting_bound(const Shape &s) {
  return s.k > s.n ? 0 : s.n <= s.x ? 1 : wheel::counting_bound({s.n, s.k, s.x, s.t});
}

std::string lower_bound_text(const Shape &s) {
  wheel::Bound b = best(s);
  return std::to_string(b.value) + " (" + b.name + ")";
}

bool proved(const Shape &s, const std::vector<Set> &covers) {
  std::vector<wheel::Cover> cs;
  for (Set c : covers) cs.push_back(numbers(c));
  return wheel::Coverage({s.n, s.k, s.x, s.t}, cs).holes() == 0;
}

uint64_t per_cover(const Shape &s) { return wheel::per_cover({s.n, s.k, s.x, s.t}); }

std::string pool_refusal(const Shape &s) {
  if (s.n <= kLargestPool) return "";
  return "the search takes n up to " + std::to_string(kLargestPool) +
         " (here n = " + std::to_string(s.n) + ")";
}

std::string instance(const Shape &s) {
  return "L(" + std::to_string(s.n) + "," + std::to_string(s.k) + "," + std::to_string(s.x) + "," +
         std::to_string(s.t) + ")";
}

std::string covers_text(uint64_t n) { return std::to_string(n) + (n == 1 ? " cover" : " covers"); }

}  // namespace design
