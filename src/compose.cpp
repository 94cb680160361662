// Greedy part wheels, the split by dynamic programming, composition, and the
// schedule of vorlank-design's search.
#include "compose.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

#include "partgreedy.h"
#include "symmetric.h"
#include "wheel.h"

namespace design {

using Clock = std::chrono::steady_clock;

uint64_t lower_bound(const Shape &s) {
  if (s.k > s.n) return 0;
  if (s.n <= s.x) return 1;
  wheel::Params p{s.n, s.k, s.x, s.t};
  uint64_t lb = wheel::counting_bound(p);
  if (s.k == s.t) lb = std::max(lb, wheel::schoenheim_bound(p));
  return lb;
}

bool proved(const Shape &s, const std::vector<Set> &covers) {
  std::vector<wheel::Cover> cs;
  for (Set c : covers) cs.push_back(numbers(c));
  return wheel::Coverage({s.n, s.k, s.x, s.t}, cs).holes() == 0;
}

// ---- the split -------------------------------------------------------------------

static constexpr int64_t kNone = INT64_MAX / 4;  // no wheel

namespace {
// The best composition for every pool size m <= n and k-set size j <= k.
struct Table {
  int n, k, x, t;
  std::vector<int64_t> val;
  std::vector<int> how;  // kEmpty, ..., kFringe, or a split m1 * (k + 1) + j1
  enum { kEmpty = -1, kSingle = -2, kDirect = -3, kImpossible = -4, kFringe = -5 };
  size_t at(int m, int j) const { return (size_t)m * (k + 1) + j; }
};
}  // namespace

// Fills the table bottom-up over pool sizes: each entry is the direct wheel
// or the best pair of smaller entries with k1 + k2 = j + 1 (a split with
// smaller k_i would also be valid, but only wastes covers). On equal sizes
// the direct wheel wins, then the split found first.
static void solve(const Shape &s, const std::function<int64_t(int, int)> &direct, Table &tb) {
  tb.n = s.n, tb.k = s.k, tb.x = s.x, tb.t = s.t;
  tb.val.assign((size_t)(s.n + 1) * (s.k + 1), kNone);
  tb.how.assign(tb.val.size(), Table::kImpossible);
  for (int m = 0; m <= s.n; m++)
    for (int j = 0; j <= s.k; j++) {
      size_t here = tb.at(m, j);
      if (j > m) {
        tb.val[here] = 0, tb.how[here] = Table::kEmpty;
        continue;
      }
      if (j < s.t) continue;
      if (m <= s.x) {
        tb.val[here] = 1, tb.how[here] = Table::kSingle;
        continue;
      }
      if (int64_t d = direct(m, j); d >= 0) tb.val[here] = d, tb.how[here] = Table::kDirect;
      for (int m1 = 1; m1 < m; m1++)
        for (int j1 = 1; j1 <= j; j1++) {
          int64_t v = tb.val[tb.at(m1, j1)] + tb.val[tb.at(m - m1, j + 1 - j1)];
          if (v < tb.val[here]) tb.val[here] = v, tb.how[here] = m1 * (s.k + 1) + j1;
        }
      // The fringe where a k-set short of k - t + 2 numbers in A has t - 1
      // or more in F (t >= 3 keeps A's k below j) and then two in A (j > t).
      if (s.t >= 3 && j > s.t && s.x - 1 >= s.t && m > s.x) {
        int64_t v = tb.val[tb.at(m - s.x + 1, j - s.t + 2)] + (m - s.x);
        if (v < tb.val[here]) tb.val[here] = v, tb.how[here] = Table::kFringe;
      }
    }
}

static void collect(const Table &tb, int m, int j, int offset, std::vector<Part> &parts) {
  int how = tb.how[tb.at(m, j)];
  if (how == Table::kEmpty) parts.push_back({offset, m, j, Part::Empty});
  if (how == Table::kSingle) parts.push_back({offset, m, j, Part::Single});
  if (how == Table::kDirect) parts.push_back({offset, m, j, Part::Direct});
  if (how == Table::kFringe) {
    collect(tb, m - tb.x + 1, j - tb.t + 2, offset, parts);
    parts.push_back({offset, m, tb.t - 1, Part::Fringe});
  }
  if (how >= 0) {
    int m1 = how / (tb.k + 1), j1 = how % (tb.k + 1);
    collect(tb, m1, j1, offset, parts);
    collect(tb, m - m1, j + 1 - j1, offset + m1, parts);
  }
}

std::vector<Part> best_split(const Shape &s, const std::function<int64_t(int, int)> &direct) {
  Table tb;
  solve(s, direct, tb);
  std::vector<Part> parts;
  if (tb.val[tb.at(s.n, s.k)] < kNone) collect(tb, s.n, s.k, 0, parts);
  return parts;
}

std::vector<Set> compose(const Shape &s, const std::vector<Part> &parts,
                         const std::vector<std::vector<Set>> &wheels) {
  std::vector<Set> covers;
  std::set<Set> seen;
  auto add = [&](Set c) {
    if (seen.insert(c).second) covers.push_back(c);
  };
  for (size_t i = 0; i < parts.size(); i++) {
    const Part &p = parts[i];
    if (p.kind == Part::Single) {
      // The whole part, padded with the lowest numbers outside it.
      Set c = low_bits(p.n) << p.offset;
      for (int a = 0; count(c) < s.x; a++) c |= bit(a);
      add(c);
    }
    if (p.kind == Part::Direct)
      for (Set c : wheels[i]) add(c << p.offset);
    if (p.kind == Part::Fringe) {
      int a_size = p.n - s.x + 1;
      for (int a = 0; a + 1 < a_size; a++)
        add((low_bits(s.x - 1) << (p.offset + a_size)) | bit(p.offset + a));
    }
  }
  return covers;
}

// ---- the search --------------------------------------------------------------------

// The greedy's share of the time, counted in estimated seconds so that the
// split chosen does not depend on how fast or loaded the machine is.
static constexpr double kGreedyShare = 0.25;
// The greedy of the whole instance may take up to this share of the time
// before the parts' greedy (L(22,10,10,6): 5 s, where no split comes near).
static constexpr double kWholeGreedyShare = 0.5;
// Of the time left after the greedy, the symmetric search takes this share
// (less where every group is done sooner); of the time left after it, the
// parts' local search takes kPartShare (less when every part stops
// improving), the whole wheel the rest.
static constexpr double kSymmetricShare = 0.7;
// Local search runs side by side on a wheel, each with its own seed (on as
// many threads; where the run ends by moves, always this many).
static constexpr size_t kParallelRuns = 2;
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
static constexpr double kSecondsPerLookup = 5e-9;
// Estimated seconds below which the colex greedy runs even where k > t.
static constexpr double kCheapGreedy = 0.2;

namespace {
// ---- the construction methods ------------------------------------------------------
// Each method makes or improves a part's wheel (or the whole's): the greedy
// searches in two candidate orders, the fringe of a split, the symmetric
// search, local search. A method is one case of each switch below, so that
// a method added and forgotten in one of them does not compile.
enum class Method { Given, Stored, ColexGreedy, EngineGreedy, Fringe, Symmetric, LocalSearch };

// One wheel a method gave: its size and what the # line says of it.
struct Step {
  Method how;
  uint64_t size;
  std::string detail;  // the fringe's parts; the symmetric search's group
};

std::string step_text(const Step &st) {
  std::string n = std::to_string(st.size);
  switch (st.how) {
  case Method::Given:
    return "given " + n;
  case Method::Stored:
    return "stored " + n;
  case Method::ColexGreedy:
  case Method::EngineGreedy:
    return "greedy " + n;
  case Method::Fringe:
    return "fringe " + n + " (" + st.detail + ")";
  case Method::Symmetric:
    return "symmetric " + n + " (" + st.detail + ")";
  case Method::LocalSearch:
    return "local search " + n;
  }
  return n;
}

// Estimated seconds of a greedy method on this project's machines, by which
// the schedule decides; infinity where the method cannot run.
double greedy_seconds(Method m, const Shape &s) {
  switch (m) {
  case Method::ColexGreedy:
    return colex_greedy_seconds(s);
  case Method::EngineGreedy:
    return engine_greedy_seconds(s);
  case Method::Given:
  case Method::Stored:
  case Method::Fringe:
  case Method::Symmetric:
  case Method::LocalSearch:
    break;  // not greedy searches: they run in their own phases
  }
  return INFINITY;
}

std::vector<Set> greedy_wheel(Method m, const Shape &s, Clock::time_point give_up,
                              const std::atomic<bool> *halt) {
  switch (m) {
  case Method::ColexGreedy:
    return colex_greedy(s, give_up, halt);
  case Method::EngineGreedy:
    return engine_greedy(s, give_up, halt);
  case Method::Given:
  case Method::Stored:
  case Method::Fringe:
  case Method::Symmetric:
  case Method::LocalSearch:
    break;
  }
  return {};
}

// What the symmetric search's wheel came from, for its # line.
std::string symmetric_text(const SymmetricWheel &w) {
  std::string t = w.group;
  if (!w.trivial)
    t += ": order " + std::to_string(w.order) + ", orbits " + std::to_string(w.t_orbits) + "/" +
         std::to_string(w.k_orbits) + "/" + std::to_string(w.x_orbits);
  if (!w.exact) return t + ", annealing";
  if (!w.optimal) return t + ", exact solve stopped by the clock";
  return t + (w.trivial ? ", exact solve: optimal" : ", exact solve: optimal for the group");
}

// What is known of the direct wheel of L(m,j,x,t).
struct Direct {
  bool tried = false;            // the greedy has run or was out of reach
  bool symmetric_tried = false;  // the symmetric search has run
  std::vector<Set> best;         // proved
  std::vector<Step> steps;       // how best came about
  int64_t greedy = -1;           // its size from the greedy
  bool optimal = false;          // no smaller wheel exists (the exact solve proved it)
  bool settled = false;          // local search stopped improving it
  int failed = 0;                // slices in a row that found nothing

