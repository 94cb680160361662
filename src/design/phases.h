// One vorlank-design search in its phases, which design_wheel (schedule.cpp)
// runs in order: what is known of the wheel of each part of the split, the
// greedy builds, the derived parts, the searches and the local search of
// the parts and of the whole, the wheel at hand and the result. Only the
// schedule's files use it. Plain data; nothing process-wide.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "design/methods/bound.h"
#include "design/methods/method.h"
#include "design/methods/split.h"
#include "design/methods/symmetric.h"  // design_threads
#include "design/schedule.h"

namespace design::inline VORLANK_SETS {
namespace schedule {

// The methods of the list with the role, in its order.
std::vector<const Method *> with_role(Role r);

// One wheel a method (or the store, or --from) gave: its size and what the
// # line says of it ("greedy 117", "symmetric 77 (PSL(2,11): ...)").
struct Step {
  std::string name;
  uint64_t size;
  std::string detail;
};

// A proved wheel of the whole instance and its # lines.
struct Proved {
  std::vector<Set> covers;
  std::vector<std::string> built;
};

// What is known of the direct wheel of L(m,j,x,t).
struct Known {
  bool tried = false;            // the greedy has run or was out of reach
  uint32_t built = 0;            // the build methods that gave it a wheel, a bit each
  size_t searched = 0;           // the search methods run on it, in the list's order
  bool looked_up = false;        // the store was asked for its wheel
  uint64_t stored = UINT64_MAX;  // the size of its stored wheel, where one was taken
  std::vector<Set> best;         // proved
  std::vector<Step> steps;       // how best came about
  bool optimal = false;          // no smaller wheel exists (the exact solve proved it)
  bool settled = false;          // local search stopped improving it
  int failed = 0;                // slices in a row that found nothing
  uint64_t slice_gain = 0;       // covers the slices of local search removed
  double slice_lookups = 0;      // and the look-ups their moves made
  // A second start for its local search, and its story (second_starts).
  std::vector<Set> other;
  std::vector<Step> other_steps;
  bool second = false;  // second_starts looked for one

  // A smaller proved wheel: an improving method refines the step before it
  // (its own, or adds one), any other source starts the story afresh.
  void improve(std::vector<Set> w, const std::string &name, bool refines, std::string detail = "") {
    best = std::move(w);
    if (refines && !steps.empty() && steps.back().name == name)
      steps.back().size = best.size();
    else if (refines)
      steps.push_back({name, best.size(), ""});
    else
      steps = {{name, best.size(), std::move(detail)}};
  }
  void improve(std::vector<Set> w, const Method &how, std::string detail = "") {
    improve(std::move(w), how.name(), how.role() == Role::Improve, std::move(detail));
  }
  std::string text() const {
    std::string t;
    for (const Step &st : steps) {
      t += (t.empty() ? "" : ", ") + st.name + " " + std::to_string(st.size);
      if (!st.detail.empty()) t += " (" + st.detail + ")";
    }
    return t;
  }
};

struct Search {
  const Shape &s;
  const DesignOptions &opt;
  // The search's end, and the latest any greedy may run: both leave the
  // proof its time before the run's limit.
  Deadline start, end, hard_end;
  std::vector<Known> known;  // at m * (k + 1) + j
  uint64_t moves_used = 0;
  int threads = 1;
  uint64_t from_store = 0;  // the size of the whole's stored wheel, where it was taken
  bool last_try = false;    // no split came together: the greedy searches' last try
  uint64_t lower;           // the whole's lower bound: a split this small ends the search
  std::string lower_how;    // how `lower` was proved, where the proof raised it

  Search(const Shape &shape, const DesignOptions &o, double proof_s)
      : s(shape), opt(o), start(Clock::now()), end(after(start, o.seconds - proof_s)),
        hard_end(after(start, run_limit(o.seconds) - proof_s)),
        known((size_t)(s.n + 1) * (s.k + 1)), threads(design_threads()), lower(lower_bound(s)),
        proof(proof_s) {}

  bool halted() const { return opt.stop && *opt.stop; }
  Known &at(int m, int j) { return known[(size_t)m * (s.k + 1) + j]; }
  Shape shape(int m, int j) const { return {m, j, s.x, s.t}; }
  void progress(uint64_t best, const std::string &what) const {
    if (opt.progress) opt.progress(best, what);
  }
  // What every method is given on (m, j); the caller sets the time.
  MethodInput input(int m, int j);

  // ---- the split by what is known ----

  // The table of the split by the wheels known. Optimistic, it counts a part
  // not tried yet at its lower bound times the ratio its nearest tried
  // neighbour (same k, smaller pool) came to.
  enum Mode { kKnown, kUntried };
  int64_t hoped(int m, int j);  // a part's size, estimated
  SplitTable table(Mode mode);
  std::vector<Part> split(Mode mode, int64_t *size);

