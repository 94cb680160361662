// The schedule of vorlank-design's search: which method runs on which part
// of the split, and for how long.
#include "design/schedule.h"

#include <algorithm>
#include <cmath>

#include "design/methods/anneal.h"
#include "design/methods/bound.h"
#include "design/methods/method.h"
#include "design/methods/partgreedy.h"
#include "design/methods/split.h"
#include "design/methods/symmetric.h"

namespace design::inline VORLANK_SETS {

// Each defined in its own file (method_*.cpp).
const Method &colex_greedy_method(), &engine_greedy_method(), &gaps_method(), &unions_method(),
    &fringe_method(), &symmetric_method(), &block_method(), &larger_pool_method(),
    &local_search_method(), &weighted_method();

const std::vector<const Method *> &methods() {
  static const std::vector<const Method *> list = {
      &colex_greedy_method(), &engine_greedy_method(), &gaps_method(),
      &unions_method(),       &fringe_method(),        &larger_pool_method(),
      &symmetric_method(),    &block_method(),         &local_search_method(),
      &weighted_method()};
  return list;
}

// ---- the budget --------------------------------------------------------------------

// The greedy's share of the time, counted in estimated seconds so that the
// split chosen does not depend on how fast or loaded the machine is.
static constexpr double kGreedyShare = 0.25;
// The greedy of the whole instance may take up to this share of the time
// before the parts' greedy (L(22,10,10,6): 5 s, where no split comes near),
// and only kWholeGreedyKnownShare where the quickest wheel came from a split
// of at most kGoodSplit times the counting bound: there the split's parts pay
// better (L(49,6,6,3): 175 covers for a bound of 54 at once, where its
// greedy took 11 to 19 s of 30 and the symmetric search of L(27,4,6,3) lost
// that time). Where the split is poorer, the whole's greedy may take all the
// search's time (L(22,10,10,6) in 3 s: 35 for 5, where the greedy gives 24).
static constexpr double kWholeGreedyShare = 0.5;
static constexpr double kWholeGreedyKnownShare = 0.1;
static constexpr double kGoodSplit = 4;
// Of the time left after the greedy, the search methods (the symmetric
// search) take this share, less where every part is done sooner.
static constexpr double kSearchShare = 0.7;
// Of the time left after them, the parts' local search takes this share
// (less when every part stops improving), the whole wheel the rest.
static constexpr double kPartShare = 0.7;
// Each turn of a part's local search takes this share of the parts' time.
static constexpr int kSlices = 6;
// A part settles after this many slices in a row without a smaller wheel:
// where k > t, gains come seconds apart.
static constexpr int kFailedSlices = 2;
// Where a move of the whole wheel looks up more k-sets than this (L(49,6,6,3):
// 229,600, a few hundred moves a second), its local search finds little, and
// the parts keep their slices to the end of their share instead of settling.
static constexpr uint64_t kCostlyWholeMove = 100'000;
// Look-ups of the short local search of each greedy part wheel, and their
// estimated seconds.
static constexpr uint64_t kQuickLookups = 4'000'000;
static constexpr double kSecondsPerLookup = 5e-9 * kSetCost;
// A proof this quick keeps the wheel at hand fresh after each phase (and an
// interrupt proves the newest wheel rather than print the one at hand):
// kCheapProof seconds, or kCheapProofShare of the run where that is more.
static constexpr double kCheapProof = 1;
static constexpr double kCheapProofShare = 0.02;

// The check walk of the final proof counts every cover's k-sets and then
// reads every k-set's count: about 5 ns each (the 322 covers of the greedy
// run's L(49,6,6,3) in 0.49 s). Wheels come to about kProofCovers times
// the counting bound until one is at hand.
static constexpr double kProofCovers = 3;
double proof_seconds(const Shape &s, double covers) {
  if (covers <= 0) covers = kProofCovers * (double)std::max<uint64_t>(counting_bound(s), 1);
  return 5e-9 * ((double)binom()(s.n, s.k) + covers * (double)per_cover(s));
}

// A run may overrun --seconds by a quarter or a second and a half, the
// larger: a greedy step, an exact solve or the proof cannot stop at once.
double run_limit(double seconds) { return std::max(1.25 * seconds, seconds + 1.5); }

namespace {

std::vector<const Method *> with_role(Role r) {
  std::vector<const Method *> out;
  for (const Method *m : methods())
    if (m->role() == r) out.push_back(m);
  return out;
}

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
  MethodInput input(int m, int j) {
    MethodInput in;
    in.s = shape(m, j);
    in.best = &at(m, j).best;
    in.lower = lower_bound(in.s);
    in.end = end;
    in.moves = opt.moves;
    in.seed = opt.seed;
    in.threads = threads;
    in.stop = opt.stop;
    return in;
  }