  // A smaller proved wheel from a method: local search refines the step
  // before it, any other method starts the story afresh.
  void improve(std::vector<Set> w, Method how, std::string detail = "") {
    best = std::move(w);
    if (how == Method::LocalSearch && !steps.empty() && steps.back().how == how)
      steps.back().size = best.size();
    else if (how == Method::LocalSearch)
      steps.push_back({how, best.size(), ""});
    else
      steps = {{how, best.size(), std::move(detail)}};
  }
  std::string text() const {
    std::string t;
    for (const Step &st : steps) t += (t.empty() ? "" : ", ") + step_text(st);
    return t;
  }
};

std::string instance(const Shape &s) {
  return "L(" + std::to_string(s.n) + "," + std::to_string(s.k) + "," + std::to_string(s.x) + "," +
         std::to_string(s.t) + ")";
}

std::string covers_text(uint64_t n) { return std::to_string(n) + (n == 1 ? " cover" : " covers"); }

struct Search {
  const Shape &s;
  const DesignOptions &o;
  // The search's end, and the latest any greedy may run: both leave the
  // proof its time before the run's limit.
  Clock::time_point start, end, hard_end;
  std::vector<Direct> direct;  // at m * (k + 1) + j
  uint64_t moves_used = 0;
  int threads = 1;
  uint64_t from_store = 0;  // the size of the whole's stored wheel, where it was taken

