// Proofs of small optima: the argument number by number, the exact solve
// with its cuts and the fixing of the covers through one number (proof.h).
#include "design/methods/proof.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "design/methods/bound.h"
#include "design/methods/classes.h"
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

bool solvable(const Shape &s, uint64_t most_columns) {
  return s.t >= 1 && s.k == s.t && s.x >= s.t && s.x < s.n && binom()(s.n, s.x) <= most_columns;
}

bool fixable(const Shape &s) {
  return s.t >= 2 && s.k == s.t && s.x >= s.t && s.x < s.n && s.n <= 64 &&
         binom()(s.n - 1, s.x) <= kMostFixedColumns &&
         binom()(s.n - 1, s.x - 1) <= kMostFixedColumns;
}

class Prover {
public:
  Prover(const std::atomic<bool> *stop, uint64_t most_columns)
      : stop_(stop), most_columns_(most_columns) {}

  // The proof of s, the exact solve by `until`.
  Proof prove(const Shape &s, uint64_t aim, Deadline until) {
    auto key = std::make_tuple(s.n, s.k, s.x, s.t);
    if (auto it = known_.find(key);
        it != known_.end() && (it->second.lower >= aim || !it->second.wheel.empty()))
      return it->second;
    Proof p;
    p.lower = lower_bound(s);
    uint64_t least = 0;  // covers through each number, proved
    std::string why;     // how `least` is proved
    if (s.t >= 2 && s.t == s.k) {
      Shape d = through_one(s);
      Proof pd = exact_available() && (solvable(d, most_columns_) || fixable(d))
                     ? prove(d, UINT64_MAX, share_until(until, kDerivedShare))
                     : Proof{lower_bound(d), {}, ""};
      least = pd.lower;
      why = instance(d) + " needs " + std::to_string(least) + ": " +
            (pd.how.empty() ? "its lower bound" : pd.how);
      uint64_t by_numbers = (s.n * least + s.x - 1) / s.x;
      if (by_numbers > p.lower) {
        p.lower = by_numbers;
        p.how = "each number lies in at least " + std::to_string(least) + " covers (" + why +
                "), so at least ceil(" + std::to_string(s.n) + " x " + std::to_string(least) +
                " / " + std::to_string(s.x) + ") = " + covers_text(by_numbers);
      }
    }
    if (p.lower < aim && exact_available()) {
      if (solvable(s, most_columns_))
        solve(s, least, until, p);
      else if (fixable(s))
        fix(s, least, why, aim, until, p);
    }
    known_[key] = p;
    return p;
  }

private:
  bool halted(Deadline until) const { return (stop_ && *stop_) || Clock::now() >= until; }

  // The exact solve of s over all x-sets, each number in at least `least`
  // covers and the first cover 1..x.
  void solve(const Shape &s, uint64_t least, Deadline until, Proof &p) {
    if (halted(until)) return;
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
    CoverSolution sol = solve_cover(fixed + 1, rows_of, std::vector<uint32_t>(xs.size(), 1), until,
                                    INT32_MAX, demand);
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

  // Raises p.lower while no wheel of p.lower covers exists (each number in
  // at least `least`), fixing the covers through the number in fewest; stops
  // at `aim`, at a wheel of p.lower covers (p.wheel) or where the classes of
  // those covers are too many to list or solve in time.
  void fix(const Shape &s, uint64_t least, const std::string &why, uint64_t aim, Deadline until,
           Proof &p) {
    const Shape d = through_one(s);
    least = std::max<uint64_t>(least, 1);
    while (p.lower < aim && p.lower < binom()(s.n, s.x) && !halted(until)) {
      const uint64_t b = p.lower, fewest = b * (uint64_t)s.x / (uint64_t)s.n;
      if (fewest > (uint64_t)kMostClassCovers || fewest < least) return;
      size_t classes = 0;
      for (uint64_t r = least; r <= fewest; r++) {
        std::vector<std::vector<Set>> through;
        if (!wheel_classes(d, (int)r, until, stop_, through)) return;
        classes += through.size();
        for (const std::vector<Set> &w : through) {
          std::vector<Set> rest;
          if (!rest_is_missing(s, w, b, until, rest)) {
            if (!rest.empty()) p.wheel = std::move(rest);
            return;
          }
        }
      }
      p.lower = b + 1;
      p.how = (p.how.empty() ? "the lower bound is " + lower_bound_text(s) : p.how) +
              "; none has " + covers_text(b) + ": each number lies in at least " +
              std::to_string(least) + " covers (" + why + "), and the exact solve over the " +
              std::to_string(s.x) +
              "-sets, with the covers through the number in fewest fixed to each of the " +
              std::to_string(classes) + " wheels of " + instance(d) + " with " +
              std::to_string(least) + (fewest > least ? " to " + std::to_string(fewest) : "") +
              " covers up to relabelling, finds no more";
    }
  }

  // Whether no wheel of at most b covers has number 1 in exactly the covers
  // of w (a wheel of the instance through one number, on numbers 2..n) and
  // every other number in at least as many: true where the exact solve
  // proves it; false with `wheel` the whole wheel where it finds one, false
  // with `wheel` empty where it ran out of time.
  bool rest_is_missing(const Shape &s, const std::vector<Set> &w, uint64_t b, Deadline until,
                       std::vector<Set> &wheel) {
    wheel.clear();
    std::vector<Set> fixed, ks, xs;
    for (Set c : w) fixed.push_back((c << 1) | bit(0));
    std::vector<Set> open;
    subsets(low_bits(s.n), s.k, 0, ks);
    for (Set k : ks)
      if (std::none_of(fixed.begin(), fixed.end(), [&](Set c) { return (c & k) == k; }))
        open.push_back(k);
    subsets(low_bits(s.n) & ~bit(0), s.x, 0, xs);
    const uint32_t rows = (uint32_t)open.size();
    std::vector<std::vector<uint32_t>> rows_of(xs.size());
    for (size_t c = 0; c < xs.size(); c++) {
      for (uint32_t r = 0; r < rows; r++)
        if ((xs[c] & open[r]) == open[r]) rows_of[c].push_back(r);
      for (int i = 1; i < s.n; i++)
        if (bool(xs[c] & bit(i))) rows_of[c].push_back(rows + (uint32_t)i - 1);
    }
    std::vector<uint32_t> demand(rows + (uint32_t)s.n - 1, 1);
    for (int i = 1; i < s.n; i++) {
      uint32_t through = 0;
      for (Set c : fixed) through += bool(c & bit(i));
      demand[rows + i - 1] = (uint32_t)w.size() > through ? (uint32_t)w.size() - through : 0;
    }
    CoverSolution sol = solve_cover(demand.size(), rows_of, std::vector<uint32_t>(xs.size(), 1),
                                    until, INT32_MAX, demand, b - w.size());
    if (sol.infeasible) return true;
    if (!sol.chosen.empty()) {
      wheel = fixed;
      for (uint32_t c : sol.chosen) wheel.push_back(xs[c]);
    }
    return false;
  }

  const std::atomic<bool> *stop_;
  const uint64_t most_columns_;
  std::map<std::tuple<int, int, int, int>, Proof> known_;
};

}  // namespace

bool provable(const Shape &s) {
  return exact_available() && (solvable(s, kMostProofColumns) || fixable(s));
}

Proof prove_lower(const Shape &s, uint64_t aim, Deadline end, const std::atomic<bool> *stop,
                  uint64_t most_columns) {
  return Prover(stop, most_columns).prove(s, aim, end);
}

}  // namespace design::inline VORLANK_SETS
