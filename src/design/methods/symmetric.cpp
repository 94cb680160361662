// Symmetric wheels: candidate groups, the exact solve or annealing over
// orbits for each, on several threads.
#include "design/methods/symmetric.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <queue>
#include <set>
#include <system_error>
#include <thread>

#include "design/methods/bound.h"
#include "base/deadline.h"
#include "design/methods/exact.h"
#include "base/tasks.h"

namespace design::inline VORLANK_SETS {


int design_threads() {
  if (const char *v = getenv("VORLANK_THREADS"); v && *v) return std::clamp(atoi(v), 1, 256);
  return std::max(1, (int)std::thread::hardware_concurrency());
}

// ---- the reduced problem's size limits -------------------------------------------

// Orbits and entries of the reduced problem held in memory (the annealer
// and the exact solve both take the whole coverage list).
// Where k = t, up to 400,000 x-orbits: C(36,6,2) = 47 comes under 7 cycles
// of 5 and a fixed point (389,564 orbits, 5.6 million entries) and under 6
// cycles of 6 (324,792). Where k > t, fewer x-orbits: a run of the annealer
// starts from the greedy over all of them, and small groups, which give
// many, rarely pay there (L(27,4,6,3) under groups of order 4: 74,000
// orbits, 8 million entries).
static constexpr OrbitLimits kMostOrbits{20000, 400000, 20'000'000};
static constexpr OrbitLimits kMostDenseOrbits{20000, 40000, 5'000'000};
// The exact solve takes the reduced problem where k = t (CBC proved every
// covering design tried) or where its rows are few; where k > t and rows
// are many, the rows are dense and CBC stalls (the annealer takes those).
static constexpr size_t kExactRows = 5000;
static constexpr size_t kExactDenseRows = 120;
static constexpr uint64_t kExactNonzeros = 4'000'000;
// Where k = t, CBC proves groups' problems of up to about 20,000 columns
// within the short solve, and beyond 27,000 it rarely ends even the LP
// (C(36,6,2): 60 groups, none of those above proved in 1 s); the annealer
// takes those (C(36,6,2) = 47 under 6 cycles of 6, 324,792 x-orbits).
static constexpr size_t kExactColumns = 25000;
// The longer exact solves, for the groups the short one left unproved
// with the lowest bounds: each takes kExactSeconds from the annealing.
static constexpr size_t kExactFocusGroups = 4;
// k-sets times x-sets of an instance whose exact solve without a group
// comes before any group's (L(12,5,6,5): 731,808).
static constexpr double kTinyProduct = 1e6;
// Wall seconds of an exact solve: first a short one for every group (most
// prove their optimum in a fraction of a second), then a longer one for the
// groups left unproved whose bound is below the best wheel (L(22,3,6,3)
// under a group of order 11: 140 rows, 6783 columns, proved in 5.7 s).
// Where k > t the short solve is shorter: the groups small enough for it are
// large ones, whose wheels are rarely small, and CBC runs one solve at a time
// while the annealing runs wait (L(27,4,6,3): 20 such groups).
static constexpr double kQuickExactSeconds = 1;
static constexpr double kQuickDenseSeconds = 0.25;
static constexpr double kExactSeconds = 6;
// Nodes of the search tree for each second of an exact solve where the run
// ends by moves.
static constexpr double kNodesPerSecond = 200;
// Annealing where k > t: the start decides (L(27,4,6,3) below 98 under
// Z9 x Z3: 1 run of 40 reached 90 in 0.15 s each, 2 of 40 in 0.3 s; the
// rest stall), so many short runs over groups and seeds beat one long one.
// Every group first has a short run; the groups that came out best then
// take the runs.
static constexpr double kScreenSeconds = 0.1;
static constexpr double kAnnealSeconds = 0.15;
// Where k = t runs need longer (C(36,6,2) under 6 cycles of 6: 47 in 2 of 8
// runs of 2.5 s, 1 of 12 of 1.5 s, none of 8 of 1 s).
static constexpr double kCoveringRunSeconds = 2.5;
// Where k = t, groups up to this order take runs in every round, however
// they screened: their orbit sizes add up to almost any total, and a short
// run tells little of them (C(36,6,2): 6 cycles of 6, the only one of the
// 41 groups that fit to reach 47 in four runs of 2.5 s, met 4-6 holes in
// half-second runs aiming at 48, where 18 groups met 1-3).
static constexpr size_t kSmallOrder = 6;
static constexpr size_t kFocusGroups = 8;
static constexpr size_t kLastGroups = 2;
static constexpr size_t kRunsPerRound = 2;
static constexpr size_t kFocusRounds = 4;                 // rounds where the clock is not read
static constexpr uint64_t kHoleRank = (uint64_t)1 << 40;  // see Prepared::screened
// Moves of one annealing run where the clock is not read: a share of the
// run's --moves, within bounds (a run has dozens of groups to go over).
static constexpr uint64_t kRunsPerMoves = 16;
static constexpr uint64_t kLeastRunMoves = 1000;
static constexpr uint64_t kAnnealMovesCap = 2'000'000;

static bool exact_fits(const Shape &s, const OrbitCover &oc) {
  size_t rows = oc.k.rep.size();
  return exact_available() && oc.nonzeros <= kExactNonzeros &&
         (s.k == s.t ? rows <= kExactRows && oc.x.rep.size() <= kExactColumns
                     : rows <= kExactDenseRows);
}

static uint64_t total_of(const OrbitCover &oc, const std::vector<uint32_t> &chosen) {
  uint64_t total = 0;
  for (uint32_t o : chosen) total += oc.x.size[o];
  return total;
}

// ---- annealing over orbits ---------------------------------------------------------

namespace {
// Chosen x-orbits, the number of chosen orbits covering each k-orbit, and
// the uncovered k-orbits in a list with a position index.
struct OrbitState : HoleList {
  const OrbitCover &oc;
  std::vector<uint32_t> chosen;
  std::vector<uint8_t> in;  // per x-orbit: chosen
  std::vector<uint32_t> mult;
  uint64_t total = 0;