  bool halted() const { return o.stop && *o.stop; }

  Direct &at(int m, int j) { return direct[(size_t)m * (s.k + 1) + j]; }
  Shape shape(int m, int j) const { return {m, j, s.x, s.t}; }
  void progress(uint64_t best, const std::string &what) const {
    if (o.progress) o.progress(best, what);
  }

  // The split by the wheels known. Optimistic, it counts a part not tried
  // yet at its lower bound times the ratio its nearest tried neighbour (same
  // k, smaller pool) came to.
  enum Mode { kKnown, kUntried };
  std::vector<Part> split(Mode mode, int64_t *size, Table *table = nullptr) {
    Table own, &tb = table ? *table : own;
    solve(
        s,
        [&](int m, int j) -> int64_t {
          const Direct &d = at(m, j);
          uint64_t lb = lower_bound(shape(m, j));
          if (mode == kUntried && !d.tried) {
            // Where k = t the small pools' ratios swing (L(10,3,6,3): 10
            // covers for a bound of 7, L(11,3,6,3): 11 for 11), and the least
            // one met is the fair guess; where k > t they grow with the pool.
            double ratio = 1, least = INFINITY;
            for (int m2 = m - 1; m2 > s.x; m2--)
              if (const Direct &e = at(m2, j); !e.best.empty()) {
                ratio = (double)e.best.size() / (double)lower_bound(shape(m2, j));
                least = std::min(least, ratio);
                if (j > s.t) break;
              }
            if (j == s.t && std::isfinite(least)) ratio = least;
            return (int64_t)((double)lb * ratio);
          }
          return d.best.empty() ? -1 : (int64_t)d.best.size();
        },
        tb);
    std::vector<Part> parts;
    *size = tb.val[tb.at(s.n, s.k)];
    if (*size < kNone) collect(tb, s.n, s.k, 0, parts);
    return parts;
  }

