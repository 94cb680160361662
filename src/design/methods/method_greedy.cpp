// The greedy methods: a part's first wheel, in two candidate orders (see
// partgreedy.h), each where its estimated time fits the greedy's budget.
#include <cmath>

#include "design/methods/method.h"
#include "design/methods/partgreedy.h"

namespace design::inline VORLANK_SETS {

namespace {

// Estimated seconds below which the colex greedy runs even where k > t.
constexpr double kCheapGreedy = 0.2;

class ColexGreedy : public Method {
public:
  const char *name() const override { return "greedy"; }
  Role role() const override { return Role::Build; }
  // The colex order pays where k = t (it finds Steiner systems); where k > t
  // both orders came out alike (L(27,4,6,3): 116 and 117 covers), and its
  // exact counts cost more than the engine's subset counts.
  bool applies(const Shape &s) const override {
    double e = seconds(s);
    return std::isfinite(e) && (s.k == s.t || e <= std::min(kCheapGreedy, engine_greedy_seconds(s)));
  }
  double seconds(const Shape &s) const override { return colex_greedy_seconds(s); }
  MethodResult run(const MethodInput &in) const override {
    return {colex_greedy(in.s, in.end, in.stop), "", false, 0};
  }
};

class EngineGreedy : public Method {
public:
  const char *name() const override { return "greedy"; }
  Role role() const override { return Role::Build; }
  bool applies(const Shape &s) const override { return std::isfinite(seconds(s)); }
  double seconds(const Shape &s) const override { return engine_greedy_seconds(s); }
  MethodResult run(const MethodInput &in) const override {
    return {engine_greedy(in.s, in.end, in.stop), "", false, 0};
  }
};

}  // namespace

const Method &colex_greedy_method() {
  static const ColexGreedy m;
  return m;
}

const Method &engine_greedy_method() {
  static const EngineGreedy m;
  return m;
}

}  // namespace design