  // A small covering design's proof that no wheel below the one known
  // exists (proof.h), by `until`: it raises `lower`, where the other phases
  // stop, and its exact solve may give a smaller wheel.
  void prove(Deadline until);

  // ---- build: greedy wheels ----

  // Where no first wheel would come in time: the whole's wheel from the
  // first fallback method that applies.
  void fallback();

  // The stored wheel of (m, j) where it beats the one known.
  void take_stored(int m, int j);

  // A part's first wheels: the stored one, then each build method not run
  // on it yet whose estimated time fits what is left of `budget` (estimated
  // seconds), the smallest wheel kept. Unbounded, only the quickest, however
  // long it takes; `quickest`, only the quickest and no other step.
  void build(int m, int j, double &budget, bool unbounded, bool only_quickest = false);

  // A short run of the first improving method, the same number of look-ups
  // for every part, so that the split compares parts as they come out of
  // local search rather than the greedy alone: a greedy L(10,2,6,2) has 5
  // covers, 4 suffice. Only where setting it up (a count per k-set, every
  // cover's k-sets) is cheap beside it. Only the first: the weighted
  // search's move costs many times the look-ups its count says, and took
  // the symmetric search's seconds on short runs (L(26,3,6,3) at 5 s: 161
  // covers where 130 is found).
  void quick_improve(int m, int j, double &budget);

  // The quickest estimate of any build method on s; only of those that
  // apply to it, where `applying`.
  static double quickest_build(const Shape &ps, bool applying = false) {
    double e = INFINITY;
    for (const Method *b : with_role(Role::Build))
      if (!applying || b->applies(ps)) e = std::min(e, b->seconds(ps));
    return e;
  }

  // The split whose parts' quickest build methods take the least estimated
  // time, counted in microseconds.
  SplitTable quickest_plan() const {
    return SplitTable(s, [&](int m, int j) -> int64_t {
      double e = quickest_build(shape(m, j), true);
      return std::isfinite(e) ? (int64_t)std::ceil(e * 1e6) : -1;
    });
  }
  // Estimated seconds to the first wheel; infinity where no split can be built.
  double first_wheel_seconds() const {
    int64_t us = quickest_plan().best(s.n, s.k);
    return us < kNoWheel ? (double)us / 1e6 : INFINITY;
  }

  // The quickest wheel first, so that a wheel is at hand within seconds:
  // each part of the quickest plan by its quickest build method alone (the
  // others come in the part's turn).
  void quickest_wheel();

  // Greedy wheels for the parts the split would use, cheapest first, while
  // a split with untried parts could beat the one known (the estimates
  // prune the rest) and the greedy's share of the time lasts. A lower bound
  // alone is far too hopeful where k > t, hence the ratios.
  // The budgets are estimated seconds: `whole` for the whole instance's
  // greedy, `budget` for the parts'.
  void build_parts(double whole, double budget);

  // ---- derive: wheels composed from other parts' ----

  // Where the split known of (root_n, root_k) composes a part from others
  // (a fringe), the derived wheel becomes that part's own, the parts it
  // rests on first.
  void derive_parts(int root_n, int root_k);
  // A derive method's wheel of (m, j) from the parts of the table.
  MethodResult derive(const Method &dm, int m, int j, const SplitTable &tb);

  // Where k > t, the fringe's wheel of each of the parts whose own wheel
  // came from elsewhere, as the part's second start: a fringe
  // wheel is a far better start for local search than a greedy or a
  // symmetric one of fewer covers (L(33,4,6,3): the fringe's 258 anneals to
  // 192 in 2 s, the greedy's 224 to 221 in 2 s, the symmetric search's 198
  // to 197 in 18 s).
  void second_starts(const std::vector<Part> &parts);

  // ---- search: wheels of their own, to beat the best known ----

  // The next search method that applies to (m, j) and has not run on it,
  // as an index into `searchers`; searchers.size() where none is left.
  size_t next_search(int m, int j, const std::vector<const Method *> &searchers) {
    size_t i = at(m, j).searched;
    while (i < searchers.size() && !searchers[i]->applies(shape(m, j))) i++;
    return i;
  }

  // The search methods on the parts of the split known and on the whole
  // instance, each once, the part farthest above its lower bound first,
  // sharing the time to `until` among those left; a smaller wheel may change
  // the split, whose new parts then come in turn. Returns true where the
  // whole instance's wheel was proved optimal.
  bool search_parts(Deadline until);

