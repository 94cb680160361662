// Lower bounds and proofs of wheels for vorlank-design.
#include "bound.h"

#include <algorithm>

#include "wheel.h"

namespace design {

uint64_t lower_bound(const Shape &s) {
  if (s.k > s.n) return 0;
  if (s.n <= s.x) return 1;
  wheel::Params p{s.n, s.k, s.x, s.t};
  uint64_t lb = wheel::counting_bound(p);
  if (s.k == s.t) lb = std::max(lb, wheel::schoenheim_bound(p));
  return lb;
}

bool proved(const Shape &s, const std::vector<Set> &covers) {
  std::vector<wheel::Cover> cs;
  for (Set c : covers) cs.push_back(numbers(c));
  return wheel::Coverage({s.n, s.k, s.x, s.t}, cs).holes() == 0;
}

uint64_t per_cover(const Shape &s) { return wheel::per_cover({s.n, s.k, s.x, s.t}); }

std::string instance(const Shape &s) {
  return "L(" + std::to_string(s.n) + "," + std::to_string(s.k) + "," + std::to_string(s.x) + "," +
         std::to_string(s.t) + ")";
}

std::string covers_text(uint64_t n) { return std::to_string(n) + (n == 1 ? " cover" : " covers"); }

}  // namespace design