  // A part's greedy wheel: both greedy searches where their estimated time
  // fits what is left of `budget` (estimated seconds), the smaller wheel.
  // Unbounded, only the quicker one, however long it takes.
  void greedy(int m, int j, double &budget, bool unbounded) {
    Direct &d = at(m, j);
    d.tried = true;
    Shape ps = shape(m, j);
    // A stored wheel first: a greedy wheel must beat it.
    if (o.stored && !halted())
      if (std::vector<Set> w = o.stored(ps);
          !w.empty() && (d.best.empty() || w.size() < d.best.size())) {
        if (m == s.n && j == s.k) from_store = w.size();
        d.improve(std::move(w), Method::Stored);
      }
    const Method methods[2] = {Method::ColexGreedy, Method::EngineGreedy};
    double est[2] = {greedy_seconds(methods[0], ps), greedy_seconds(methods[1], ps)};
    // The colex order pays where k = t (it finds Steiner systems); where
    // k > t both orders came out alike (L(27,4,6,3): 116 and 117 covers), and
    // its exact counts cost more than the engine's subset counts.
    if (j > s.t && est[0] > std::min(kCheapGreedy, est[1])) est[0] = INFINITY;
    for (int which = 0; which < 2 && !halted(); which++) {
      if (unbounded ? !std::isfinite(est[which]) || est[which] > est[1 - which]
                    : est[which] > budget)
        continue;
      if (!unbounded) budget -= est[which];
      progress(0, "greedy " + instance(ps));
      // Far beyond its estimate, a greedy is taking a path the estimate did
      // not foresee; give up rather than overrun the time.
      auto give_up = unbounded
                         ? Clock::time_point::max()
                         : Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(4 * est[which] + 0.5));
      std::vector<Set> w = greedy_wheel(methods[which], ps, std::min(give_up, hard_end), o.stop);
      if (w.empty() || (!d.best.empty() && w.size() >= d.best.size()) || !proved(ps, w)) continue;
      d.greedy = (int64_t)w.size();
      d.improve(std::move(w), methods[which]);
    }
    // A short local search, the same number of look-ups for every part, so
    // that the split compares parts as they come out of local search rather
    // than the greedy alone: a greedy L(10,2,6,2) has 5 covers, 4 suffice.
    // Only where setting it up (a count per k-set, every cover's k-sets) is
    // cheap beside it.
    uint64_t cost =
        std::max<uint64_t>(1, 2 * binom()(s.x - 1, s.t - 1) * binom()(m - s.x - 1, j - s.t));
    if (d.best.empty() || unbounded || halted() ||
        binom()(m, j) + 2 * d.best.size() * per_cover(ps) > kQuickLookups || cost > kQuickLookups)
      return;
    budget -= kQuickLookups * kSecondsPerLookup;
    std::vector<Set> w = anneal(ps, d.best, lower_bound(ps), {end, kQuickLookups / cost, o.stop},
                                o.seed, nullptr, nullptr);
    if (w.size() < d.best.size() && proved(ps, w)) d.improve(std::move(w), Method::LocalSearch);
  }