  explicit OrbitState(const OrbitCover &c)
      : HoleList(c.k.rep.size()), oc(c), in(c.x.rep.size()), mult(c.k.rep.size()) {}
  void add(uint32_t o) {
    chosen.push_back(o), in[o] = 1, total += oc.x.size[o];
    for (uint32_t k : oc.cover[o])
      if (mult[k]++ == 0) close(k);
  }
  void remove(size_t i) {
    uint32_t o = chosen[i];
    chosen[i] = chosen.back(), chosen.pop_back(), in[o] = 0, total -= oc.x.size[o];
    for (uint32_t k : oc.cover[o])
      if (--mult[k] == 0) open(k);
  }
  // k-orbits that only this chosen orbit covers.
  uint64_t unique(uint32_t o) const {
    uint64_t n = 0;
    for (uint32_t k : oc.cover[o]) n += mult[k] == 1;
    return n;
  }
};

// The greedy cover over orbits: the orbit covering the most uncovered k-sets
// per cover it adds, ties to the first.
void greedy_orbits(OrbitState &st) {
  const OrbitCover &oc = st.oc;
  // Lazy, from a heap: gains only fall, so an entry whose recount keeps it
  // on top is the best.
  using Entry = std::pair<uint64_t, uint32_t>;  // gain, orbit
  auto worse = [&](const Entry &a, const Entry &b) {
    unsigned __int128 l = (unsigned __int128)a.first * oc.x.size[b.second],
                      r = (unsigned __int128)b.first * oc.x.size[a.second];
    return l != r ? l < r : a.second > b.second;
  };
  std::priority_queue<Entry, std::vector<Entry>, decltype(worse)> heap(worse);
  for (uint32_t o = 0; o < oc.x.rep.size(); o++) {
    uint64_t gain = 0;
    for (uint32_t k : oc.cover[o]) gain += oc.k.size[k];
    heap.push({gain, o});
  }
  while (!st.holes.empty() && !heap.empty()) {
    auto [was, o] = heap.top();
    heap.pop();
    uint64_t now = 0;
    for (uint32_t k : oc.cover[o])
      if (st.mult[k] == 0) now += oc.k.size[k];
    if (now == was)
      st.add(o);
    else if (now > 0)
      heap.push({now, o});
  }
}
}  // namespace

namespace {
// Records a wheel without holes below the best; then drops orbits, the one
// that opens the fewest holes first (the larger on ties), until the total is
// below the best (from a start above the size to beat, several). False
// where the search is over: at the lower bound, or nothing left to drop.
bool drop_below_best(OrbitState &st, std::vector<uint32_t> &best, uint64_t &best_total,
                     uint64_t lower) {
  const OrbitCover &oc = st.oc;
  while (st.holes.empty() || st.total >= best_total) {
    if (st.holes.empty() && st.total < best_total) best = st.chosen, best_total = st.total;
    if (best_total <= lower || st.chosen.size() <= 1) return false;
    size_t drop = 0;
    uint64_t least = UINT64_MAX;
    for (size_t i = 0; i < st.chosen.size(); i++) {
      uint64_t u = st.unique(st.chosen[i]);
      if (u < least || (u == least && oc.x.size[st.chosen[i]] > oc.x.size[st.chosen[drop]]))
        least = u, drop = i;
    }
    st.remove(drop);
  }
  return true;
}

// A move aimed at a random hole K: of the images of the chosen orbits' sets
// that come closest to K (t - 1 numbers shared at best, as K is a hole), a
// random one swaps a number outside K for one of K's. Returns the chosen
// index that leaves and the x-orbit that enters.
std::pair<uint32_t, uint32_t> aim_move(const OrbitState &st, const Group &g, Rng &rng,
                                       std::vector<Set> &images,
                                       std::vector<std::pair<uint32_t, uint32_t>> &aimed) {
  const OrbitCover &oc = st.oc;
  Set k = oc.k.rep[st.holes[rng.below(st.holes.size())]];
  for (size_t e = 0; e < g.elements.size(); e++) images[e] = apply(g.elements[e], k);
  aimed.clear();
  int most = -1;
  for (uint32_t i = 0; i < st.chosen.size(); i++) {
    Set b = oc.x.rep[st.chosen[i]];
    for (uint32_t e = 0; e < images.size(); e++) {
      int shared = count(b & images[e]);
      if (shared > most) most = shared, aimed.clear();
      if (shared == most) aimed.push_back({i, e});
    }
  }
  auto [ci, e] = aimed[rng.below(aimed.size())];
  Set b = oc.x.rep[st.chosen[ci]], img = images[e];
  int leaves = rng.pick(b & ~img), enters = rng.pick(img & ~b);
  return {ci, (uint32_t)oc.x.id[rank((b & ~bit(leaves)) | bit(enters))]};
}
}  // namespace

OrbitAnneal anneal_orbits(const OrbitCover &oc, const Group &g, uint64_t beat, uint64_t lower,
                          uint64_t moves, Deadline end, double seconds, uint64_t seed,
                          const std::function<bool()> &cancel) {
  const Shape &s = oc.s;
  OrbitState st(oc);
  Rng rng(seed);
  // Each seed starts elsewhere: a random orbit, then the greedy.
  st.add((uint32_t)rng.below(oc.x.rep.size()));
  greedy_orbits(st);
  end = std::min(end, from_now(seconds));
  OrbitAnneal out;
  out.least_holes = UINT64_MAX;
  uint64_t best_total = beat;
  std::vector<Set> images(g.elements.size());
  std::vector<uint8_t> mark(oc.k.rep.size());
  std::vector<std::pair<uint32_t, uint32_t>> aimed;  // (chosen index, element)
  // Measured on L(27,4,6,3): 3 found 90 in 3 of 24 half-second runs, 1 in
  // none, 2 in 2; holes weighted by their orbits' sizes did no better.
  const double t0 = 3;
  double temp = t0;
  int cold = 0;
  uint64_t made = 0;
  while (drop_below_best(st, out.chosen, best_total, lower)) {
    // A stage of moves at one temperature; every move keeps the total
    // below the best known.
    uint64_t stage = std::max<uint64_t>(200, st.chosen.size() * s.x * (s.n - s.x));
    uint64_t least = st.holes.size();
    bool better = false;
    for (uint64_t m = 0; m < stage && !st.holes.empty(); m++, made++) {
      if (made >= moves) return out;
      if (made % 256 == 0 && (Clock::now() >= end || (cancel && cancel()))) return out;
      auto [ci, to] = aim_move(st, g, rng, images, aimed);
      uint32_t from = st.chosen[ci];
      if (st.in[to] || st.total - oc.x.size[from] + oc.x.size[to] >= best_total) continue;
      int64_t delta = 0;
      for (uint32_t q : oc.cover[to]) mark[q] = 1, delta -= st.mult[q] == 0;
      for (uint32_t q : oc.cover[from]) delta += st.mult[q] == 1 && !mark[q];
      for (uint32_t q : oc.cover[to]) mark[q] = 0;
      if (delta > 0 && rng.unit() >= std::exp(-(double)delta / temp)) continue;
      st.remove(ci);
      st.add(to);
      if (st.holes.size() < least) least = st.holes.size(), better = true;
      out.least_holes = std::min<uint64_t>(out.least_holes, st.holes.size());
    }
    temp *= 0.99;
    if (temp <= t0 / 2) cold = better ? 0 : cold + 1;
    if (cold >= 30) temp = t0, cold = 0;
  }
  return out;
}

// ---- the schedule over groups and seeds -----------------------------------------------

namespace {
struct Prepared {
  std::once_flag once;
  std::unique_ptr<OrbitCover> oc;  // null where the group does not fit or cannot pay
  bool exact = false;              // solved exactly, else by annealing
  bool proved = false;             // the exact solve proved its optimum
  double bound = 0;                // what the exact solve proved of the group
  // The best rank of its annealing runs. A run's rank: the total of its
  // wheel below the one to beat, else (after every group that found one)
  // the fewest holes it met below that total. Measured on L(27,4,6,3) below
  // 98 in 0.15 s: Z9 x Z3, which alone reaches 90, met 2-4 holes, the other
  // groups 4-31.
  uint64_t screened = UINT64_MAX;
  std::array<size_t, 4> fingerprint{};  // order and orbits of t-, k- and x-sets
};

struct Found {
  uint64_t total = UINT64_MAX;
  std::vector<Set> covers;
  size_t group = 0;  // index into the groups; the last is the trivial group
  bool exact = false, optimal = false;
  size_t orbits[3] = {};  // of t-, k- and x-sets
};

// The search over the candidate groups of one instance: every group once
// (screen), then the longer exact solves and rounds of annealing on the
// groups that screened best (focus), then the smallest wheel (winner).
class GroupSearch {
public:
  GroupSearch(const Shape &s, const SymmetricOptions &opt)
      : s_(s), opt_(opt), groups_(candidate_groups(s.n, kMinGroupOrder, opt.end)), trivial_(groups_.size()),
        timed_(opt.moves == UINT64_MAX), best_(opt.beat) {
    // The trivial group last: only its exact solve, where the whole is small.
    groups_.push_back({"the trivial group", s.n, {}, {}});
    close_group(groups_.back());
    prepared_ = std::vector<Prepared>(groups_.size());
  }