  // ---- the split by what is known ----

  // The table of the split by the wheels known. Optimistic, it counts a part
  // not tried yet at its lower bound times the ratio its nearest tried
  // neighbour (same k, smaller pool) came to.
  enum Mode { kKnown, kUntried };
  SplitTable table(Mode mode) {
    return SplitTable(s, [&](int m, int j) -> int64_t {
      const Known &d = at(m, j);
      uint64_t lb = counting_bound(shape(m, j));
      if (mode == kUntried && !d.tried) {
        // Where k = t the small pools' ratios swing (L(10,3,6,3): 10 covers
        // for a bound of 7, L(11,3,6,3): 11 for 11), and the least one met is
        // the fair guess; where k > t they grow with the pool.
        double ratio = 1, least = INFINITY;
        for (int m2 = m - 1; m2 > s.x; m2--)
          if (const Known &e = at(m2, j); !e.best.empty()) {
            ratio = (double)e.best.size() / (double)counting_bound(shape(m2, j));
            least = std::min(least, ratio);
            if (j > s.t) break;
          }
        if (j == s.t && std::isfinite(least)) ratio = least;
        return (int64_t)((double)lb * ratio);
      }
      return d.best.empty() ? -1 : (int64_t)d.best.size();
    });
  }
  std::vector<Part> split(Mode mode, int64_t *size) {
    SplitTable tb = table(mode);
    std::vector<Part> parts;
    *size = tb.best(s.n, s.k);
    if (*size < kNoWheel) tb.parts(s.n, s.k, 0, parts);
    return parts;
  }

  // ---- build: greedy wheels ----

  // Where no first wheel would come in time: the whole's wheel from the
  // first fallback method that applies.
  void fallback() {
    for (const Method *m : with_role(Role::Fallback)) {
      if (!m->applies(s) || halted()) continue;
      progress(0, std::string(m->name()) + " " + instance(s));
      MethodResult r = m->run(input(s.n, s.k));
      if (r.covers.empty() || !proved(s, r.covers)) continue;
      at(s.n, s.k).improve(std::move(r.covers), *m, r.detail);
      return;
    }
  }

  // The stored wheel of (m, j) where it beats the one known.
  void take_stored(int m, int j) {
    Known &d = at(m, j);
    if (!opt.stored || halted() || d.looked_up) return;
    d.looked_up = true;
    if (std::vector<Set> w = opt.stored(shape(m, j));
        !w.empty() && (d.best.empty() || w.size() < d.best.size())) {
      if (m == s.n && j == s.k) from_store = w.size();
      d.stored = w.size();
      d.improve(std::move(w), "stored", false);
    }
  }

  // A part's first wheels: the stored one, then each build method not run
  // on it yet whose estimated time fits what is left of `budget` (estimated
  // seconds), the smallest wheel kept. Unbounded, only the quickest, however
  // long it takes; `quickest`, only the quickest and no other step.
  void build(int m, int j, double &budget, bool unbounded, bool only_quickest = false) {
    Known &d = at(m, j);
    if (!only_quickest) d.tried = true;
    Shape ps = shape(m, j);
    take_stored(m, j);
    std::vector<const Method *> builders = with_role(Role::Build);
    std::vector<double> est;
    for (const Method *b : builders) est.push_back(b->applies(ps) ? b->seconds(ps) : INFINITY);
    double quickest = *std::min_element(est.begin(), est.end());
    for (size_t i = 0; i < builders.size() && !halted(); i++) {
      if (d.built >> i & 1) continue;
      if (unbounded || only_quickest ? !std::isfinite(est[i]) || est[i] > quickest
                                     : est[i] > budget)
        continue;
      if (!unbounded && !only_quickest) budget -= est[i];
      progress(0, std::string(builders[i]->name()) + " " + instance(ps));
      // Far beyond its estimate, a greedy is taking a path the estimate did
      // not foresee; give up rather than overrun the time, except on the
      // last try for a first wheel, which may take the time to the limit.
      MethodInput in = input(m, j);
      in.end = std::min(unbounded || last_try ? Deadline::max() : from_now(4 * est[i] + 0.5),
                        hard_end);
      MethodResult r = builders[i]->run(in);
      std::vector<Set> &w = r.covers;
      if (!w.empty()) d.built |= 1u << i;
      if (w.empty() || (!d.best.empty() && w.size() >= d.best.size()) || !proved(ps, w)) continue;
      d.improve(std::move(w), *builders[i], r.detail);
      if (only_quickest) return;
    }
    if (!unbounded && !only_quickest) quick_improve(m, j, budget);
  }

