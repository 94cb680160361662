// The fringe method: where the split's table composes a part from the
// wheel of its rest A and the covers of its fringe F, that composition
// becomes the part's own wheel, so that local search works on it as on a
// greedy part (L(27,4,6,3): 98 covers from S(3,6,22), where its greedy wheel
// has 117).
#include "design/methods/anneal.h"
#include "design/methods/bound.h"
#include "design/methods/method.h"

namespace design::inline VORLANK_SETS {

namespace {

class Fringe : public Method {
public:
  const char *name() const override { return "fringe"; }
  Role role() const override { return Role::Derive; }
  // Only where local search can take the wheel on.
  bool applies(const Shape &s) const override {
    return s.t >= 3 && s.k > s.t && s.x - 1 >= s.t && s.n > s.x &&
           binom()(s.n, s.k) <= kMaxAnnealKsets;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    const SplitTable &tb = *in.table;
    const Shape &s = in.s;
    if (tb.how[tb.at(s.n, s.k)] != SplitTable::kFringe) return {};
    std::vector<Part> parts;
    tb.parts(s.n, s.k, 0, parts);
    std::vector<std::vector<Set>> wheels;
    std::string from;
    for (const Part &p : parts) {
      wheels.push_back(p.kind == Part::Direct ? in.known(p.n, p.k) : std::vector<Set>());
      if (p.kind == Part::Direct)
        from += instance({p.n, p.k, s.x, s.t}) + " " + std::to_string(wheels.back().size()) + " + ";
    }
    return {compose(s, parts, wheels), from + std::to_string(s.n - s.x), false, 0};
  }
};

}  // namespace

const Method &fringe_method() {
  static const Fringe m;
  return m;
}

}  // namespace design
