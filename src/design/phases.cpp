// The phases of one vorlank-design search: the split by what is known, the
// greedy builds and the fallback, the derived parts, the search methods and
// the local search of the parts and of the whole.
#include "design/phases.h"

#include <algorithm>
#include <cmath>

#include "design/budget.h"
#include "design/methods/anneal.h"
#include "design/methods/partgreedy.h"
#include "design/methods/proof.h"
#include "design/methods/symmetric.h"

namespace design::inline VORLANK_SETS {
namespace schedule {

MethodInput Search::input(int m, int j) {
  MethodInput in;
  in.s = shape(m, j);
  in.best = &at(m, j).best;
  in.lower = m == s.n && j == s.k ? lower : lower_bound(in.s);
  in.end = end;
  in.moves = opt.moves;
  in.seed = opt.seed;
  in.threads = threads;
  in.stop = opt.stop;
  return in;
}

int64_t Search::hoped(int m, int j) {
  // Where k = t the small pools' ratios swing (L(10,3,6,3): 10 covers for a
  // bound of 7, L(11,3,6,3): 11 for 11), and the least one met is the fair
  // guess; where k > t they grow with the pool.
  double ratio = 1, least = INFINITY;
  for (int m2 = m - 1; m2 > s.x; m2--)
    if (const Known &e = at(m2, j); !e.best.empty()) {
      ratio = (double)e.best.size() / (double)counting_bound(shape(m2, j));
      least = std::min(least, ratio);
      if (j > s.t) break;
    }
  if (j == s.t && std::isfinite(least)) ratio = least;
  return (int64_t)((double)counting_bound(shape(m, j)) * ratio);
}

SplitTable Search::table(Mode mode) {
  return SplitTable(s, [&](int m, int j) -> int64_t {
    const Known &d = at(m, j);
    if (mode == kUntried && !d.tried) return hoped(m, j);
    return d.best.empty() ? -1 : (int64_t)d.best.size();
  });
}

std::vector<Part> Search::split(Mode mode, int64_t *size) {
  SplitTable tb = table(mode);
  std::vector<Part> parts;
  *size = tb.best(s.n, s.k);
  if (*size < kNoWheel) tb.parts(s.n, s.k, 0, parts);
  return parts;
}

void Search::prove(Deadline until) {
  int64_t size;
  split(kKnown, &size);
  uint64_t have = size < kNoWheel ? (uint64_t)size : UINT64_MAX;
  if (!provable(s) || halted() || have <= lower) return;
  progress(have, "proof of the lower bound");
  Proof p = prove_lower(s, have, until, opt.stop);
  if (p.lower > lower) lower = p.lower, lower_how = p.how;
  if (!p.wheel.empty() && p.wheel.size() < have && proved(s, p.wheel))
    at(s.n, s.k).improve(std::move(p.wheel), "exact solve", false, p.how);
}

void Search::fallback() {
  for (const Method *m : with_role(Role::Fallback)) {
    if (!m->applies(s) || halted()) continue;
    progress(0, std::string(m->name()) + " " + instance(s));
    MethodResult r = m->run(input(s.n, s.k));
    if (r.covers.empty() || !proved(s, r.covers)) continue;
    at(s.n, s.k).improve(std::move(r.covers), *m, r.detail);
    return;
  }
}

void Search::take_stored(int m, int j) {
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

void Search::build(int m, int j, double &budget, bool unbounded, bool only_quickest) {
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
    if (unbounded || only_quickest ? !std::isfinite(est[i]) || est[i] > quickest : est[i] > budget)
      continue;
    if (!unbounded && !only_quickest) budget -= est[i];
    progress(0, std::string(builders[i]->name()) + " " + instance(ps));
    // Far beyond its estimate, a greedy is taking a path the estimate did
    // not foresee; give up rather than overrun the time, except on the
    // last try for a first wheel, which may take the time to the limit,
    // and in a run ended by moves, whose wheel must not depend on the
    // machine's speed (under a sanitizer and beside another run, the
    // greedy of L(22,3,6,3) gave up, and L(27,4,6,3) lost its fringe).
    MethodInput in = input(m, j);
    bool to_the_limit = unbounded || last_try || opt.moves != UINT64_MAX;
    in.end = std::min(to_the_limit ? Deadline::max() : from_now(4 * est[i] + 0.5), hard_end);
    MethodResult r = builders[i]->run(in);
    std::vector<Set> &w = r.covers;
    if (!w.empty()) d.built |= 1u << i;
    if (w.empty() || (!d.best.empty() && w.size() >= d.best.size()) || !proved(ps, w)) continue;
    d.improve(std::move(w), *builders[i], r.detail);
    if (only_quickest) return;
  }
  if (!unbounded && !only_quickest) quick_improve(m, j, budget);
}

void Search::quick_improve(int m, int j, double &budget) {
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

void Search::quickest_wheel() {
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

void Search::build_parts(double whole, double budget) {
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

MethodResult Search::derive(const Method &dm, int m, int j, const SplitTable &tb) {
  MethodInput in = input(m, j);
  in.table = &tb;
  in.known = [&](int m2, int j2) -> const std::vector<Set> & { return at(m2, j2).best; };
  return dm.run(in);
}

void Search::derive_parts(int root_n, int root_k) {
  SplitTable tb = table(kKnown);
  std::vector<const Method *> derivers = with_role(Role::Derive);
  std::function<void(int, int)> walk = [&](int m, int j) {
    int how = tb.how[tb.at(m, j)];
    if (how >= 0) {
      int m1 = how / (s.k + 1), j1 = how % (s.k + 1);
      walk(m1, j1), walk(m - m1, j + 1 - j1);
    }
    Shape ps = shape(m, j);
    if (how != SplitTable::kFringe || std::none_of(derivers.begin(), derivers.end(),
                                                   [&](const Method *d) { return d->applies(ps); }))
      return;
    walk(m - s.x + 1, j - s.t + 2);
    for (const Method *dm : derivers) {
      if (!dm->applies(ps)) continue;
      MethodResult r = derive(*dm, m, j, tb);
      Known &d = at(m, j);
      if (!r.covers.empty() && (d.best.empty() || r.covers.size() < d.best.size()) &&
          proved(ps, r.covers))
        d.improve(std::move(r.covers), *dm, r.detail);
    }
  };
  if (tb.best(root_n, root_k) < kNoWheel) walk(root_n, root_k);
}

void Search::second_starts(const std::vector<Part> &parts) {
  SplitTable tb = table(kKnown);
  for (const Part &p : parts) {
    Known &d = at(p.n, p.k);
    Shape ps = shape(p.n, p.k);
    if (p.kind != Part::Direct || p.k <= s.t || d.optimal || d.second || halted() || s.t < 3 ||
        s.x - 1 < s.t || p.n <= s.x || tb.best(p.n - s.x + 1, p.k - s.t + 2) >= kNoWheel)
      continue;
    d.second = true;
    // The table as if the part were its fringe, for the fringe method.
    SplitTable as_fringe = tb;
    as_fringe.how[tb.at(p.n, p.k)] = SplitTable::kFringe;
    for (const Method *dm : with_role(Role::Derive)) {
      if (!dm->applies(ps)) continue;
      MethodResult r = derive(*dm, p.n, p.k, as_fringe);
      if (r.covers.empty() || !proved(ps, r.covers)) continue;
      if (r.covers.size() < d.best.size())
        d.improve(std::move(r.covers), *dm, r.detail);
      else if (r.covers.size() > d.best.size() &&
               (double)r.covers.size() <= kSecondStart * (double)d.best.size())
        d.other_steps = {{dm->name(), r.covers.size(), r.detail}}, d.other = std::move(r.covers);
    }
  }
}

bool Search::search_parts(Deadline until) {
  std::vector<const Method *> searchers = with_role(Role::Search);
  int64_t first = -1;  // the split's size before the searches
  for (;;) {
    int64_t size;
    std::vector<Part> parts = split(kKnown, &size);
    if (first < 0) first = size;
    std::vector<std::pair<int, int>> todo;
    uint64_t worst = 0;
    auto consider = [&](int m, int j) {
      Known &d = at(m, j);
      uint64_t lb = m == s.n && j == s.k ? lower : lower_bound(shape(m, j));
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
    // The designs of the splits near the one the searches began with come
    // after the split's own parts, and share one part's time among them
    // while those are left.
    const size_t own = todo.size();
    if (size < kNoWheel) {
      for (auto [m, j] : near_designs(first, kNearSearch)) {
        const Known &d = at(m, j);
        if (next_search(m, j, searchers) < searchers.size() && !d.optimal &&
            (d.best.empty() || d.best.size() > lower_bound(shape(m, j))) &&
            std::find(todo.begin(), todo.end(), std::make_pair(m, j)) == todo.end())
          todo.push_back({m, j});
      }
    }
    if (todo.empty() || Clock::now() >= until || halted()) return false;
    auto [m, j] = todo.front();
    double sharing = own > 0 ? (double)own + (todo.size() > own ? 1 : 0) : (double)todo.size();
    if (search_one(m, j, searchers, until, sharing, size, own > 0) && m == s.n && j == s.k)
      return true;
  }
}

std::vector<std::pair<int, int>> Search::near_designs(int64_t size, double ratio) {
  std::vector<std::pair<int, int>> out;
  if (s.k == s.t) return out;
  // A design without a wheel (its greedy not run, or out of time) counts at
  // its estimate; the other part must have a wheel.
  SplitTable tb = table(kKnown);
  std::vector<std::pair<int64_t, int>> near;  // the splits' sizes and the designs' pools
  for (int m = s.x + 1; m < s.n; m++) {
    bool has = !at(m, s.t).best.empty();
    int64_t a = has ? tb.best(m, s.t) : hoped(m, s.t), b = tb.best(s.n - m, s.k + 1 - s.t);
    if ((!has || tb.how[tb.at(m, s.t)] == SplitTable::kDirect) && b < kNoWheel &&
        (double)(a + b) <= ratio * (double)size)
      near.push_back({a + b, m});
  }
  std::sort(near.begin(), near.end());
  for (auto [v, m] : near) out.push_back({m, s.t});
  return out;
}

std::vector<Part> Search::near_parts(int64_t size) {
  std::vector<Part> out;
  for (auto [m, j] : near_designs(size, kNearSplit)) {
    derive_parts(s.n - m, s.k + 1 - j);
    SplitTable tb = table(kKnown);
    tb.parts(m, j, 0, out);
    tb.parts(s.n - m, s.k + 1 - j, m, out);
  }
  return out;
}

bool Search::search_one(int m, int j, const std::vector<const Method *> &searchers, Deadline until,
                        double sharing, int64_t size, bool in_split) {
  Known &d = at(m, j);
  size_t i = next_search(m, j, searchers);
  d.searched = i + 1;
  Shape ps = shape(m, j);
  MethodInput in = input(m, j);
  in.end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>((until - Clock::now()) / sharing);
  std::string what = std::string(searchers[i]->name()) + " search of " + instance(ps);
  progress(size < kNoWheel ? size : 0, what);
  in.progress = [&](uint64_t b) {
    if (!in_split) return;  // a near split's design: the split known stands
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

bool Search::search_whole() {
  std::vector<const Method *> searchers = with_role(Role::Search);
  while (at(s.n, s.k).best.empty() && next_search(s.n, s.k, searchers) < searchers.size() &&
         !halted() && Clock::now() < end)
    search_one(s.n, s.k, searchers, end, 1, kNoWheel, true);
  return !at(s.n, s.k).best.empty();
}

void Search::improve_parts(Deadline until, uint64_t moves) {
  std::vector<const Method *> improvers = with_role(Role::Improve);
  auto slice = (until - Clock::now()) / kSlices;
  const bool costly_whole = move_lookups(s) > kCostlyWholeMove;
  uint64_t slice_moves = moves == UINT64_MAX ? UINT64_MAX : moves / kSlices, spent = 0;
  for (uint64_t turn = 0; Clock::now() < until && spent < moves && !halted(); turn++) {
    int64_t size;
    std::vector<Part> parts = split(kKnown, &size);
    if (size <= (int64_t)lower) break;
    // The near splits' parts come after the split's own.
    const size_t own = parts.size();
    for (const Part &p : near_parts(size))
      if (std::none_of(parts.begin(), parts.end(),
                       [&](const Part &q) { return q.n == p.n && q.k == p.k; }))
        parts.push_back(p);
    second_starts(parts);
    // The part whose slices removed the most covers per look-up (counted,
    // not timed, so that a run ended by moves does not depend on the
    // machine's speed); a part not yet given a slice first, and on equal
    // returns the farthest above its lower bound. A near split's part has
    // one slice, to show what it reaches, and more only once the split's
    // own parts have settled.
    const Part *next = nullptr;
    double rate = -1;
    uint64_t gap = 0;
    bool own_open = false;
    for (size_t i = 0; i < parts.size(); i++) {
      const Part &p = parts[i];
      Known &d = at(p.n, p.k);
      if (p.kind != Part::Direct || d.settled || (i >= own && own_open && d.slice_lookups > 0))
        continue;
      uint64_t lb = lower_bound(shape(p.n, p.k));
      if (d.best.size() <= lb || d.optimal ||
          std::none_of(improvers.begin(), improvers.end(),
                       [&](const Method *im) { return im->applies(shape(p.n, p.k)); })) {
        d.settled = true;
        continue;
      }
      own_open |= i < own;
      double r = d.slice_lookups > 0 ? (double)d.slice_gain / d.slice_lookups : INFINITY;
      if (r > rate || (r == rate && d.best.size() - lb > gap))
        rate = r, gap = d.best.size() - lb, next = &p;
    }
    if (!next) break;  // every part settled
    const bool in_split = next < parts.data() + own;
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
    const bool other = !d.other.empty();
    if (other)
      in.best = &d.other;
    else if (in_split)
      in.progress = [&](uint64_t b) { progress(size - (int64_t)(d.best.size() - b), what); };
    uint64_t was = d.best.size();
    MethodResult r = im->run(in);
    spent += r.moves;
    d.slice_lookups +=
        (double)std::max<uint64_t>(r.moves, 1) * (double)std::max<uint64_t>(move_lookups(ps), 1);
    if (other) {
      uint64_t gain = r.covers.size() < d.other.size() && proved(ps, r.covers)
                          ? d.other.size() - r.covers.size()
                          : 0;
      d.slice_gain += gain;
      if (gain) d.other = std::move(r.covers);
      // The slices left, counted as the run is ended: by moves or by the clock.
      double left = moves == UINT64_MAX ? (double)((until - Clock::now()) / slice)
                                        : (double)((moves - spent) / slice_moves);
      if (d.other.size() < d.best.size()) {
        d.steps = std::move(d.other_steps);
        d.improve(std::move(d.other), *im), d.failed = 0;
        d.other.clear();
      } else if (!gain || (double)gain * left < (double)(d.other.size() - d.best.size())) {
        d.other.clear();
      }
      continue;
    }
    if (r.covers.size() < d.best.size() && proved(ps, r.covers))
      d.improve(std::move(r.covers), *im), d.failed = 0, d.slice_gain += was - d.best.size();
    else
      d.settled = ++d.failed >= kFailedSlices && !costly_whole;
  }
  moves_used += spent;
}

std::vector<Set> Search::improve_whole(const std::vector<Set> &from, uint64_t moves,
                                       uint64_t salt) {
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
    in.progress = [&](uint64_t b) { progress(b, std::string(im->name()) + " of the whole wheel"); };
    MethodResult r = im->run(in);
    moves_used += r.moves;
    return r.covers;
  }
  return from;
}

bool Search::whole_greedy_may_beat(uint64_t size) {
  // Within the small share the whole's greedy runs either way.
  if (s.k == s.t || !(quickest_build(s, true) > opt.seconds * kWholeGreedyKnownShare)) return true;
  double probe = opt.seconds * kProbeShare;
  int m = s.n - 1;
  while (m > s.x + 1 && !(quickest_build(shape(m, s.k), true) <= probe)) m--;
  if (m <= s.x + 1 || halted()) return true;
  build(m, s.k, probe, false);
  const Known &d = at(m, s.k);
  if (d.best.empty()) return true;
  double ratio =
      (double)d.best.size() / (double)std::max<uint64_t>(counting_bound(shape(m, s.k)), 1);
  return ratio * (double)counting_bound(s) < (double)size;
}

std::vector<Part> Search::first_split(int64_t *size) {
  quickest_wheel();
  keep_at_hand(true);
  int64_t quick;
  double whole = opt.seconds * kWholeGreedyShare;
  if (!split(kKnown, &quick).empty() && at(s.n, s.k).best.empty()) {
    whole = (double)quick <= kGoodSplit * (double)counting_bound(s)
                ? opt.seconds * kWholeGreedyKnownShare
                : opt.seconds;
    if (whole > opt.seconds * kWholeGreedyKnownShare && !whole_greedy_may_beat((uint64_t)quick))
      whole = opt.seconds * kWholeGreedyKnownShare;
  }
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

}  // namespace schedule
}  // namespace design::inline VORLANK_SETS