  // A short run of the first improving method, the same number of look-ups
  // for every part, so that the split compares parts as they come out of
  // local search rather than the greedy alone: a greedy L(10,2,6,2) has 5
  // covers, 4 suffice. Only where setting it up (a count per k-set, every
  // cover's k-sets) is cheap beside it. Only the first: the weighted
  // search's move costs many times the look-ups its count says, and took
  // the symmetric search's seconds on short runs (L(26,3,6,3) at 5 s: 161
  // covers where 130 is found).
  void quick_improve(int m, int j, double &budget) {
    Known &d = at(m, j);
    Shape ps = shape(m, j);
    uint64_t cost = std::max<uint64_t>(1, move_lookups(ps));
    if (d.best.empty() || halted() ||
        binom()(m, j) + 2 * d.best.size() * per_cover(ps) > kQuickLookups || cost > kQuickLookups)
      return;
    for (const Method *im : with_role(Role::Improve)) {
      if (!im->applies(ps)) continue;
      budget -= kQuickLookups * kSecondsPerLookup;
      MethodInput in = input(m, j);
      in.moves = kQuickLookups / cost;
      in.runs = 1;
      std::vector<Set> w = im->run(in).covers;
      if (w.size() < d.best.size() && proved(ps, w)) d.improve(std::move(w), *im);
      break;
    }
  }

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
  void quickest_wheel() {
    SplitTable plan = quickest_plan();
    int64_t us = plan.best(s.n, s.k);
    if (us >= kNoWheel || (double)us / 1e6 > seconds_until(hard_end)) return;
    std::vector<Part> parts;
    plan.parts(s.n, s.k, 0, parts);
    double none = 0;
    for (const Part &p : parts)
      if (p.kind == Part::Direct && at(p.n, p.k).best.empty() && !halted())
        build(p.n, p.k, none, false, true);
  }

  // Greedy wheels for the parts the split would use, cheapest first, while
  // a split with untried parts could beat the one known (the estimates
  // prune the rest) and the greedy's share of the time lasts. A lower bound
  // alone is far too hopeful where k > t, hence the ratios.
  // The budgets are estimated seconds: `whole` for the whole instance's
  // greedy, `budget` for the parts'.
  void build_parts(double whole, double budget) {
    // The plain greedy of the whole instance first, where its estimate fits
    // its share: the wheel is never larger than it, and splits must beat it.
    if (!at(s.n, s.k).tried) build(s.n, s.k, whole, false);
    while (!halted()) {
      int64_t size;
      std::vector<Part> parts = split(kUntried, &size);
      const Part *next = nullptr;
      double cheapest = INFINITY;
      for (const Part &p : parts)
        if (p.kind == Part::Direct && !at(p.n, p.k).tried) {
          double e = quickest_build(shape(p.n, p.k));
          if (!next || e < cheapest) cheapest = e, next = &p;
        }
      if (!next) break;
      // Up the ladder of pool sizes: the part's smallest untried pool comes
      // first, so each estimate rests on the ratio of the pool just below.
      int m = s.x + 1;
      while (at(m, next->k).tried) m++;
      build(m, next->k, budget, false);
    }
  }

  // ---- derive: wheels composed from other parts' ----

