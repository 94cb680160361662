// The larger pool method: the other search methods on the pool with one
// more number, then that wheel less a number. A wheel of L(n+1,k,x,t) is
// one of L(n,k,x,t) once a number is taken out of it and each cover that
// held it takes another in its place: a k-set of the smaller pool never
// held that number, so it shares as many numbers with the cover as before.
// Pools one short of a structure find it so: L(48,2,7,2) from the affine
// plane of order 7 (56 covers, where its own groups give 72), L(56,2,8,2)
// from the projective plane of order 7 (57, where its own give 70 to 84).
#include <algorithm>
#include <string>

#include "bound.h"
#include "method.h"

namespace design::inline VORLANK_SETS {

const Method &larger_pool_method();

namespace {

// The share of its time this method spends on the larger pool; the
// instance's own search methods take the rest. The structures it finds
// come in their screen: L(49,2,7,2) in 2.5 s, L(57,2,8,2) in 0.5 s.
constexpr double kLargerShare = 0.25;
// Only covering designs (k = t) whose larger pool's lower bound is at most
// this much above their own: there one number more costs few covers, and
// structures that meet their bound (planes, Steiner systems) are what the
// larger pool gives. Elsewhere the time goes to the pool's own groups: the
// 37 numbers beside L(36,2,6,2) need 50 covers or more, and the 28 beside
// L(27,4,6,3) 53 or more, where 47 and 90 are known.
constexpr double kBoundRatio = 1.05;
// Look-ups spent choosing the number to take out: for each number, a count
// per k-set, the k-sets of every cover counted, and those of each cover
// looked at once more.
constexpr uint64_t kMostChoiceLookups = 200'000'000;

// The wheel of the pool without the number `gone` (covers of n + 1
// numbers in, of n out): each cover holding it takes the lowest number it
// lacks, and the last number takes the place of `gone`.
std::vector<Set> without(const std::vector<Set> &big, int n, int gone) {
  std::vector<Set> out;
  for (Set c : big) {
    if (bool(c & bit(gone))) {
      c &= ~bit(gone);
      c |= bit(first(low_bits(n + 1) & ~c & ~bit(gone)));
    }
    if (bool(c & bit(n))) c = (c & ~bit(n)) | bit(gone);
    out.push_back(c);
  }
  return out;
}

// Drops, in order, each cover whose every k-set another cover covers too.
void drop_redundant(const Shape &s, std::vector<Set> &w) {
  std::vector<uint32_t> mult(binom()(s.n, s.k));
  for (Set c : w) for_covered(s, c, [&](uint64_t r) { mult[r]++; });
  std::vector<Set> kept;
  for (Set c : w) {
    bool needed = false;
    for_covered(s, c, [&](uint64_t r) { needed |= mult[r] == 1; });
    if (needed) {
      kept.push_back(c);
      continue;
    }
    for_covered(s, c, [&](uint64_t r) { mult[r]--; });
  }
  w = std::move(kept);
}

class LargerPool : public Method {
public:
  const char *name() const override { return "larger pool"; }
  Role role() const override { return Role::Search; }
  bool applies(const Shape &s) const override {
    if (s.n + 1 > kMaxPool || s.t < 1 || s.k != s.t || s.k >= s.n || s.x >= s.n) return false;
    Shape big{s.n + 1, s.k, s.x, s.t};
    if ((double)lower_bound(big) > kBoundRatio * (double)lower_bound(s)) return false;
    for (const Method *m : searchers())
      if (m->applies(big)) return true;
    return false;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    const Shape &s = in.s;
    Shape big{s.n + 1, s.k, s.x, s.t};
    std::vector<const Method *> on;
    for (const Method *m : searchers())
      if (m->applies(big)) on.push_back(m);
    Deadline end = in.end == Deadline::max() ? in.end : share_until(in.end, kLargerShare);
    MethodResult got;
    const Method *by = nullptr;
    for (size_t i = 0; i < on.size(); i++) {
      MethodInput bin = in;
      bin.s = big;
      bin.best = nullptr;
      bin.lower = lower_bound(big);
      bin.beat = std::min(in.beat, got.covers.empty() ? UINT64_MAX : got.covers.size());
      bin.end =
          end == Deadline::max() ? end : Clock::now() + (end - Clock::now()) / (int)(on.size() - i);
      bin.table = nullptr;
      MethodResult r = on[i]->run(bin);
      if (!r.covers.empty() && (got.covers.empty() || r.covers.size() < got.covers.size()))
        got = std::move(r), by = on[i];
    }
    if (!by) return {};
    // Every number where choosing costs little, else the last.
    bool choose = (double)(s.n + 1) * ((double)binom()(s.n, s.k) +
                                       2 * (double)got.covers.size() * (double)per_cover(s)) <=
                  (double)kMostChoiceLookups;
    std::vector<Set> best;
    int gone = s.n;
    for (int g = choose ? 0 : s.n; g <= s.n; g++) {
      std::vector<Set> w = without(got.covers, s.n, g);
      if (choose) drop_redundant(s, w);
      if (best.empty() || w.size() < best.size()) best = std::move(w), gone = g;
    }
    std::string detail = instance(big) + ": " + by->name() + " " +
                         std::to_string(got.covers.size()) +
                         (got.detail.empty() ? "" : " (" + got.detail + ")") +
                         ", less the number " + std::to_string(gone + 1);
    return {std::move(best), detail, false, 0};
  }

private:
  // The other search methods.
  static std::vector<const Method *> searchers() {
    std::vector<const Method *> out;
    for (const Method *m : methods())
      if (m->role() == Role::Search && m != &larger_pool_method()) out.push_back(m);
    return out;
  }
};

}  // namespace

const Method &larger_pool_method() {
  static const LargerPool m;
  return m;
}

}  // namespace design::inline VORLANK_SETS
