// The disjoint gaps method: where covers leave out only a few numbers each
// (x near n), covers whose left-out numbers (gaps) are disjoint make a
// wheel at once. A k-set that no cover covers holds more than k - t
// numbers of every gap; with disjoint gaps it holds that many of at most
// floor(k / (k - t + 1)) of them, so one gap more than that is enough.
// L(64,2,60,2): 3 covers, where a greedy takes minutes over its 635,376
// x-sets.
#include "design/methods/method.h"

namespace design::inline VORLANK_SETS {

namespace {

// Covers of the wheel: one more than the gaps a k-set can fill.
int gap_covers(const Shape &s) { return s.k / (s.k - s.t + 1) + 1; }

class Gaps : public Method {
public:
  const char *name() const override { return "disjoint gaps"; }
  Role role() const override { return Role::Build; }
  bool applies(const Shape &s) const override {
    // Two covers are the split into halves of at most x numbers, one
    // cover each, which the split table finds by itself.
    return s.t >= 1 && s.t <= s.k && s.k <= s.n && s.x < s.n && gap_covers(s) >= 3 &&
           gap_covers(s) * (s.n - s.x) <= s.n;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    const Shape &s = in.s;
    int gap = s.n - s.x;
    std::vector<Set> w;
    for (int i = 0; i < gap_covers(s); i++)
      w.push_back(low_bits(s.n) & ~(low_bits((i + 1) * gap) & ~low_bits(i * gap)));
    return {std::move(w), "", false, 0};
  }
};

}  // namespace

const Method &gaps_method() {
  static const Gaps m;
  return m;
}

}  // namespace design::inline VORLANK_SETS