  // Greedy wheels for the parts the split would use, cheapest first, while
  // a split with untried parts could beat the one known (the estimates
  // prune the rest) and the greedy's share of the time lasts. A lower bound
  // alone is far too hopeful where k > t, hence the ratios.
  // The budgets are estimated seconds: `whole` for the whole instance's
  // greedy, `budget` for the parts'.
  void greedy_parts(double whole, double budget) {
    // The plain greedy of the whole instance first, where its estimate fits
    // its share: the wheel is never larger than it, and splits must beat it.
    greedy(s.n, s.k, whole, false);
    while (!halted()) {
      int64_t size;
      std::vector<Part> parts = split(kUntried, &size);
      const Part *next = nullptr;
      double cheapest = INFINITY;
      for (const Part &p : parts)
        if (p.kind == Part::Direct && !at(p.n, p.k).tried) {
          double e = std::min(greedy_seconds(Method::ColexGreedy, shape(p.n, p.k)),
                              greedy_seconds(Method::EngineGreedy, shape(p.n, p.k)));
          if (!next || e < cheapest) cheapest = e, next = &p;
        }
      if (!next) break;
      // Up the ladder of pool sizes: the part's smallest untried pool comes
      // first, so each estimate rests on the ratio of the pool just below.
      int m = s.x + 1;
      while (at(m, next->k).tried) m++;
      greedy(m, next->k, budget, false);
    }
  }

  // Each fringe of the split known becomes the direct wheel of its (m, k),
  // so that local search works on it as on a greedy part (L(27,4,6,3): 98
  // covers from S(3,6,22), where its greedy wheel has 117).
  void fringe_wheels() {
    Table tb;
    int64_t size;
    split(kKnown, &size, &tb);
    std::function<void(int, int)> walk = [&](int m, int j) {
      int how = tb.how[tb.at(m, j)];
      if (how >= 0) {
        int m1 = how / (s.k + 1), j1 = how % (s.k + 1);
        walk(m1, j1), walk(m - m1, j + 1 - j1);
      }
      Shape ps = shape(m, j);
      if (how != Table::kFringe || binom()(m, j) > kMaxAnnealKsets) return;
      walk(m - s.x + 1, j - s.t + 2);
      std::vector<Part> parts;
      collect(tb, m, j, 0, parts);
      std::vector<std::vector<Set>> wheels;
      std::string from;
      for (const Part &p : parts) {
        wheels.push_back(p.kind == Part::Direct ? at(p.n, p.k).best : std::vector<Set>());
        if (p.kind == Part::Direct)
          from += instance(shape(p.n, p.k)) + " " + std::to_string(wheels.back().size()) + " + ";
      }
      std::vector<Set> w = compose(ps, parts, wheels);
      Direct &d = at(m, j);
      if ((d.best.empty() || w.size() < d.best.size()) && proved(ps, w))
        d.improve(std::move(w), Method::Fringe, from + std::to_string(m - s.x));
    };
    if (size < kNone) walk(s.n, s.k);
  }