  // Where the split known composes a part from others (a fringe), the
  // derived wheel becomes that part's own, the parts it rests on first.
  void derive_parts() {
    SplitTable tb = table(kKnown);
    std::vector<const Method *> derivers = with_role(Role::Derive);
    std::function<void(int, int)> walk = [&](int m, int j) {
      int how = tb.how[tb.at(m, j)];
      if (how >= 0) {
        int m1 = how / (s.k + 1), j1 = how % (s.k + 1);
        walk(m1, j1), walk(m - m1, j + 1 - j1);
      }
      Shape ps = shape(m, j);
      if (how != SplitTable::kFringe ||
          std::none_of(derivers.begin(), derivers.end(),
                       [&](const Method *d) { return d->applies(ps); }))
        return;
      walk(m - s.x + 1, j - s.t + 2);
      for (const Method *dm : derivers) {
        if (!dm->applies(ps)) continue;
        MethodInput in = input(m, j);
        in.table = &tb;
        in.known = [&](int m2, int j2) -> const std::vector<Set> & { return at(m2, j2).best; };
        MethodResult r = dm->run(in);
        Known &d = at(m, j);
        if (!r.covers.empty() && (d.best.empty() || r.covers.size() < d.best.size()) &&
            proved(ps, r.covers))
          d.improve(std::move(r.covers), *dm, r.detail);
      }
    };
    if (tb.best(s.n, s.k) < kNoWheel) walk(s.n, s.k);
  }

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
  bool search_parts(Deadline until) {
    std::vector<const Method *> searchers = with_role(Role::Search);
    for (;;) {
      int64_t size;
      std::vector<Part> parts = split(kKnown, &size);
      std::vector<std::pair<int, int>> todo;
      uint64_t worst = 0;
      auto consider = [&](int m, int j) {
        Known &d = at(m, j);
        uint64_t lb = lower_bound(shape(m, j));
        if (next_search(m, j, searchers) == searchers.size() || d.optimal ||
            (!d.best.empty() && d.best.size() <= lb))
          return;
        uint64_t gap = d.best.empty() ? UINT64_MAX : d.best.size() - lb;
        if (todo.empty() || gap > worst)
          worst = gap, todo.insert(todo.begin(), {m, j});
        else
          todo.push_back({m, j});
      };
      if (size <= (int64_t)lower) return false;  // the split is optimal already
      for (const Part &p : parts)
        if (p.kind == Part::Direct) consider(p.n, p.k);
      if (parts.size() != 1 || parts[0].kind != Part::Direct) consider(s.n, s.k);
      if (todo.empty() || Clock::now() >= until || halted()) return false;
      auto [m, j] = todo.front();
      if (search_one(m, j, searchers, until, todo.size(), size) && m == s.n && j == s.k)
        return true;
    }
  }

  // The next search method on (m, j), with its share of the time to `until`;
  // true where it proved the part's wheel optimal.
  bool search_one(int m, int j, const std::vector<const Method *> &searchers, Deadline until,
                  size_t sharing, int64_t size) {
    Known &d = at(m, j);
    size_t i = next_search(m, j, searchers);
    d.searched = i + 1;
    Shape ps = shape(m, j);
    MethodInput in = input(m, j);
    in.end = Clock::now() + (until - Clock::now()) / (int)sharing;
    std::string what = std::string(searchers[i]->name()) + " search of " + instance(ps);
    progress(size < kNoWheel ? size : 0, what);
    in.progress = [&](uint64_t b) {
      int64_t now = size < kNoWheel && !d.best.empty() ? size - (int64_t)d.best.size() + (int64_t)b
                                                       : (int64_t)b;
      progress(now, what);
    };
    // The whole instance's wheel must beat the split's as well as its own
    // (or, as large, prove it optimal).
    uint64_t own = d.best.empty() ? UINT64_MAX : d.best.size();
    in.beat = m == s.n && j == s.k && size < kNoWheel ? std::min(own, (uint64_t)size) : own;
    MethodResult r = searchers[i]->run(in);
    if (r.covers.empty()) return false;
    d.optimal = r.optimal;
    if (r.covers.size() < own && proved(ps, r.covers))
      d.improve(std::move(r.covers), *searchers[i], r.detail);
    return d.optimal;
  }

  // Where no split can be built in time, the search methods on the whole
  // instance first, with the search's time; true where one gave a wheel.
  bool search_whole() {
    std::vector<const Method *> searchers = with_role(Role::Search);
    while (at(s.n, s.k).best.empty() && next_search(s.n, s.k, searchers) < searchers.size() &&
           !halted() && Clock::now() < end)
      search_one(s.n, s.k, searchers, end, 1, kNoWheel);
    return !at(s.n, s.k).best.empty();
  }

