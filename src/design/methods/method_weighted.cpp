// The weighted search method: the weighted local search (weighted.h) from
// the best wheel known, runs side by side as the annealer's. It applies only
// where k = t: there a cover's k-sets are few, a move's score moves by the
// weight of a handful of holes, and it reaches wheels the annealer misses
// (L(13,3,4,3) = 78, S(3,5,17)); there it takes turns with the annealer on
// the parts and takes the whole wheel (schedule.cpp). Where k > t a move
// opens tens of k-sets at once (L(27,4,6,3) from the symmetric 90: 20 to 50),
// the weights stay small beside them, and the annealer keeps the time.
#include "design/methods/method.h"
#include "design/methods/weighted.h"

namespace design::inline VORLANK_SETS {

namespace {

class WeightedMethod : public Method {
public:
  const char *name() const override { return "weighted search"; }
  Role role() const override { return Role::Improve; }
  bool applies(const Shape &s) const override {
    return s.t >= 1 && s.k == s.t && s.k < s.n && s.x < s.n &&
           binom()(s.n, s.k) <= kMaxWeightedKsets;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    return side_by_side(in, weighted_search);
  }
};

}  // namespace

const Method &weighted_method() {
  static const WeightedMethod m;
  return m;
}

}  // namespace design
