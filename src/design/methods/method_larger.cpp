// The larger pool method: the other search methods on pools of one to
// three more numbers, then that wheel less those numbers. A wheel of
// L(n+1,k,x,t) is one of L(n,k,x,t) once a number is taken out of it and
// each cover that held it takes another in its place: a k-set of the
// smaller pool never held that number, so it shares as many numbers with
// the cover as before. Pools a few numbers short of a structure find it so:
// L(48,2,7,2) and L(47,2,7,2) from the affine plane of order 7 (56 covers,
// where their own groups give 72 and 63), L(56,2,8,2) and L(55,2,8,2) from
// the projective plane of order 7 (57, where their own give 70 to 84, 67).
#include <algorithm>
#include <string>

#include "design/methods/bound.h"
#include "design/methods/method.h"

namespace design::inline VORLANK_SETS {

const Method &larger_pool_method();

namespace {

// The share of its time this method spends on the larger pools; the
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
// Numbers more at most: L(47,2,7,2) is the affine plane of order 7 less two.
constexpr int kMostExtra = 3;
// Look-ups spent choosing the number to take out: for each number, a count
// per k-set, the k-sets of every cover counted, and those of each cover
// looked at once more.
constexpr uint64_t kMostChoiceLookups = 200'000'000;

// The wheel of the pool without the number `gone` (covers on n + 1
// numbers in, on n out): each cover holding it takes the lowest number it
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

// The larger pools of s that the bound admits, n + 1 first.
std::vector<Shape> larger_pools(const Shape &s) {
  std::vector<Shape> out;
  if (s.t < 1 || s.k != s.t || s.k >= s.n || s.x >= s.n) return out;
  for (int d = 1; d <= kMostExtra && s.n + d <= kMaxPool; d++) {
    Shape big{s.n + d, s.k, s.x, s.t};
    if ((double)lower_bound(big) <= kBoundRatio * (double)lower_bound(s)) out.push_back(big);
  }
  return out;
}

class LargerPool : public Method {
public:
  const char *name() const override { return "larger pool"; }
  Role role() const override { return Role::Search; }
  bool applies(const Shape &s) const override {
    for (const Shape &big : larger_pools(s))
      for (const Method *m : searchers())
        if (m->applies(big)) return true;
    return false;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    const Shape &s = in.s;
    std::vector<std::pair<Shape, const Method *>> tasks;
    for (const Shape &big : larger_pools(s))
      for (const Method *m : searchers())
        if (m->applies(big)) tasks.push_back({big, m});
    Deadline end = in.end == Deadline::max() ? in.end : share_until(in.end, kLargerShare);
    MethodResult best;
    for (size_t i = 0; i < tasks.size(); i++) {
      auto [big, m] = tasks[i];
      MethodInput bin = in;
      bin.s = big;
      bin.best = nullptr;
      bin.lower = lower_bound(big);
      bin.beat = std::min(in.beat, best.covers.empty() ? UINT64_MAX : best.covers.size());
      bin.end = end == Deadline::max()
                    ? end
                    : Clock::now() + (end - Clock::now()) / (int)(tasks.size() - i);
      bin.table = nullptr;
      MethodResult r = m->run(bin);
      if (r.covers.empty()) continue;
      std::string from = instance(big) + ": " + m->name() + " " + std::to_string(r.covers.size()) +
                         (r.detail.empty() ? "" : " (" + r.detail + ")");
      std::vector<int> gone;
      std::vector<Set> w = shrink(s, big, std::move(r.covers), gone);
      if (!best.covers.empty() && w.size() >= best.covers.size()) continue;
      std::sort(gone.begin(), gone.end());
      from += gone.size() == 1 ? ", less the number " : ", less the numbers ";
      for (size_t g = 0; g < gone.size(); g++)
        from += (g == 0 ? "" : g + 1 == gone.size() ? " and " : ", ") + std::to_string(gone[g]);
      best = {std::move(w), from, false, 0};
    }
    return best;
  }

private:
  // The other search methods.
  static std::vector<const Method *> searchers() {
    std::vector<const Method *> out;
    for (const Method *m : methods())
      if (m->role() == Role::Search && m != &larger_pool_method()) out.push_back(m);
    return out;
  }

  // The wheel of the larger pool brought down to s one number at a time,
  // each time the number that leaves the fewest covers where choosing costs
  // little (else the last); `gone` gets the numbers taken out, 1-based in
  // the larger pool.
  static std::vector<Set> shrink(const Shape &s, const Shape &big, std::vector<Set> w,
                                 std::vector<int> &gone) {
    std::vector<int> label(big.n);  // the larger pool's number at each place
    for (int i = 0; i < big.n; i++) label[i] = i + 1;
    for (int m = big.n - 1; m >= s.n; m--) {
      Shape to{m, s.k, s.x, s.t};
      bool choose = (double)(m + 1) *
                        ((double)binom()(m, s.k) + 2 * (double)w.size() * (double)per_cover(to)) <=
                    (double)kMostChoiceLookups;
      std::vector<Set> least;
      int out = m;
      for (int g = choose ? 0 : m; g <= m; g++) {
        std::vector<Set> v = without(w, m, g);
        if (choose) drop_redundant(to, v);
        if (least.empty() || v.size() < least.size()) least = std::move(v), out = g;
      }
      w = std::move(least);
      gone.push_back(label[out]);
      label[out] = label[m];
    }
    return w;
  }
};

}  // namespace

const Method &larger_pool_method() {
  static const LargerPool m;
  return m;
}

}  // namespace design::inline VORLANK_SETS
