// The unions of groups method: a wheel at once where no first wheel would
// come in time (no greedy can list the x-sets, no split is quick). The pool is cut into g groups of at most floor(x / t) numbers; each
// union of t groups, padded to x numbers, is a cover. Any t numbers of a
// k-set lie in at most t groups, hence in one cover, so the C(g,t) unions
// are a wheel. L(105,2,7,2): 35 groups of 3, 595 covers in no time, where
// the greedy cannot list the x-sets and local search then takes the wheel
// down.
#include "design/methods/bound.h"
#include "design/methods/method.h"

namespace design::inline VORLANK_SETS {

namespace {

// Only where the wheel is at most this many times the counting bound
// (L(193,3,17,3): 9,139 covers for a bound of 1,735): beyond, a split into
// greedy parts does better (L(90,6,6,3): 14,190 unions, 1,713 by a split).
constexpr double kMostOverBound = 8;
// The most covers the local search and the store take.
constexpr double kMostCovers = 65535;

int group_size(const Shape &s) { return s.x / s.t; }
int groups(const Shape &s) { return (s.n + group_size(s) - 1) / group_size(s); }

class Unions : public Method {
public:
  const char *name() const override { return "unions of groups"; }
  Role role() const override { return Role::Fallback; }
  bool applies(const Shape &s) const override {
    if (s.t < 1 || s.t > s.k || s.k >= s.n || s.x >= s.n || s.x < s.t) return false;
    double covers = (double)binom()(groups(s), s.t);
    return covers <= kMostCovers && covers <= kMostOverBound * (double)counting_bound(s);
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    const Shape &s = in.s;
    const int b = group_size(s), g = groups(s);
    auto group = [&](int i) { return low_bits(std::min(s.n, (i + 1) * b)) & ~low_bits(i * b); };
    std::vector<Set> w;
    std::vector<int> at(s.t);  // the t groups of a cover, ascending
    for (int i = 0; i < s.t; i++) at[i] = i;
    for (;;) {
      Set c = 0;
      for (int i : at) c |= group(i);
      for (int a = 0; count(c) < s.x; a++) c |= bit(a);  // padded with the lowest numbers
      w.push_back(c);
      int i = s.t - 1;  // the next t groups in lexicographic order
      while (i >= 0 && at[i] == g - s.t + i) i--;
      if (i < 0) break;
      at[i]++;
      for (int j = i + 1; j < s.t; j++) at[j] = at[j - 1] + 1;
    }
    return {std::move(w),
            std::to_string(g) + " groups of up to " + std::to_string(b) + " numbers", false, 0};
  }
};

}  // namespace

const Method &unions_method() {
  static const Unions m;
  return m;
}

}  // namespace design::inline VORLANK_SETS