  // ---- improve: local search of the parts and of the whole ----

  // Local search of the split's part farthest above its lower bound, a slice
  // at a time, until slices find nothing (the split may change meanwhile).
  void improve_parts(Deadline until, uint64_t moves) {
    std::vector<const Method *> improvers = with_role(Role::Improve);
    auto slice = (until - Clock::now()) / kSlices;
    const bool costly_whole = move_lookups(s) > kCostlyWholeMove;
    uint64_t slice_moves = moves == UINT64_MAX ? UINT64_MAX : moves / kSlices, spent = 0;
    for (uint64_t turn = 0; Clock::now() < until && spent < moves && !halted(); turn++) {
      int64_t size;
      std::vector<Part> parts = split(kKnown, &size);
      if (size <= (int64_t)lower) break;
      const Part *next = nullptr;
      uint64_t gap = 0;
      for (const Part &p : parts) {
        Known &d = at(p.n, p.k);
        if (p.kind != Part::Direct || d.settled) continue;
        uint64_t lb = lower_bound(shape(p.n, p.k));
        if (d.best.size() <= lb || d.optimal ||
            std::none_of(improvers.begin(), improvers.end(),
                         [&](const Method *im) { return im->applies(shape(p.n, p.k)); })) {
          d.settled = true;
          continue;
        }
        if (d.best.size() - lb > gap) gap = d.best.size() - lb, next = &p;
      }
      if (!next) break;  // every part of the split settled
      Shape ps = shape(next->n, next->k);
      Known &d = at(next->n, next->k);
      // The improving methods take the turns in turn.
      const Method *im = nullptr;
      for (size_t i = 0; !im; i++) {
        const Method *c = improvers[(turn + i) % improvers.size()];
        if (c->applies(ps)) im = c;
      }
      std::string what = std::string(im->name()) + " of " + instance(ps);
      MethodInput in = input(next->n, next->k);
      in.end = std::min(until, Clock::now() + slice);
      in.moves = std::min(slice_moves, moves - spent);
      in.seed = opt.seed * 0x9e3779b97f4a7c15 + turn;
      in.progress = [&](uint64_t b) { progress(size - (int64_t)(d.best.size() - b), what); };
      MethodResult r = im->run(in);
      spent += r.moves;
      if (r.covers.size() < d.best.size() && proved(ps, r.covers))
        d.improve(std::move(r.covers), *im), d.failed = 0;
      else
        d.settled = ++d.failed >= kFailedSlices && !costly_whole;
    }
    moves_used += spent;
  }

  // The whole wheel's improvement; it removes the covers the union made
  // redundant. The last improving method that applies, to the end: the
  // list goes from the general annealer to the searches that beat it where
  // they apply (the weighted search where k = t: L(13,3,4,3) alone in 60 s,
  // seeds 1-3, 78, 78, 78 where the annealer gives 79, 78, 79).
  const Method *whole_by = nullptr;  // the method improve_whole ran
  std::vector<Set> improve_whole(const std::vector<Set> &from, uint64_t moves, uint64_t salt) {
    if (Clock::now() >= end || halted() || from.size() <= lower) return from;
    std::vector<const Method *> improvers = with_role(Role::Improve);
    for (auto it = improvers.rbegin(); it != improvers.rend(); ++it) {
      const Method *im = *it;
      if (!im->applies(s)) continue;
      whole_by = im;
      MethodInput in = input(s.n, s.k);
      in.best = &from;
      in.moves = moves;
      in.seed = opt.seed + salt;
      in.progress = [&](uint64_t b) {
        progress(b, std::string(im->name()) + " of the whole wheel");
      };
      MethodResult r = im->run(in);
      moves_used += r.moves;
      return r.covers;
    }
    return from;
  }

  // ---- the phases together ----