  // First every group once: its exact solve, short, or one short annealing
  // run. A tiny instance's solve without a group comes first (it may prove
  // the optimum at once), a larger one's last. True where the search is done
  // (at the lower bound or proved optimal).
  bool screen() {
    const bool whole = exact_available() &&
                       binom()(s_.n, s_.k) <= (s_.k == s_.t ? kExactRows : kExactDenseRows) &&
                       binom()(s_.n, s_.x) <= kMostOrbits.x_orbits;
    const bool tiny = (double)binom()(s_.n, s_.k) * (double)binom()(s_.n, s_.x) <= kTinyProduct;
    if (whole && tiny) order_.push_back(trivial_);
    for (size_t g = 0; g < trivial_; g++) order_.push_back(g);
    if (whole && !tiny) order_.push_back(trivial_);
    std::atomic<size_t> stop_after{SIZE_MAX};
    // Every group's orbits first, on the threads; then, in the order of the
    // groups, only the first of those alike.
    run_tasks(order_.size(), opt_.threads, stop_after, [&](size_t i) {
      if (!out_of_time()) prepare(order_[i]);
    });
    std::set<std::array<size_t, 4>> seen;
    for (size_t g : order_)
      if (prepared_[g].oc && !seen.insert(prepared_[g].fingerprint).second)
        prepared_[g].oc.reset();
    run_tasks(order_.size(), opt_.threads, stop_after, [&](size_t i) {
      size_t g = order_[i];
      if (out_of_time() || !prepared_[g].oc) return;
      bool last = prepared_[g].exact
                      ? exact_solve(i, g, s_.k == s_.t ? kQuickExactSeconds : kQuickDenseSeconds)
                      : anneal_run(i, g, i, kScreenSeconds, stop_after, i);
      if (last && i < stop_after) stop_after = i;
    });
    return stop_after != SIZE_MAX;
  }