  // The symmetric search on the parts of the split known and on the whole
  // instance, each once, the part farthest above its lower bound first,
  // sharing the time to `until` among those left; a smaller wheel may change
  // the split, whose new parts then come in turn. Returns true where the
  // whole instance's wheel was proved optimal.
  bool symmetric_parts(Clock::time_point until) {
    for (;;) {
      int64_t size;
      std::vector<Part> parts = split(kKnown, &size);
      std::vector<std::pair<int, int>> todo;
      uint64_t worst = 0;
      auto consider = [&](int m, int j) {
        Direct &d = at(m, j);
        uint64_t lb = lower_bound(shape(m, j));
        if (d.symmetric_tried || d.optimal || (!d.best.empty() && d.best.size() <= lb)) return;
        uint64_t gap = d.best.empty() ? UINT64_MAX : d.best.size() - lb;
        if (todo.empty() || gap > worst)
          worst = gap, todo.insert(todo.begin(), {m, j});
        else
          todo.push_back({m, j});
      };
      for (const Part &p : parts)
        if (p.kind == Part::Direct) consider(p.n, p.k);
      if (parts.size() != 1 || parts[0].kind != Part::Direct) consider(s.n, s.k);
      if (todo.empty() || Clock::now() >= until || halted()) return false;
      auto [m, j] = todo.front();
      Direct &d = at(m, j);
      d.symmetric_tried = true;
      Shape ps = shape(m, j);
      SymmetricOptions so;
      so.beat = d.best.empty() ? UINT64_MAX : d.best.size();
      so.lower = lower_bound(ps);
      so.end = Clock::now() + (until - Clock::now()) / (int)todo.size();
      so.moves = o.moves;
      so.seed = o.seed;
      so.threads = threads;
      so.halt = o.stop;
      std::string what = "symmetric search of " + instance(ps);
      progress(size < kNone ? size : 0, what);
      so.progress = [&](uint64_t b) {
        int64_t now = size < kNone && !d.best.empty() ? size - (int64_t)d.best.size() + (int64_t)b
                                                      : (int64_t)b;
        progress(now, what);
      };
      SymmetricWheel w = symmetric_wheel(ps, so);
      if (w.covers.empty()) continue;
      d.optimal = w.exact && w.optimal && w.trivial;
      if (w.covers.size() < so.beat)
        d.improve(std::move(w.covers), Method::Symmetric, symmetric_text(w));
      if (m == s.n && j == s.k && d.optimal) return true;
    }
  }

  // Local search of the split's part farthest above its lower bound, a slice
  // at a time, until slices find nothing (the split may change meanwhile).
  // Local search runs from one wheel with seeds seed, seed + 1, ... on the
  // threads, the smallest wheel of the first run on ties; the moves of the
  // longest run go to *used. Where the run ends by moves, the runs do not
  // depend on the threads there are.
  std::vector<Set> anneal_runs(const Shape &ps, const std::vector<Set> &from,
                               const AnnealStop &stop, uint64_t seed, uint64_t *used,
                               const std::function<void(size_t)> &report) {
    size_t runs = o.moves == UINT64_MAX ? std::min<size_t>(kParallelRuns, threads) : kParallelRuns;
    std::vector<std::vector<Set>> got(runs);
    std::vector<uint64_t> moves(runs, 0);
    std::exception_ptr failed;
    std::mutex lock;
    auto one = [&](size_t r) {
      try {
        got[r] = anneal(ps, from, lower_bound(ps), stop, seed + r * 0x9e3779b97f4a7c15, &moves[r],
                        [&](size_t b) {
                          std::lock_guard<std::mutex> hold(lock);
                          if (report) report(b);
                        });
      } catch (...) {
        std::lock_guard<std::mutex> hold(lock);
        failed = std::current_exception();
      }
    };
    std::vector<std::thread> pool;
    for (size_t r = 1; r < runs; r++) {
      if ((int)pool.size() + 1 < threads)
        pool.emplace_back(one, r);
      else
        one(r);
    }
    one(0);
    for (auto &th : pool) th.join();
    if (failed) std::rethrow_exception(failed);
    size_t best = 0;
    for (size_t r = 1; r < runs; r++)
      if (got[r].size() < got[best].size()) best = r;
    if (used) *used += *std::max_element(moves.begin(), moves.end());
    return got[best];
  }