  // Greedy wheels until a split comes together: the quickest wheel, then
  // the greedy's share of the time, then the time up to the run's limit for
  // the parts not yet built. Returns the split (empty: none).
  std::vector<Part> first_split(int64_t *size) {
    quickest_wheel();
    keep_at_hand(true);
    int64_t quick;
    double whole = opt.seconds * kWholeGreedyShare;
    if (!split(kKnown, &quick).empty() && at(s.n, s.k).best.empty())
      whole = (double)quick <= kGoodSplit * (double)counting_bound(s)
                  ? opt.seconds * kWholeGreedyKnownShare
                  : opt.seconds;
    build_parts(whole, opt.seconds * kGreedyShare);
    std::vector<Part> parts = split(kKnown, size);
    if (parts.empty() && !halted()) {
      // No split came together in the greedy's share of the time (L(49,6,6,2)
      // in 1 s): the greedy searches once more for the parts not yet built,
      // with the time up to the run's limit.
      for (Known &d : known)
        if (d.best.empty()) d.tried = false;
      double left = seconds_until(hard_end);
      last_try = true;
      build_parts(left, left);
      last_try = false;
      parts = split(kKnown, size);
    }
    return parts;
  }

  // ---- the wheel at hand ----

  // The best proved wheel of the whole so far, which an interrupt prints at
  // once; kept fresh where a proof is cheap.
  Proved at_hand;
  double proof = 0;  // proof_seconds(s)

  // Composes the split known and proves it, where it beats the wheel at hand
  // and its proof is cheap: the first always where the run has time for two
  // proofs, later ones where a proof takes at most kCheapProof seconds or
  // kCheapProofShare of the run.
  void keep_at_hand(bool first) {
    bool cheap = proof <= std::max(kCheapProof, kCheapProofShare * opt.seconds);
    if (halted() || !(cheap || (first && at_hand.covers.empty() &&
                                2 * proof <= seconds_until(hard_end) + proof)))
      return;
    int64_t size;
    std::vector<Part> parts = split(kKnown, &size);
    if (parts.empty() || (!at_hand.covers.empty() && (uint64_t)size >= at_hand.covers.size()))
      return;
    Proved p;
    p.covers = compose(s, parts, wheels_of(parts));
    if (!at_hand.covers.empty() && p.covers.size() >= at_hand.covers.size()) return;
    describe(parts, size, p.built);
    progress(p.covers.size(), "proof");
    if (!proved(s, p.covers)) return;
    // The final proof, of a wheel no larger, is now known to take longer
    // where the wheel is above the guess (L(90,6,6,3): 1713 covers, not 900).
    if (double need = proof_seconds(s, (double)p.covers.size()); need > proof) {
      proof = need;
      end = std::min(end, after(start, opt.seconds - proof));
      hard_end = std::min(hard_end, after(start, run_limit(opt.seconds) - proof));
    }
    at_hand = std::move(p);
  }

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
  void describe(const std::vector<Part> &parts, int64_t size, std::vector<std::string> &built) {
    if (parts.size() > 1)
      built.push_back("split into " + std::to_string(parts.size()) + " parts (" +
                      std::to_string(size) + " covers):");
    for (const Part &p : parts) {
      std::string line = parts.size() > 1 ? "  " + std::to_string(p.offset + 1) + ".." +
                                                std::to_string(p.offset + p.n) + " as "
                                          : "";
      line += instance(shape(p.n, p.k)) + ": ";
      if (p.kind == Part::Empty) line += "no cover (k > n)";
      if (p.kind == Part::Single) line += "1 cover, the whole part, padded";
      if (p.kind == Part::Fringe) {
        int a_size = p.n - s.x + 1;
        line = "  " + std::to_string(p.offset + a_size + 1) + ".." +
               std::to_string(p.offset + p.n) + " with each of " + std::to_string(p.offset + 1) +
               ".." + std::to_string(p.offset + a_size - 1) + ": " + covers_text(a_size - 1);
      }
      if (p.kind == Part::Direct) line += at(p.n, p.k).text();
      built.push_back(line);
    }
  }

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
  bool finish(const std::vector<Part> &parts, int64_t size, Design &out) {
    std::vector<Set> composed = compose(s, parts, wheels_of(parts));
    if (halted() && !at_hand.covers.empty() &&
        (at_hand.covers.size() <= composed.size() || proof > kCheapProof)) {
      out.covers = std::move(at_hand.covers), out.built = std::move(at_hand.built);
      return true;
    }
    describe(parts, size, out.built);
    uint64_t rest =
        opt.moves == UINT64_MAX ? UINT64_MAX : opt.moves - std::min(opt.moves, moves_used);
    out.covers = improve_whole(composed, rest, 1);
    // The local search keeps its wheels without holes; the check walk proves it.
    progress(std::min(out.covers.size(), composed.size()), "proof");
    if (out.covers.size() >= composed.size() || !proved(s, out.covers)) {
      out.covers = composed;
      // The wheel at hand was proved once already.
      if (composed != at_hand.covers && !proved(s, out.covers)) return false;
    }
    std::string gain = std::string(whole_by ? whole_by->name() : "local search") +
                       " of the whole wheel: " + covers_text(out.covers.size());
    // A whole too large for local search is left as its split composed it, and says so.
    uint64_t ksets = binom()(s.n, s.k);
    bool too_large = ksets > kMaxAnnealKsets;
    if (too_large)
      gain = "too many " + std::to_string(s.k) + "-sets (" + std::to_string(ksets) +
             ") for local search of the whole";
    if (parts.size() > 1)
      out.built.push_back("composed: " + covers_text(composed.size()) +
                          (out.covers.size() < composed.size() || too_large ? "; " + gain : ""));
    else if (out.covers.size() < composed.size())
      out.built.push_back(gain);
    return true;
  }
};

}  // namespace

