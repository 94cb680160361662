// Symmetric wheels: candidate groups, the exact solve or annealing over
// orbits for each, on several threads.
#include "symmetric.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <queue>
#include <set>
#include <thread>

#include "compose.h"
#include "exact.h"

namespace design {

using Clock = std::chrono::steady_clock;

int design_threads() {
  if (const char *v = getenv("VORLANK_THREADS"); v && *v) return std::clamp(atoi(v), 1, 256);
  return std::max(1, (int)std::thread::hardware_concurrency());
}

// ---- the reduced problem's size limits -------------------------------------------

// Orbits and entries of the reduced problem held in memory (the annealer
// and the exact solve both take the whole coverage list).
// Where k > t, fewer x-orbits: a run of the annealer starts from the greedy
// over all of them, and small groups, which give many, rarely pay there
// (L(27,4,6,3) under groups of order 4: 74,000 orbits, 8 million entries).
static constexpr OrbitLimits kMostOrbits{20000, 300000, 20'000'000};
static constexpr OrbitLimits kMostDenseOrbits{20000, 40000, 5'000'000};
// The exact solve takes the reduced problem where k = t (CBC proved every
// covering design tried) or where its rows are few; where k > t and rows
// are many, the rows are dense and CBC stalls (the annealer takes those).
static constexpr size_t kExactRows = 5000;
static constexpr size_t kExactDenseRows = 120;
static constexpr uint64_t kExactNonzeros = 4'000'000;
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
         (s.k == s.t ? rows <= kExactRows : rows <= kExactDenseRows);
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
struct OrbitState {
  const OrbitCover &oc;
  std::vector<uint32_t> chosen;
  std::vector<uint8_t> in;  // per x-orbit: chosen
  std::vector<uint32_t> mult, holes, hole_at;
  uint64_t total = 0;
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit OrbitState(const OrbitCover &c)
      : oc(c), in(c.x.rep.size()), mult(c.k.rep.size()), hole_at(c.k.rep.size(), kNone) {
    for (uint32_t k = 0; k < mult.size(); k++) open(k);
  }
  void open(uint32_t k) { hole_at[k] = (uint32_t)holes.size(), holes.push_back(k); }
  void close(uint32_t k) {
    uint32_t at = hole_at[k], last = holes.back();
    holes[at] = last, hole_at[last] = at, holes.pop_back(), hole_at[k] = kNone;
  }
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

OrbitAnneal anneal_orbits(const OrbitCover &oc, const Group &g, uint64_t beat, uint64_t lower,
                          uint64_t moves, Clock::time_point end, uint64_t seed,
                          const std::function<bool()> &cancel) {
  const Shape &s = oc.s;
  OrbitState st(oc);
  Rng rng(seed);
  // Each seed starts elsewhere: a random orbit, then the greedy.
  st.add((uint32_t)rng.below(oc.x.rep.size()));
  greedy_orbits(st);
  OrbitAnneal out;
  out.least_holes = UINT64_MAX;
  std::vector<uint32_t> &best = out.chosen;
  uint64_t best_total = beat;
  std::vector<Set> images(g.elements.size());
  std::vector<uint8_t> mark(oc.k.rep.size());
  std::vector<std::pair<uint32_t, uint32_t>> aimed;  // (chosen index, element)
  // Measured on L(27,4,6,3): 3 found 90 in 3 of 24 half-second runs, 1 in
  // none, 2 in 2; holes weighted by their orbits' sizes did no better.
  const double t0 = 3;
  double temp = t0;
  int cold = 0;
  const bool timed = moves == UINT64_MAX;
  uint64_t made = 0;
  for (;;) {
    // Record a wheel without holes; then drop orbits until the total is
    // below the best (from a start above the size to beat, several).
    while (st.holes.empty() || st.total >= best_total) {
      if (st.holes.empty() && st.total < best_total) best = st.chosen, best_total = st.total;
      if (best_total <= lower || st.chosen.size() <= 1) return out;
      // Drop the orbit that opens the fewest holes, the larger on ties.
      size_t drop = 0;
      uint64_t least = UINT64_MAX;
      for (size_t i = 0; i < st.chosen.size(); i++) {
        uint64_t u = st.unique(st.chosen[i]);
        if (u < least || (u == least && oc.x.size[st.chosen[i]] > oc.x.size[st.chosen[drop]]))
          least = u, drop = i;
      }
      st.remove(drop);
    }
    // A stage of moves at one temperature; every move keeps the total
    // below the best known.
    uint64_t stage = std::max<uint64_t>(200, st.chosen.size() * s.x * (s.n - s.x));
    uint64_t least = st.holes.size();
    bool better = false;
    for (uint64_t m = 0; m < stage && !st.holes.empty(); m++, made++) {
      if (made >= moves) return out;
      if (made % 256 == 0 && ((timed && Clock::now() >= end) || (cancel && cancel()))) return out;
      // A random hole K; the images of the chosen orbits' sets that come
      // closest to it (t - 1 numbers shared at best, as K is a hole).
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
      uint32_t from = st.chosen[ci], to = (uint32_t)oc.x.id[rank((b & ~bit(leaves)) | bit(enters))];
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
  std::array<size_t, 4> print{};   // order and orbits of t-, k- and x-sets
};

struct Found {
  uint64_t total = UINT64_MAX;
  std::vector<Set> covers;
  size_t group = 0;  // index into the groups; the last is the trivial group
  bool exact = false, optimal = false;
  size_t orbits[3] = {};  // of t-, k- and x-sets
};

// Runs tasks 0..count-1 on the threads; a task may lower `stop_after` so
// that no later task starts (the ones before it still run, so the result
// does not depend on which thread got there first).
// An exception (out of memory) ends every thread's work and reaches the caller.
template <class F>
void run_tasks(size_t count, int threads, std::atomic<size_t> &stop_after, F task) {
  std::atomic<size_t> next{0};
  std::exception_ptr failed;
  std::mutex lock;
  auto work = [&] {
    try {
      for (size_t i; (i = next++) < count;)
        if (i <= stop_after) task(i);
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock);
      if (!failed) failed = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> pool;
  for (int i = 1; i < std::min<int>(threads, (int)count); i++) pool.emplace_back(work);
  work();
  for (auto &th : pool) th.join();
  if (failed) std::rethrow_exception(failed);
}
}  // namespace

SymmetricWheel symmetric_wheel(const Shape &s, const SymmetricOptions &o) {
  SymmetricWheel out;
  if (s.t < 1 || s.k > s.n || s.x >= s.n || s.k >= s.n) return out;
  if (binom()(s.n, s.x) > kMaxOrbitTable || binom()(s.n, s.k) > kMaxOrbitTable) return out;
  std::vector<Group> groups = candidate_groups(s.n, kMinGroupOrder);
  // The trivial group last: only its exact solve, where the whole is small.
  const size_t trivial = groups.size();
  groups.push_back({"the trivial group", s.n, {}, {}});
  close_group(groups.back());
  const bool whole = exact_available() &&
                     binom()(s.n, s.k) <= (s.k == s.t ? kExactRows : kExactDenseRows) &&
                     binom()(s.n, s.x) <= kMostOrbits.x_orbits;
  const bool timed = o.moves == UINT64_MAX;
  std::vector<Prepared> prepared(groups.size());
  std::atomic<uint64_t> best{o.beat};
  std::mutex lock;
  std::vector<std::pair<size_t, Found>> found;  // by (phase, task) order
  bool done = false;                            // at the lower bound or proved optimal
  std::set<std::array<size_t, 4>> seen;         // order and orbits of the groups searched

  auto halted = [&] { return o.halt && *o.halt; };
  auto seconds_left = [&] { return std::chrono::duration<double>(o.end - Clock::now()).count(); };
  auto build = [&](size_t g) -> Prepared & {
    Prepared &p = prepared[g];
    std::call_once(p.once, [&] {
      auto oc = std::make_unique<OrbitCover>();
      if (!build_orbit_cover(s, groups[g], s.k == s.t ? kMostOrbits : kMostDenseOrbits, *oc))
        return;
      // A group whose orbit sizes cannot add up to a total between the lower
      // bound and the wheel to beat cannot pay.
      uint64_t beat = g == trivial && o.beat < UINT64_MAX ? o.beat + 1 : o.beat;
      if (least_total(*oc, o.lower, beat) >= beat) return;
      p.exact = exact_fits(s, *oc);
      if (g == trivial && !p.exact) return;  // the plain annealer's work
      // Groups alike in order and in their numbers of orbits are most
      // likely conjugate (a cycle of 26 and 2 cycles of 13 rotated onto each
      // other): such groups give the same wheels, so only the first is searched.
      p.print = {groups[g].elements.size(), oc->t.rep.size(), oc->k.rep.size(), oc->x.rep.size()};
      p.oc = std::move(oc);
    });
    return p;
  };
  // Keeps a proved wheel of the chosen orbits; true where nothing after it can do better.
  auto record = [&](size_t key, size_t g, const std::vector<uint32_t> &chosen, bool exact,
                    bool optimal) {
    const OrbitCover &oc = *prepared[g].oc;
    uint64_t total = total_of(oc, chosen);
    // At the lower bound a wheel is optimal, however it was found. A wheel
    // as large as the one to beat counts where it proves that one optimal.
    optimal = optimal || total <= o.lower;
    bool proof = optimal && g == trivial;
    if (chosen.empty() || total > o.beat || (total == o.beat && !proof)) return false;
    std::vector<Set> covers = expand(oc, chosen);
    if (!proved(s, covers)) return false;  // never trusted unproved
    std::lock_guard<std::mutex> hold(lock);
    found.push_back({key,
                     {total,
                      std::move(covers),
                      g,
                      exact,
                      optimal,
                      {oc.t.rep.size(), oc.k.rep.size(), oc.x.rep.size()}}});
    if (total < best || proof) {
      best = std::min<uint64_t>(best, total);
      if (o.progress) o.progress(total);
    }
    return total <= o.lower || proof;
  };
  auto exact_solve = [&](size_t key, size_t g, double secs) {
    Prepared &p = prepared[g];
    // Where the run ends by moves, a count of nodes ends the solve, so that
    // its wheel does not depend on the machine's speed (the time stays as a
    // guard, five times longer).
    CoverSolution sol = timed ? solve_cover(p.oc->k.rep.size(), p.oc->cover, p.oc->x.size, {},
                                            std::min(secs, seconds_left()))
                              : solve_cover(p.oc->k.rep.size(), p.oc->cover, p.oc->x.size, {},
                                            10 * secs, (int)(secs * kNodesPerSecond));
    p.proved = sol.optimal, p.bound = sol.bound;
    return record(key, g, sol.chosen, true, sol.optimal);
  };
  auto anneal_run = [&](size_t key, size_t g, uint64_t seed, double secs,
                        std::atomic<size_t> &stop_after, size_t i) {
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(std::min(secs, seconds_left())));
    // Timed runs aim below the best any thread has found; runs by moves
    // below the given size alone, so that they depend on the seed only.
    uint64_t aim = timed ? best.load() : o.beat;
    OrbitAnneal a = anneal_orbits(*prepared[g].oc, groups[g], aim, o.lower,
                                  timed ? UINT64_MAX : std::clamp(o.moves / kRunsPerMoves, kLeastRunMoves, kAnnealMovesCap), end,
                                  o.seed * 0x9e3779b97f4a7c15 + seed,
                                  [&] { return i > stop_after || halted(); });
    uint64_t rank = !a.chosen.empty()            ? total_of(*prepared[g].oc, a.chosen)
                    : a.least_holes < UINT64_MAX ? kHoleRank + a.least_holes
                                                 : UINT64_MAX;  // it made no move
    prepared[g].screened = std::min(prepared[g].screened, rank);
    return record(key, g, a.chosen, false, false);
  };
  auto out_of_time = [&] { return halted() || (timed && Clock::now() >= o.end); };

  // First every group once: its exact solve, short, or one short annealing
  // run. A tiny instance's solve without a group comes first (it may prove
  // the optimum at once), a larger one's last.
  const bool tiny = (double)binom()(s.n, s.k) * (double)binom()(s.n, s.x) <= kTinyProduct;
  std::vector<size_t> order;
  if (whole && tiny) order.push_back(trivial);
  for (size_t g = 0; g < trivial; g++) order.push_back(g);
  if (whole && !tiny) order.push_back(trivial);
  std::atomic<size_t> stop_after{SIZE_MAX};
  // Every group's orbits first, on the threads; then, in the order of the
  // groups, only the first of those alike.
  run_tasks(order.size(), o.threads, stop_after, [&](size_t i) {
    if (!out_of_time()) build(order[i]);
  });
  for (size_t g : order)
    if (prepared[g].oc && !seen.insert(prepared[g].print).second) prepared[g].oc.reset();
  run_tasks(order.size(), o.threads, stop_after, [&](size_t i) {
    size_t g = order[i];
    if (out_of_time() || !prepared[g].oc) return;
    bool last = prepared[g].exact
                    ? exact_solve(i, g, s.k == s.t ? kQuickExactSeconds : kQuickDenseSeconds)
                    : anneal_run(i, g, i, kScreenSeconds, stop_after, i);
    if (last && i < stop_after) stop_after = i;
  });
  done = stop_after != SIZE_MAX;

  // Then the longer exact solves of the groups left unproved whose bound
  // is below the best, and annealing runs on the groups that screened best.
  if (!done) {
    std::vector<size_t> exact, focus;
    for (size_t g : order)
      if (prepared[g].oc && prepared[g].exact && !prepared[g].proved &&
          prepared[g].bound < (double)best - 0.5)
        exact.push_back(g);
    for (size_t g : order)
      if (prepared[g].oc && !prepared[g].exact && prepared[g].screened < UINT64_MAX)
        focus.push_back(g);
    std::sort(focus.begin(), focus.end(), [&](size_t a, size_t b) {
      return prepared[a].screened != prepared[b].screened
                 ? prepared[a].screened < prepared[b].screened
                 : a < b;
    });
    focus.resize(std::min(focus.size(), kFocusGroups));
    // The other groups' tables go (a few MB each, and a pool has dozens).
    for (size_t g = 0; g < groups.size(); g++)
      if (std::find(exact.begin(), exact.end(), g) == exact.end() &&
          std::find(focus.begin(), focus.end(), g) == focus.end())
        prepared[g].oc.reset();
    stop_after = SIZE_MAX;
    size_t base = order.size();
    run_tasks(exact.size(), o.threads, stop_after, [&](size_t i) {
      if (!out_of_time() && exact_solve(base + i, exact[i], kExactSeconds) && i < stop_after)
        stop_after = i;
    });
    done = stop_after != SIZE_MAX;
    base += exact.size();
    // Rounds of runs over the focus groups, kRunsPerRound each, halving
    // them after each round by the best rank any of their runs reached,
    // down to kLastGroups.
    for (size_t round = 0;
         !done && !focus.empty() && !out_of_time() && (timed || round < kFocusRounds); round++) {
      size_t runs = focus.size() * kRunsPerRound;
      run_tasks(runs, o.threads, stop_after, [&](size_t i) {
        if (!out_of_time() &&
            anneal_run(base + i, focus[i % focus.size()], base + i, kAnnealSeconds, stop_after,
                       i) &&
            i < stop_after)
          stop_after = i;
      });
      done = stop_after != SIZE_MAX;
      base += runs;
      std::sort(focus.begin(), focus.end(), [&](size_t a, size_t b) {
        return prepared[a].screened != prepared[b].screened
                   ? prepared[a].screened < prepared[b].screened
                   : a < b;
      });
      focus.resize(std::max(std::min(focus.size(), kLastGroups), focus.size() / 2));
    }
  }

  // The smallest wheel, the first task on ties.
  // (A proved optimum first among equal totals: a longer solve may prove
  // what a short one found.)
  std::sort(found.begin(), found.end(), [&](const auto &a, const auto &b) {
    if (a.second.total != b.second.total) return a.second.total < b.second.total;
    bool whole_a = a.second.optimal && a.second.group == trivial,
         whole_b = b.second.optimal && b.second.group == trivial;
    if (whole_a != whole_b) return whole_a;
    if (a.second.optimal != b.second.optimal) return a.second.optimal;
    return a.first < b.first;
  });
  out.groups = (int)seen.size();
  if (found.empty()) return out;
  const Found &f = found.front().second;
  out.covers = f.covers, out.group = groups[f.group].name;
  out.order = groups[f.group].elements.size();
  out.t_orbits = f.orbits[0], out.k_orbits = f.orbits[1], out.x_orbits = f.orbits[2];
  out.exact = f.exact, out.optimal = f.optimal, out.trivial = f.group == trivial;
  return out;
}

}  // namespace design