  void anneal_parts(Clock::time_point until, uint64_t moves) {
    auto slice = (until - Clock::now()) / kSlices;
    const bool costly_whole =
        2 * binom()(s.x - 1, s.t - 1) * binom()(s.n - s.x - 1, s.k - s.t) > kCostlyWholeMove;
    uint64_t slice_moves = moves == UINT64_MAX ? UINT64_MAX : moves / kSlices, spent = 0;
    for (uint64_t turn = 0; Clock::now() < until && spent < moves && !halted(); turn++) {
      int64_t known;
      std::vector<Part> parts = split(kKnown, &known);
      const Part *next = nullptr;
      uint64_t gap = 0;
      for (const Part &p : parts) {
        Direct &d = at(p.n, p.k);
        if (p.kind != Part::Direct || d.settled) continue;
        uint64_t lb = lower_bound(shape(p.n, p.k));
        if (binom()(p.n, p.k) > kMaxAnnealKsets || d.best.size() <= lb || d.optimal) {
          d.settled = true;
          continue;
        }
        if (d.best.size() - lb > gap) gap = d.best.size() - lb, next = &p;
      }
      if (!next) break;  // every part of the split settled
      Shape ps = shape(next->n, next->k);
      Direct &d = at(next->n, next->k);
      std::string what = "local search of " + instance(ps);
      uint64_t used = 0;
      std::vector<Set> w = anneal_runs(
          ps, d.best,
          {std::min(until, Clock::now() + slice), std::min(slice_moves, moves - spent), o.stop},
          o.seed * 0x9e3779b97f4a7c15 + turn, &used,
          [&](size_t b) { progress(known - (int64_t)(d.best.size() - b), what); });
      spent += used;
      if (w.size() < d.best.size() && proved(ps, w))
        d.improve(std::move(w), Method::LocalSearch), d.failed = 0;
      else
        d.settled = ++d.failed >= kFailedSlices && !costly_whole;
    }
    moves_used += spent;
  }

  // The whole wheel's local search; it removes the covers the union made redundant.
  std::vector<Set> anneal_whole(const std::vector<Set> &from, uint64_t moves, uint64_t salt) {
    if (binom()(s.n, s.k) > kMaxAnnealKsets || Clock::now() >= end || halted()) return from;
    uint64_t used = 0;
    std::vector<Set> w =
        anneal_runs(s, from, {end, moves, o.stop}, o.seed + salt, &used,
                    [&](size_t b) { progress(b, "local search of the whole wheel"); });
    moves_used += used;
    return w;
  }
};
}  // namespace

// The check walk of the final proof counts every cover's k-sets and then
// reads every k-set's count: about 5 ns each (the 322 covers of the greedy
// run's L(49,6,6,3) in 0.49 s). Wheels come to about kProofCovers times
// the lower bound.
static constexpr double kProofCovers = 3;
double proof_seconds(const Shape &s) {
  double covers = kProofCovers * (double)std::max<uint64_t>(lower_bound(s), 1);
  return 5e-9 * ((double)binom()(s.n, s.k) + covers * (double)per_cover(s));
}

// A run may overrun --seconds by a quarter or a second and a half, the
// larger: a greedy step, an exact solve or the proof cannot stop at once.
double run_limit(double seconds) { return std::max(1.25 * seconds, seconds + 1.5); }

static Clock::time_point after(Clock::time_point t, double seconds) {
  return t + std::chrono::duration_cast<Clock::duration>(
                 std::chrono::duration<double>(std::max(0.0, seconds)));
}