  // Then the longer exact solves of the groups left unproved whose bound is
  // below the best, and annealing runs on the groups that screened best.
  void focus() {
    std::vector<size_t> exact, pool, small;
    for (size_t g : order_)
      if (prepared_[g].oc && prepared_[g].exact && !prepared_[g].proved &&
          prepared_[g].bound < (double)best_ - 0.5)
        exact.push_back(g);
    for (size_t g : order_)
      if (prepared_[g].oc && !prepared_[g].exact && prepared_[g].screened < UINT64_MAX)
        (s_.k == s_.t && groups_[g].elements.size() <= kSmallOrder ? small : pool).push_back(g);
    // The longer solves for the lowest bounds first, the larger group on
    // ties (not std::stable_sort: its buffer trips AddressSanitizer here).
    std::sort(exact.begin(), exact.end(), [&](size_t a, size_t b) {
      return prepared_[a].bound != prepared_[b].bound ? prepared_[a].bound < prepared_[b].bound
                                                      : a < b;
    });
    exact.resize(std::min(exact.size(), kExactFocusGroups));
    by_rank(pool);
    pool.resize(std::min(pool.size(), kFocusGroups));
    // The other groups' tables go (a few MB each, and a pool has dozens).
    for (size_t g = 0; g < groups_.size(); g++)
      if (std::find(exact.begin(), exact.end(), g) == exact.end() &&
          std::find(pool.begin(), pool.end(), g) == pool.end() &&
          std::find(small.begin(), small.end(), g) == small.end())
        prepared_[g].oc.reset();
    std::atomic<size_t> stop_after{SIZE_MAX};
    size_t base = order_.size();
    run_tasks(exact.size(), opt_.threads, stop_after, [&](size_t i) {
      if (!out_of_time() && exact_solve(base + i, exact[i], kExactSeconds) && i < stop_after)
        stop_after = i;
    });
    base += exact.size();
    // Rounds of runs, kRunsPerRound for each group: the groups that
    // screened best, halved after each round by the best rank any of their
    // runs reached, down to kLastGroups, and where k = t the small groups
    // in every round.
    for (size_t round = 0;
         stop_after == SIZE_MAX && !out_of_time() && (timed_ || round < kFocusRounds); round++) {
      std::vector<size_t> focus = pool;
      focus.insert(focus.end(), small.begin(), small.end());
      if (focus.empty()) break;
      size_t runs = focus.size() * kRunsPerRound;
      double secs = s_.k == s_.t ? kCoveringRunSeconds : kAnnealSeconds;
      run_tasks(runs, opt_.threads, stop_after, [&](size_t i) {
        if (!out_of_time() &&
            anneal_run(base + i, focus[i % focus.size()], base + i, secs, stop_after, i) &&
            i < stop_after)
          stop_after = i;
      });
      base += runs;
      by_rank(pool);
      pool.resize(std::max(std::min(pool.size(), kLastGroups), pool.size() / 2));
    }
  }

