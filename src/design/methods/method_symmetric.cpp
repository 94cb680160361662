// The symmetric method: wheels that a group of the pool maps onto
// themselves (symmetric.h), within the share of the time it is given.
#include "design/methods/method.h"
#include "design/methods/orbits.h"
#include "design/methods/symmetric.h"

namespace design::inline VORLANK_SETS {

namespace {

// What the wheel came from, for its # line.
std::string detail(const SymmetricWheel &w) {
  std::string t = w.group;
  if (!w.trivial)
    t += ": order " + std::to_string(w.order) + ", orbits " + std::to_string(w.t_orbits) + "/" +
         std::to_string(w.k_orbits) + "/" + std::to_string(w.x_orbits);
  if (!w.exact) return t + ", annealing";
  if (!w.optimal) return t + ", exact solve stopped by the clock";
  return t + (w.trivial ? ", exact solve: optimal" : ", exact solve: optimal for the group");
}

class Symmetric : public Method {
public:
  const char *name() const override { return "symmetric"; }
  Role role() const override { return Role::Search; }
  bool applies(const Shape &s) const override {
    return s.t >= 1 && s.k < s.n && s.x < s.n && binom()(s.n, s.x) <= kMaxOrbitTable &&
           binom()(s.n, s.k) <= kMaxOrbitTable;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    SymmetricOptions so;
    so.beat = in.beat;
    so.lower = in.lower;
    so.end = in.end;
    so.moves = in.moves;
    so.seed = in.seed;
    so.threads = in.threads;
    so.halt = in.stop;
    so.progress = in.progress;
    SymmetricWheel w = symmetric_wheel(in.s, so);
    // Optimal within a group is no proof for the instance: only the trivial group's is.
    return {std::move(w.covers), detail(w), w.exact && w.optimal && w.trivial, 0};
  }
};

}  // namespace

const Method &symmetric_method() {
  static const Symmetric m;
  return m;
}

}  // namespace design