  // Where k > t, the covering designs L(m,t,x,t) that split the whole with
  // a part L(n-m,k+1-t,x,t) into a wheel within `ratio` times `size`, the
  // smallest split first; a design without a wheel counts at its estimate.
  // The split known was chosen from greedy wheels, and a structured design
  // may move it (L(45,6,6,3): C(22,6,3) had no wheel, and the symmetric
  // search gives 77; L(59,6,6,3): the greedy's C(26,6,3) 162 lost to
  // C(28,6,3) 231, where the symmetric search gives 130 and 205).
  std::vector<std::pair<int, int>> near_designs(int64_t size, double ratio);
  // The parts of those splits, the fringes among them derived, for the
  // parts' local search beside the split's own.
  std::vector<Part> near_parts(int64_t size);

  // The next search method on (m, j), with its share of the time to `until`
  // (the time left over `sharing`); true where it proved the part's wheel
  // optimal. Its progress counts in the split of `size` where `in_split`.
  bool search_one(int m, int j, const std::vector<const Method *> &searchers, Deadline until,
                  double sharing, int64_t size, bool in_split);

  // Where no split can be built in time, the search methods on the whole
  // instance first, with the search's time; true where one gave a wheel.
  bool search_whole();

  // ---- improve: local search of the parts and of the whole ----

  // Local search of the split's parts, a slice at a time, each to the part
  // whose slices removed the most covers per look-up (each part once first,
  // the farthest above its lower bound first), until slices find nothing
  // (the split may change meanwhile). A part's second start takes its turns
  // while, at the pace of its last slice, it could come below the part's
  // wheel in the slices left; where it does, it becomes the part's wheel.
  void improve_parts(Deadline until, uint64_t moves);

  // The whole wheel's improvement; it removes the covers the union made
  // redundant. The last improving method that applies, to the end: the
  // list goes from the general annealer to the searches that beat it where
  // they apply (the weighted search where k = t: L(13,3,4,3) alone in 60 s,
  // seeds 1-3, 78, 78, 78 where the annealer gives 79, 78, 79).
  const Method *whole_by = nullptr;  // the method improve_whole ran
  std::vector<Set> improve_whole(const std::vector<Set> &from, uint64_t moves, uint64_t salt);

  // ---- the phases together ----

  // Where k > t, whether the whole instance's greedy could come out below
  // `size` (the split at hand): a greedy wheel's ratio to the counting bound
  // grows with the pool where k > t (L(30,6,6,4): 4.0, L(49,6,6,3): 6.0),
  // so the greedy of the largest smaller pool of the same k that takes at
  // most kProbeShare of the time gives a ratio the whole's cannot beat.
  bool whole_greedy_may_beat(uint64_t size);

  // Greedy wheels until a split comes together: the quickest wheel, then
  // the greedy's share of the time, then the time up to the run's limit for
  // the parts not yet built. Returns the split (empty: none).
  std::vector<Part> first_split(int64_t *size);

  // ---- the wheel at hand ----

  // The best proved wheel of the whole so far, which an interrupt prints at
  // once; kept fresh where a proof is cheap.
  Proved at_hand;
  double proof = 0;  // proof_seconds(s)

  // Composes the split known and proves it, where it beats the wheel at hand
  // and its proof is cheap: the first always where the run has time for two
  // proofs, later ones where a proof takes at most kCheapProof seconds or
  // kCheapProofShare of the run.
  void keep_at_hand(bool first);

  // ---- the result ----

  static std::string about(double seconds, const std::string &what) {
    char text[32];
    snprintf(text, sizeof text, "%.0f seconds", std::ceil(seconds));
    return what + text;
  }

  std::vector<std::vector<Set>> wheels_of(const std::vector<Part> &parts) {
    std::vector<std::vector<Set>> wheels;
    for (const Part &p : parts)
      wheels.push_back(p.kind == Part::Direct ? at(p.n, p.k).best : std::vector<Set>());
    return wheels;
  }

  // The # lines of a split's parts.
  void describe(const std::vector<Part> &parts, int64_t size, std::vector<std::string> &built);

  // Each part's wheel goes to the store where it beats the stored one (the
  // whole's is the caller's).
  void store_parts(const std::vector<Part> &parts) {
    if (!opt.keep || parts.size() <= 1) return;
    for (const Part &p : parts)
      if (Known &d = at(p.n, p.k); p.kind == Part::Direct && d.best.size() < d.stored)
        opt.keep(shape(p.n, p.k), d.best, {instance(shape(p.n, p.k)) + ": " + d.text()});
  }

  // The wheel of the split's parts, improved as a whole where time is left,
  // proved; false where no proved wheel came out. Interrupted, the wheel at
  // hand where proving a new one would not be quick.
  bool finish(const std::vector<Part> &parts, int64_t size, Design &out);
};

}  // namespace schedule
}  // namespace design::inline VORLANK_SETS