  // The smallest wheel, the first task on ties. (A proved optimum first
  // among equal totals: a longer solve may prove what a short one found.)
  SymmetricWheel winner() {
    SymmetricWheel out;
    std::sort(found_.begin(), found_.end(), [&](const auto &a, const auto &b) {
      if (a.second.total != b.second.total) return a.second.total < b.second.total;
      bool whole_a = a.second.optimal && a.second.group == trivial_,
           whole_b = b.second.optimal && b.second.group == trivial_;
      if (whole_a != whole_b) return whole_a;
      if (a.second.optimal != b.second.optimal) return a.second.optimal;
      return a.first < b.first;
    });
    if (found_.empty()) return out;
    const Found &f = found_.front().second;
    const Group &g = groups_[f.group];
    out.covers = f.covers, out.group = g.name, out.order = g.elements.size();
    out.t_orbits = f.orbits[0], out.k_orbits = f.orbits[1], out.x_orbits = f.orbits[2];
    out.exact = f.exact, out.optimal = f.optimal, out.trivial = f.group == trivial_;
    return out;
  }

private:
  bool halted() const { return opt_.halt && *opt_.halt; }
  // --moves makes the runs' results independent of the clock, but never
  // lifts the search's end.
  bool out_of_time() const { return halted() || Clock::now() >= opt_.end; }