bool design_wheel(const Shape &s, const std::vector<Set> &from, const DesignOptions &o,
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
  double proof = proof_seconds(s), limit = run_limit(o.seconds);
  if (proof > limit) {
    out.needs = proof, out.proof_needs = true;
    return false;
  }
  Search z{s, o, Clock::now(), {}, {}, {}, 0, design_threads(), 0};
  z.end = after(z.start, o.seconds - proof);
  z.hard_end = after(z.start, limit - proof);
  z.direct.resize((size_t)(s.n + 1) * (s.k + 1));
  // A given wheel is one more candidate for the whole instance.
  if (!from.empty()) z.at(s.n, s.k).improve(from, Method::Given);

  z.greedy_parts(o.seconds * kWholeGreedyShare, o.seconds * kGreedyShare);
  int64_t size;
  std::vector<Part> parts = z.split(Search::kKnown, &size);
  double left = std::chrono::duration<double>(z.hard_end - Clock::now()).count();
  if (parts.empty() && !z.halted()) {
    // No split came together in the greedy's share of the time (L(49,6,6,2)
    // in 1 s): the greedy searches once more for the parts not yet built,
    // with the time up to the run's limit.
    for (Direct &d : z.direct)
      if (d.best.empty()) d.tried = false;
    z.greedy_parts(left, left);
    parts = z.split(Search::kKnown, &size);
  }
  if (parts.empty() && !z.halted()) {
    // Nothing fits the time: the quicker greedy of the whole instance, where
    // it fits the run's limit; beyond that, say what it would take rather
    // than run for hours.
    double needs = std::min(colex_greedy_seconds(s), engine_greedy_seconds(s));
    left = std::chrono::duration<double>(z.hard_end - Clock::now()).count();
    if (std::isfinite(needs) && needs > left) {
      out.needs = needs + proof;
      return false;
    }
    double none = 0;
    z.greedy(s.n, s.k, none, true);
    parts = z.split(Search::kKnown, &size);
  }
  if (parts.empty()) {
    out.interrupted = z.halted();
    return false;
  }
  out.greedy = z.at(s.n, s.k).greedy;
  out.from_store = z.from_store;
  if (!z.halted()) z.fringe_wheels();

  // The symmetric search takes its share of the time left; where it proves
  // the whole instance's wheel optimal, the run ends there.
  auto symmetric_end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          (z.end - Clock::now()) * kSymmetricShare);
  if (z.symmetric_parts(symmetric_end)) {
    Direct &d = z.at(s.n, s.k);
    out.covers = d.best;
    out.optimal = true;
    out.built = {instance(s) + ": " + d.text()};
    z.progress(out.covers.size(), "proof");
    return proved(s, out.covers);
  }

  uint64_t part_moves = o.moves == UINT64_MAX ? UINT64_MAX : o.moves / 2;
  auto parts_end = Clock::now() +
                   std::chrono::duration_cast<Clock::duration>((z.end - Clock::now()) * kPartShare);
  z.anneal_parts(parts_end, part_moves);
  parts = z.split(Search::kKnown, &size);

  std::vector<std::vector<Set>> wheels;
  if (parts.size() > 1)
    out.built.push_back("split into " + std::to_string(parts.size()) + " parts (" +
                        std::to_string(size) + " covers):");
  for (const Part &p : parts) {
    Direct &d = z.at(p.n, p.k);
    wheels.push_back(p.kind == Part::Direct ? d.best : std::vector<Set>());
    std::string line = parts.size() > 1 ? "  " + std::to_string(p.offset + 1) + ".." +
                                              std::to_string(p.offset + p.n) + " as "
                                        : "";
    line += instance(z.shape(p.n, p.k)) + ": ";
    if (p.kind == Part::Empty) line += "no cover (k > n)";
    if (p.kind == Part::Single) line += "1 cover, the whole part, padded";
    if (p.kind == Part::Fringe) {
      int a_size = p.n - s.x + 1;
      line = "  " + std::to_string(p.offset + a_size + 1) + ".." + std::to_string(p.offset + p.n) +
             " with each of " + std::to_string(p.offset + 1) + ".." +
             std::to_string(p.offset + a_size - 1) + ": " + covers_text(a_size - 1);
    }
    if (p.kind == Part::Direct) line += d.text();
    out.built.push_back(line);
    // Each part's wheel goes to the store (the whole's is the caller's).
    if (p.kind == Part::Direct && o.keep && parts.size() > 1 && !d.steps.empty() &&
        d.steps.front().how != Method::Stored)
      o.keep(z.shape(p.n, p.k), d.best, {instance(z.shape(p.n, p.k)) + ": " + d.text()});
  }
  std::vector<Set> composed = compose(s, parts, wheels);
  uint64_t rest = o.moves == UINT64_MAX ? UINT64_MAX : o.moves - std::min(o.moves, z.moves_used);
  out.covers = z.anneal_whole(composed, rest, 1);
  // The local search keeps its wheels without holes; the check walk proves it.
  z.progress(std::min(out.covers.size(), composed.size()), "proof");
  if (out.covers.size() >= composed.size() || !proved(s, out.covers)) {
    out.covers = composed;
    if (!proved(s, out.covers)) return false;
  }
  std::string gain = "local search of the whole wheel: " + covers_text(out.covers.size());
  if (parts.size() > 1)
    out.built.push_back("composed: " + covers_text(composed.size()) +
                        (out.covers.size() < composed.size() ? "; " + gain : ""));
  else if (out.covers.size() < composed.size())
    out.built.push_back(gain);
  out.interrupted = z.halted();
  return true;
}

}  // namespace design
