// Proofs of small optima: the argument number by number and the exact solve
// with its cuts (proof.h).
#include "design/methods/proof.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "design/methods/bound.h"
#include "design/methods/exact.h"

namespace design::inline VORLANK_SETS {

namespace {

// The share of the time left that the proof of a smaller instance (the
// covers through one number) may take: most, since the argument number by
// number rests on its optimum (L(10,5,6,5) = 50 on L(9,4,5,4) = 30, which
// the exact solve proves in about 20 s).
constexpr double kDerivedShare = 0.9;

// A cover through a number, less that number: L(n-1,t-1,x-1,t-1).
Shape through_one(const Shape &s) { return {s.n - 1, s.k - 1, s.x - 1, s.t - 1}; }

class Prover {
public:
  explicit Prover(const std::atomic<bool> *stop) : stop_(stop) {}

  // The proof of s, the exact solve by `until`.
  Proof prove(const Shape &s, uint64_t aim, Deadline until) {
    auto key = std::make_tuple(s.n, s.k, s.x, s.t);
    if (auto it = known_.find(key);
        it != known_.end() && (it->second.lower >= aim || !it->second.wheel.empty()))
      return it->second;
    Proof p;
    p.lower = lower_bound(s);
    uint64_t least = 0;  // covers through each number, proved
    if (s.t >= 2 && s.t == s.k) {
      Shape d = through_one(s);
      Proof pd = provable(d) ? prove(d, UINT64_MAX, share_until(until, kDerivedShare))
                             : Proof{lower_bound(d), {}, ""};
      least = pd.lower;
      uint64_t by_numbers = (s.n * least + s.x - 1) / s.x;
      if (by_numbers > p.lower) {
        p.lower = by_numbers;
        p.how = "each number lies in at least " + std::to_string(least) + " covers (" +
                instance(d) + " needs " + std::to_string(least) + ": " +
                (pd.how.empty() ? "its lower bound" : pd.how) + "), so at least ceil(" +
                std::to_string(s.n) + " x " + std::to_string(least) + " / " +
                std::to_string(s.x) + ") = " + covers_text(by_numbers);
      }
    }
    if (p.lower < aim) solve(s, least, until, p);
    known_[key] = p;
    return p;
  }

private:
  bool halted(Deadline until) const { return (stop_ && *stop_) || Clock::now() >= until; }

  // The exact solve of s over all x-sets, each number in at least `least`
  // covers and the first cover 1..x.
  void solve(const Shape &s, uint64_t least, Deadline until, Proof &p) {
    if (halted(until) || !provable(s)) return;
    std::vector<Set> xs;
    subsets(low_bits(s.n), s.x, 0, xs);
    const uint32_t ksets = (uint32_t)binom()(s.n, s.k), fixed = ksets + (uint32_t)s.n;
    std::vector<std::vector<uint32_t>> rows_of(xs.size());
    for (size_t c = 0; c < xs.size(); c++) {
      for_covered(s, xs[c], [&](uint64_t r) { rows_of[c].push_back((uint32_t)r); });
      for (int i = 0; i < s.n; i++)
        if (bool(xs[c] & bit(i))) rows_of[c].push_back(ksets + (uint32_t)i);
      if (xs[c] == low_bits(s.x)) rows_of[c].push_back(fixed);
    }
    std::vector<uint32_t> demand(fixed + 1, 1);
    for (int i = 0; i < s.n; i++) demand[ksets + i] = (uint32_t)std::max<uint64_t>(least, 1);
    CoverSolution sol = solve_cover(fixed + 1, rows_of, std::vector<uint32_t>(xs.size(), 1),
                                    until, INT32_MAX, demand);
    std::string cuts = least > 1 ? " (each number in at least " + std::to_string(least) +
                                       " covers, one cover fixed)"
                                 : " (one cover fixed)";
    if (sol.optimal && !sol.chosen.empty()) {
      p.lower = sol.chosen.size();
      p.wheel.clear();
      for (uint32_t c : sol.chosen) p.wheel.push_back(xs[c]);
      p.how = "the exact solve over all " + std::to_string(s.x) + "-sets" + cuts;
    } else if (uint64_t b = (uint64_t)std::ceil(sol.bound - 1e-6); b > p.lower) {
      p.lower = b;
      p.how = "the bound of the exact solve over all " + std::to_string(s.x) + "-sets" + cuts;
    }
  }

  const std::atomic<bool> *stop_;
  std::map<std::tuple<int, int, int, int>, Proof> known_;
};

}  // namespace

bool provable(const Shape &s) {
  return exact_available() && s.t >= 1 && s.k == s.t && s.x >= s.t && s.x < s.n &&
         binom()(s.n, s.x) <= kMostProofColumns;
}

Proof prove_lower(const Shape &s, uint64_t aim, Deadline end, const std::atomic<bool> *stop) {
  return Prover(stop).prove(s, aim, end);
}

}  // namespace design::inline VORLANK_SETS