  // Groups by the best rank their annealing runs reached, the first on ties.
  void by_rank(std::vector<size_t> &gs) const {
    std::sort(gs.begin(), gs.end(), [&](size_t a, size_t b) {
      return prepared_[a].screened != prepared_[b].screened
                 ? prepared_[a].screened < prepared_[b].screened
                 : a < b;
    });
  }

  // The reduced problem of group g, once, where it fits and can pay.
  void prepare(size_t g) {
    Prepared &p = prepared_[g];
    std::call_once(p.once, [&] {
      auto oc = std::make_unique<OrbitCover>();
      if (!build_orbit_cover(s_, groups_[g], s_.k == s_.t ? kMostOrbits : kMostDenseOrbits, *oc))
        return;
      // A group whose orbit sizes cannot add up to a total between the lower
      // bound and the wheel to beat cannot pay.
      uint64_t beat = g == trivial_ && opt_.beat < UINT64_MAX ? opt_.beat + 1 : opt_.beat;
      if (least_total(*oc, opt_.lower, beat) >= beat) return;
      p.exact = exact_fits(s_, *oc);
      if (g == trivial_ && !p.exact) return;  // the plain annealer's work
      // Groups alike in order and in their numbers of orbits are most
      // likely conjugate (a cycle of 26 and 2 cycles of 13 rotated onto each
      // other): such groups give the same wheels, so only the first is searched.
      p.fingerprint = {groups_[g].elements.size(), oc->t.rep.size(), oc->k.rep.size(),
                       oc->x.rep.size()};
      p.oc = std::move(oc);
    });
  }