bool design_wheel(const Shape &s, const std::vector<Set> &from, const DesignOptions &opt,
                  Design &out) {
  out = Design();
  out.lower = lower_bound(s);
  if (s.t == 0) {
    out.covers = {low_bits(s.x)};
    out.built = {"one cover: every k-set shares at least 0 numbers with any cover"};
    return true;
  }
  // The proof's time is kept from the start; where even it cannot fit the
  // limit, no search starts.
  double proof = proof_seconds(s), limit = run_limit(opt.seconds);
  if (proof > limit) {
    out.needs = Search::about(proof, "its proof alone would take about ");
    return false;
  }
  Search search(s, opt, proof);
  // A given wheel is one more candidate for the whole instance.
  if (!from.empty()) search.at(s.n, s.k).improve(from, "given", false);
  search.take_stored(s.n, s.k);
  // Without a wheel to start from, a run that cannot build one in time
  // tries the search methods on the whole (designs whose x-sets are too
  // many to list, PG(2,7) among them); where none applies, it is refused at
  // once, naming the time that would do.
  if (search.at(s.n, s.k).best.empty()) {
    double first = search.first_wheel_seconds();
    if (!std::isfinite(first) || proof + first > limit) search.fallback();
    if (search.at(s.n, s.k).best.empty() && (!std::isfinite(first) || proof + first > limit)) {
      std::vector<const Method *> searchers = with_role(Role::Search);
      bool can_search = search.next_search(s.n, s.k, searchers) < searchers.size();
      if (!can_search || !search.search_whole()) {
        if (std::isfinite(first) && (!can_search || !search.halted()))
          out.needs = Search::about(proof + first, "its quickest wheel would take about ");
        return false;
      }
    }
  }

  int64_t size;
  std::vector<Part> parts = search.first_split(&size);
  if (parts.empty()) {
    // The greedy searches took longer than their estimates and the time.
    if (!search.halted() && std::isfinite(search.first_wheel_seconds()))
      out.needs = "its greedy searches did not end in time";
    return false;
  }
  out.from_store = search.from_store;
  if (!search.halted()) search.derive_parts();
  search.keep_at_hand(false);

  // The search methods take their share of the time left; where one proves
  // the whole instance's wheel optimal, the run ends there.
  if (search.search_parts(share_until(search.end, kSearchShare))) {
    Known &d = search.at(s.n, s.k);
    out.covers = d.best;
    out.optimal = true;
    out.built = {instance(s) + ": " + d.text()};
    search.progress(out.covers.size(), "proof");
    return proved(s, out.covers);
  }
  search.keep_at_hand(false);

  uint64_t part_moves = opt.moves == UINT64_MAX ? UINT64_MAX : opt.moves / 2;
  search.improve_parts(share_until(search.end, kPartShare), part_moves);
  parts = search.split(Search::kKnown, &size);
  search.store_parts(parts);
  return search.finish(parts, size, out);
}

}  // namespace design::inline VORLANK_SETS