  // Keeps a proved wheel of the chosen orbits; true where nothing after it can do better.
  bool record(size_t key, size_t g, const std::vector<uint32_t> &chosen, bool exact,
              bool optimal) {
    const OrbitCover &oc = *prepared_[g].oc;
    uint64_t total = total_of(oc, chosen);
    // At the lower bound a wheel is optimal, however it was found. A wheel
    // as large as the one to beat counts where it proves that one optimal.
    optimal = optimal || total <= opt_.lower;
    bool proof = optimal && g == trivial_;
    if (chosen.empty() || total > opt_.beat || (total == opt_.beat && !proof)) return false;
    std::vector<Set> covers = expand(oc, chosen);
    if (!proved(s_, covers)) return false;  // never trusted unproved
    std::lock_guard<std::mutex> hold(lock_);
    found_.push_back(
        {key,
         {total, std::move(covers), g, exact, optimal, {oc.t.rep.size(), oc.k.rep.size(), oc.x.rep.size()}}});
    if (total < best_ || proof) {
      best_ = std::min<uint64_t>(best_, total);
      if (opt_.progress) opt_.progress(total);
    }
    return total <= opt_.lower || proof;
  }

  bool exact_solve(size_t key, size_t g, double secs) {
    Prepared &p = prepared_[g];
    // Where the run ends by moves, a count of nodes ends the solve, so that
    // its wheel does not depend on the machine's speed (the time stays as a
    // guard, ten times longer, within the search's end).
    CoverSolution sol =
        timed_ ? solve_cover(p.oc->k.rep.size(), p.oc->cover, p.oc->x.size,
                             std::min(from_now(secs), opt_.end))
               : solve_cover(p.oc->k.rep.size(), p.oc->cover, p.oc->x.size,
                             std::min(from_now(10 * secs), opt_.end),
                             (int)(secs * kNodesPerSecond));
    p.proved = sol.optimal, p.bound = sol.bound;
    return record(key, g, sol.chosen, true, sol.optimal);
  }

  bool anneal_run(size_t key, size_t g, uint64_t seed, double secs,
                  std::atomic<size_t> &stop_after, size_t i) {
    // Timed runs aim below the best any thread has found; runs by moves
    // below the given size alone, so that they depend on the seed only.
    uint64_t aim = timed_ ? best_.load() : opt_.beat;
    uint64_t moves =
        timed_ ? UINT64_MAX
               : std::clamp(opt_.moves / kRunsPerMoves, kLeastRunMoves, kAnnealMovesCap);
    OrbitAnneal a = anneal_orbits(*prepared_[g].oc, groups_[g], aim, opt_.lower, moves, opt_.end,
                                  timed_ ? secs : INFINITY, opt_.seed * 0x9e3779b97f4a7c15 + seed,
                                  [&] { return i > stop_after || halted(); });
    uint64_t rank = !a.chosen.empty()            ? total_of(*prepared_[g].oc, a.chosen)
                    : a.least_holes < UINT64_MAX ? kHoleRank + a.least_holes
                                                 : UINT64_MAX;  // it made no move
    {
      // Two runs on one group may end at once (more threads than groups in focus).
      std::lock_guard<std::mutex> hold(lock_);
      prepared_[g].screened = std::min(prepared_[g].screened, rank);
    }
    return record(key, g, a.chosen, false, false);
  }

  const Shape &s_;
  const SymmetricOptions &opt_;
  std::vector<Group> groups_;
  const size_t trivial_;  // the index of the trivial group, the last
  const bool timed_;      // the clock ends the runs, not moves
  std::vector<Prepared> prepared_;
  std::vector<size_t> order_;  // the groups in the order they are screened
  std::atomic<uint64_t> best_;
  std::mutex lock_;                               // guards found_ and the ranks
  std::vector<std::pair<size_t, Found>> found_;  // by (phase, task) order
};
}  // namespace

SymmetricWheel symmetric_wheel(const Shape &s, const SymmetricOptions &opt) {
  if (s.t < 1 || s.k > s.n || s.x >= s.n || s.k >= s.n) return {};
  if (binom()(s.n, s.x) > kMaxOrbitTable || binom()(s.n, s.k) > kMaxOrbitTable) return {};
  GroupSearch search(s, opt);
  if (!search.screen()) search.focus();
  return search.winner();
}

}  // namespace design
