// The symmetric search by base blocks: candidate groups, annealing over the
// base blocks of each, on several threads.
#include "design/methods/blocks.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "design/methods/bound.h"
#include "base/tasks.h"

namespace design::inline VORLANK_SETS {

// Every move applies each element of the group to a k-set, a block and the
// chosen blocks: larger groups move too slowly (PGL(2,53) on 57 numbers has
// 148,824 elements), smaller ones than half the pool reduce too little.
static constexpr size_t kMaxBlockGroupOrder = 8192;
// k-orbits held by one run (their table has C(n,k) entries in any case).
static constexpr size_t kMaxKOrbits = 1 << 20;
// A move builds a block that an element of the group maps onto itself this
// often, else it swaps one number: blocks whose orbits are short are rarely
// a swap away from one another (an inversive plane S(3,8,50) under x -> ax+b
// on GF(49), a of order 8: 2 runs of 6 reach 350 in 6 s, none without these
// moves; a cycle of 57, where they never fit, finds PG(2,7) as fast).
static constexpr double kCycleShare = 0.25;
// Blocks tried for each hole by the start's greedy, of each kind.
static constexpr int kStartTries = 4;
// The start gives up after this many holes in a row with no block that fits.
static constexpr int kStartMisses = 32;
// The schedule (as the symmetric search's): every group first has short
// runs, the groups preferred more of them (a run of a cycle of 57 finds the
// projective plane of order 7 in 0.19 s on average, 0.01-0.8 s); the groups
// that came out best then take rounds of runs, each round twice as long and
// on half as many groups.
static constexpr double kScreenSeconds = 0.25;
static constexpr double kFocusSeconds = 0.5, kMostRunSeconds = 4;
static constexpr size_t kFocusGroups = 6, kLastGroups = 2, kRunsPerRound = 2;
static constexpr size_t kFocusRounds = 3;                 // rounds where the clock is not read
static constexpr uint64_t kHoleRank = (uint64_t)1 << 40;  // ranks by holes after every total
static constexpr uint64_t kRunsPerMoves = 16;
static constexpr uint64_t kLeastRunMoves = 1000, kMostRunMoves = 2'000'000;

bool blocks_apply(const Shape &s) {
  return s.n <= kMaxPool && s.t >= 1 && s.t <= std::min(s.k, s.x) && s.k < s.n && s.x < s.n &&
         binom()(s.n, s.k) <= kMaxOrbitTable && binom()(s.n, s.x) > kMaxOrbitTable;
}

void block_covers(const Shape &s, const Orbits &k, Set b, std::vector<uint8_t> &mark,
                  std::vector<uint32_t> &out) {
  out.clear();
  for_covered(s, b, [&](uint64_t r) {
    uint32_t o = (uint32_t)k.id[r];
    if (!mark[o]) mark[o] = 1, out.push_back(o);
  });
  for (uint32_t o : out) mark[o] = 0;
}

namespace {

// A block's orbit: its least image (the same for every block of the orbit)
// and its size.
struct BlockOrbit {
  Set least;
  uint64_t size;
};

BlockOrbit orbit_of(const Group &g, Set b) {
  Set least = b;
  uint64_t fix = 0;
  for (const Perm &p : g.elements) {
    Set c = apply(p, b);
    least = std::min(least, c), fix += c == b;
  }
  return {least, g.elements.size() / fix};
}

std::vector<Set> expand_blocks(const Group &g, const std::vector<Set> &blocks) {
  std::vector<Set> out;
  for (Set b : blocks)
    for (const Perm &p : g.elements) out.push_back(apply(p, b));
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

template <class T> void shuffle(std::vector<T> &v, Rng &rng) {
  for (size_t i = v.size(); i > 1; i--) std::swap(v[i - 1], v[rng.below(i)]);
}

// A block of x numbers that h maps onto itself, a union of h's cycles: the
// cycle through a, then cycles through numbers of `want`, of `near`, of the
// pool, each group in random order, each where it still fits; 0 where the
// union does not come to x numbers.
Set cycle_block(const Perm &h, const Shape &s, int a, Set want, Set near, Rng &rng,
                std::vector<Set> &cycles) {
  Set seen = 0, block = 0;
  cycles.clear();
  for (int p = 0; p < s.n; p++) {
    if (seen & bit(p)) continue;
    Set c = 0;
    int q = p;
    do c |= bit(q), q = h[q];
    while (q != p);
    seen |= c;
    if (c & bit(a))
      block = c;
    else
      cycles.push_back(c);
  }
  if (count(block) > s.x) return 0;
  shuffle(cycles, rng);
  for (Set from : {want, near, low_bits(s.n)})
    for (Set c : cycles)
      if ((c & from) && !(c & block) && count(block | c) <= s.x) block |= c;
  return count(block) == s.x ? block : 0;
}

struct Chosen {
  Set block;
  BlockOrbit orbit;
  std::vector<uint32_t> covers;  // the k-orbits its orbit covers
};

// Chosen base blocks (of distinct orbits), the number of them covering each
// k-orbit, and the uncovered k-orbits in a list with a position index.
struct BlockState : HoleList {
  const Orbits &ko;
  std::vector<Chosen> chosen;
  std::vector<uint32_t> mult;
  uint64_t total = 0;

  explicit BlockState(const Orbits &k) : HoleList(k.rep.size()), ko(k), mult(k.rep.size()) {}
  void add(Chosen c) {
    total += c.orbit.size;
    for (uint32_t k : c.covers)
      if (mult[k]++ == 0) close(k);
    chosen.push_back(std::move(c));
  }
  void remove(size_t i) {
    total -= chosen[i].orbit.size;
    for (uint32_t k : chosen[i].covers)
      if (--mult[k] == 0) open(k);
    std::swap(chosen[i], chosen.back());
    chosen.pop_back();
  }
  void clear() {
    while (!chosen.empty()) remove(chosen.size() - 1);
  }
  // k-orbits that only chosen block i covers.
  uint64_t unique(size_t i) const {
    uint64_t n = 0;
    for (uint32_t k : chosen[i].covers) n += mult[k] == 1;
    return n;
  }
  // Whether another chosen block than `except` lies in the orbit.
  bool has(Set least, size_t except = SIZE_MAX) const {
    for (size_t i = 0; i < chosen.size(); i++)
      if (i != except && chosen[i].orbit.least == least) return true;
    return false;
  }
};

struct BlockRun {
  std::vector<Set> blocks;  // base blocks of the smallest total met below beat; empty: none
  uint64_t total = UINT64_MAX;
  uint64_t least_holes = UINT64_MAX;  // the fewest holes met below beat otherwise
};

// One run of the annealing over base blocks under one group.
class BlockAnneal {
public:
  BlockAnneal(const Shape &s, const Group &g, const Orbits &k, uint64_t seed)
      : s_(s), g_(g), st_(k), rng_(seed), mark_(k.rep.size()), images_(g.elements.size()) {}

  BlockRun run(uint64_t beat, uint64_t lower, uint64_t moves, Deadline end,
               const std::function<bool()> &cancel) {
    best_.total = beat;
    build(UINT64_MAX);
    // PG(2,7) under a cycle of 57 from t0 = 1, 2, 3, 5: 0.19, 0.36, 0.18
    // and 0.20 s on average (30 runs each).
    const double t0 = 3;
    double temp = t0;
    int cold = 0;
    uint64_t made = 0;
    while (drop_below_best(lower)) {
      // A stage of moves at one temperature; every move keeps the total
      // below the best known.
      uint64_t stage = std::max<uint64_t>(200, st_.chosen.size() * s_.x * (s_.n - s_.x));
      uint64_t least = st_.holes.size();
      bool better = false;
      for (uint64_t m = 0; m < stage && !st_.holes.empty(); m++, made++) {
        if (made >= moves) return finish();
        if (made % 64 == 0 && (Clock::now() >= end || (cancel && cancel()))) return finish();
        if (!move(temp)) continue;
        if (st_.holes.size() < least) least = st_.holes.size(), better = true;
        best_.least_holes = std::min<uint64_t>(best_.least_holes, st_.holes.size());
      }
      temp *= 0.99;
      if (temp <= t0 / 2) cold = better ? 0 : cold + 1;
      if (cold >= 30) temp = t0, cold = 0;
    }
    return finish();
  }

private:
  BlockRun finish() {
    if (best_.blocks.empty()) best_.total = UINT64_MAX;
    return std::move(best_);
  }

  // The chosen block for b, its orbit and the k-orbits it covers.
  Chosen make(Set b) {
    Chosen c{b, orbit_of(g_, b), {}};
    block_covers(s_, st_.ko, b, mark_, c.covers);
    return c;
  }

  // A block covering the k-set k: k and other numbers (as many of k's as
  // fit where x < k).
  Set plain_block(Set k) {
    Set b = 0;
    while (count(b) < s_.x && (k & ~b)) b |= bit(rng_.pick(k & ~b));
    while (count(b) < s_.x) b |= bit(rng_.pick(low_bits(s_.n) & ~b));
    return b;
  }

  // A block covering the k-set k that an element of the group maps onto
  // itself: an element taking one number of k to another, its cycle through
  // the first, then cycles through numbers of k, of near, of the pool. 0
  // where none came out.
  Set stable_block(Set k, Set near) {
    int a = rng_.pick(k);
    size_t e = 0;
    if (count(k) >= 2) {
      int b = rng_.pick(k & ~bit(a));
      uint64_t seen = 0;
      for (size_t i = 1; i < g_.elements.size(); i++)
        if (g_.elements[i][a] == b && rng_.below(++seen) == 0) e = i;
    } else if (g_.elements.size() > 1) {
      e = 1 + rng_.below(g_.elements.size() - 1);
    }
    if (e == 0) return 0;
    return cycle_block(g_.elements[e], s_, a, k, near, rng_, cycles_);
  }

  // Adds blocks, each the best of a few tried for a random hole by the
  // k-sets it newly covers per cover, while the total stays below budget and
  // holes remain.
  void build(uint64_t budget) {
    for (int misses = 0; !st_.holes.empty() && misses < kStartMisses;) {
      Set k = st_.ko.rep[st_.holes[rng_.below(st_.holes.size())]];
      Chosen pick{0, {0, 0}, {}};
      double most = 0;
      for (int i = 0; i < 2 * kStartTries; i++) {
        Set b = i % 2 ? plain_block(k) : stable_block(k, 0);
        if (!b) continue;
        Chosen c = make(b);
        if (st_.total + c.orbit.size >= budget || st_.has(c.orbit.least)) continue;
        uint64_t gain = 0;
        for (uint32_t o : c.covers)
          if (st_.mult[o] == 0) gain += st_.ko.size[o];
        double per = (double)gain / (double)c.orbit.size;
        if (per > most) most = per, pick = std::move(c);
      }
      if (!pick.block) {
        misses++;
        continue;
      }
      misses = 0;
      st_.add(std::move(pick));
    }
  }

  // Records a wheel without holes below the best; then drops blocks, the
  // one that opens the fewest holes first (the larger orbit on ties), until
  // the total is below the best. Where one block would be left to drop, a
  // new start below the best instead. False where the search is over: at the
  // lower bound, or where no new start fits.
  bool drop_below_best(uint64_t lower) {
    while (st_.holes.empty() || st_.total >= best_.total) {
      if (st_.holes.empty() && st_.total < best_.total) {
        best_.blocks.clear();
        for (const Chosen &c : st_.chosen) best_.blocks.push_back(c.block);
        best_.total = st_.total;
      }
      if (best_.total <= lower) return false;
      if (st_.chosen.size() <= 1) {
        st_.clear();
        build(best_.total);
        if (st_.chosen.empty()) return false;
        continue;
      }
      size_t drop = 0;
      uint64_t least = UINT64_MAX;
      for (size_t i = 0; i < st_.chosen.size(); i++) {
        uint64_t u = st_.unique(i);
        if (u < least || (u == least && st_.chosen[i].orbit.size > st_.chosen[drop].orbit.size))
          least = u, drop = i;
      }
      st_.remove(drop);
    }
    return true;
  }

  // A move aimed at a random hole K: of the images of K, one that comes
  // closest to a chosen block (t - 1 numbers shared at best, as K is a
  // hole), chosen at random among those; the block either swaps a number
  // outside the image for one of the image's, or becomes a block that an
  // element taking one number of the image to another maps onto itself.
  // Accepted by Metropolis on the holes; true where made.
  bool move(double temp) {
    Set k = st_.ko.rep[st_.holes[rng_.below(st_.holes.size())]];
    for (size_t e = 0; e < images_.size(); e++) images_[e] = apply(g_.elements[e], k);
    int most = -1;
    uint64_t ties = 0;
    for (const Chosen &c : st_.chosen)
      for (Set img : images_) {
        int shared = count(c.block & img);
        if (shared > most) most = shared, ties = 0;
        ties += shared == most;
      }
    uint64_t at = rng_.below(ties);
    size_t ci = 0;
    Set img = 0;
    for (size_t i = 0; i < st_.chosen.size() && !img; i++)
      for (Set m : images_)
        if (count(st_.chosen[i].block & m) == most && at-- == 0) {
          ci = i, img = m;
          break;
        }
    Set b = st_.chosen[ci].block, nb = 0;
    if (rng_.unit() < kCycleShare)
      nb = stable_block(img, b);
    else
      nb = (b & ~bit(rng_.pick(b & ~img))) | bit(rng_.pick(img & ~b));
    if (!nb) return false;
    BlockOrbit o = orbit_of(g_, nb);
    if (st_.total - st_.chosen[ci].orbit.size + o.size >= best_.total ||
        o.least == st_.chosen[ci].orbit.least || st_.has(o.least, ci))
      return false;
    Chosen c{nb, o, {}};
    block_covers(s_, st_.ko, nb, mark_, c.covers);
    int64_t delta = 0;
    for (uint32_t q : c.covers) mark_[q] = 1, delta -= st_.mult[q] == 0;
    for (uint32_t q : st_.chosen[ci].covers) delta += st_.mult[q] == 1 && !mark_[q];
    for (uint32_t q : c.covers) mark_[q] = 0;
    if (delta > 0 && rng_.unit() >= std::exp(-(double)delta / temp)) return false;
    st_.remove(ci);
    st_.add(std::move(c));
    return true;
  }

  const Shape &s_;
  const Group &g_;
  BlockState st_;
  Rng rng_;
  BlockRun best_;
  std::vector<uint8_t> mark_;
  std::vector<Set> images_, cycles_;
};

// The orbits of the numbers under a group: how many.
size_t point_orbits(const Group &g) {
  Set seen = 0;
  size_t orbits = 0;
  for (int p = 0; p < g.n; p++) {
    if (seen & bit(p)) continue;
    orbits++;
    for (const Perm &e : g.elements) seen |= bit(e[p]);
  }
  return orbits;
}

// The cycle types of the elements, as one number: alike for conjugate
// groups (a cycle of 57 and 3 cycles of 19 rotated onto each other).
uint64_t cycle_print(const Group &g) {
  std::vector<uint64_t> types;
  for (const Perm &e : g.elements) {
    std::vector<int> lengths;
    Set seen = 0;
    for (int p = 0; p < g.n; p++) {
      if (seen & bit(p)) continue;
      int len = 0;
      for (int q = p; !(seen & bit(q)); q = e[q]) seen |= bit(q), len++;
      lengths.push_back(len);
    }
    std::sort(lengths.begin(), lengths.end());
    uint64_t h = 0xcbf29ce484222325;
    for (int len : lengths) h = (h ^ (uint64_t)len) * 0x100000001b3;
    types.push_back(h);
  }
  std::sort(types.begin(), types.end());
  uint64_t h = g.elements.size();
  for (uint64_t t : types) h = (h ^ t) * 0x100000001b3;
  return h;
}

// The groups worth a run, in the order of preference: transitive ones first
// (then those with one orbit more, ...), smaller first within each (their
// moves are cheaper and their orbits come in more sizes), one of each
// conjugate kind, by the shortest name (a cycle of 57, not 19 cycles of 3
// rotated onto each other).
std::vector<Group> block_groups(int n, Deadline end) {
  std::vector<Group> all = candidate_groups(n, std::max<size_t>(4, (size_t)(n + 1) / 2), end);
  std::vector<std::pair<std::pair<size_t, size_t>, size_t>> order;  // (orbits, order), index
  std::vector<uint64_t> prints;
  for (size_t i = 0; i < all.size(); i++) {
    if (all[i].elements.size() > kMaxBlockGroupOrder) continue;
    uint64_t print = cycle_print(all[i]);
    size_t at = std::find(prints.begin(), prints.end(), print) - prints.begin();
    if (at == prints.size()) {
      prints.push_back(print);
      order.push_back({{point_orbits(all[i]), all[i].elements.size()}, i});
    } else if (all[i].name.size() < all[order[at].second].name.size()) {
      order[at].second = i;  // the plainer name of the two
    }
  }
  std::sort(order.begin(), order.end());
  std::vector<Group> out;
  for (auto &o : order) out.push_back(std::move(all[o.second]));
  return out;
}

struct Found {
  uint64_t total = UINT64_MAX;
  std::vector<Set> covers;
  size_t group = 0, blocks = 0;
};

// The runs over the groups of one instance: every group once (screen), then
// rounds of runs on those that screened best (focus), then the smallest
// wheel (winner).
class BlockSearch {
public:
  BlockSearch(const Shape &s, const BlockOptions &opt)
      : s_(s), opt_(opt), groups_(block_groups(s.n, opt.end)), rank_(groups_.size(), UINT64_MAX),
        timed_(opt.moves == UINT64_MAX), best_(opt.beat) {}

  void search() {
    std::atomic<size_t> stop_after{SIZE_MAX};
    // The screen: the first group, the first two, the first four, ... up to
    // all of them, one run each time, so that the groups preferred have
    // several short runs before the last has one.
    std::vector<size_t> screen;
    for (size_t prefix = 1;; prefix *= 2) {
      for (size_t g = 0; g < std::min(prefix, groups_.size()); g++) screen.push_back(g);
      if (prefix >= groups_.size()) break;
    }
    run_tasks(screen.size(), opt_.threads, stop_after, [&](size_t i) {
      if (!out_of_time() && one_run(i, screen[i], kScreenSeconds, stop_after, i) && i < stop_after)
        stop_after = i;
    });
    // Then rounds of runs over the groups that came out best, kRunsPerRound
    // each, twice as long each round, halving the groups after each round by
    // the best rank any of their runs reached, down to kLastGroups.
    std::vector<size_t> focus;
    for (size_t g = 0; g < groups_.size(); g++)
      if (rank_[g] < UINT64_MAX) focus.push_back(g);
    size_t base = screen.size();
    for (size_t round = 0; stop_after == SIZE_MAX && !focus.empty() && !out_of_time() &&
                           (timed_ || round < kFocusRounds);
         round++) {
      // By rank, ties in their order so far (not std::stable_sort: the test
      // build's operator new and its temporary buffer disagree under
      // AddressSanitizer).
      std::vector<size_t> was(groups_.size());
      for (size_t i = 0; i < focus.size(); i++) was[focus[i]] = i;
      std::sort(focus.begin(), focus.end(), [&](size_t a, size_t b) {
        return rank_[a] != rank_[b] ? rank_[a] < rank_[b] : was[a] < was[b];
      });
      focus.resize(std::min(focus.size(),
                            round == 0 ? kFocusGroups : std::max(kLastGroups, focus.size() / 2)));
      size_t runs = focus.size() * kRunsPerRound;
      double secs =
          std::min(kMostRunSeconds, kFocusSeconds * (double)(1 << std::min<size_t>(round, 8)));
      run_tasks(runs, opt_.threads, stop_after, [&](size_t i) {
        if (!out_of_time() && one_run(base + i, focus[i % focus.size()], secs, stop_after, i) &&
            i < stop_after)
          stop_after = i;
      });
      base += runs;
    }
  }

  BlockWheel winner() {
    BlockWheel out;
    std::sort(found_.begin(), found_.end(), [](const auto &a, const auto &b) {
      return a.second.total != b.second.total ? a.second.total < b.second.total : a.first < b.first;
    });
    if (found_.empty()) return out;
    Found &f = found_.front().second;
    out.covers = std::move(f.covers), out.group = groups_[f.group].name;
    out.order = groups_[f.group].elements.size(), out.base_blocks = f.blocks;
    return out;
  }

private:
  bool halted() const { return opt_.halt && *opt_.halt; }
  bool out_of_time() const { return halted() || Clock::now() >= opt_.end; }

  // One run on group g; true where nothing after it can do better.
  bool one_run(size_t key, size_t g, double secs, std::atomic<size_t> &stop_after, size_t i) {
    Orbits ko;
    if (!find_orbits(groups_[g], s_.k, kMaxKOrbits, ko)) return false;
    // Timed runs aim below the best any thread has found; runs by moves
    // below the given size alone, so that they depend on the seed only.
    uint64_t aim = timed_ ? best_.load() : opt_.beat;
    uint64_t moves =
        timed_ ? UINT64_MAX : std::clamp(opt_.moves / kRunsPerMoves, kLeastRunMoves, kMostRunMoves);
    BlockAnneal a(s_, groups_[g], ko, opt_.seed * 0x9e3779b97f4a7c15 + key);
    BlockRun r =
        a.run(aim, opt_.lower, moves, timed_ ? std::min(from_now(secs), opt_.end) : opt_.end,
              [&] { return i > stop_after || halted(); });
    uint64_t rank = !r.blocks.empty()            ? r.total
                    : r.least_holes < UINT64_MAX ? kHoleRank + r.least_holes
                                                 : UINT64_MAX;
    {
      std::lock_guard<std::mutex> hold(lock_);
      rank_[g] = std::min(rank_[g], rank);
    }
    if (r.blocks.empty() || r.total >= opt_.beat) return false;
    std::vector<Set> covers = expand_blocks(groups_[g], r.blocks);
    if (!proved(s_, covers)) return false;  // never trusted unproved
    uint64_t total = covers.size();
    std::lock_guard<std::mutex> hold(lock_);
    found_.push_back({key, {total, std::move(covers), g, r.blocks.size()}});
    if (total < best_) {
      best_ = total;
      if (opt_.progress) opt_.progress(total);
    }
    return total <= opt_.lower;
  }

  const Shape &s_;
  const BlockOptions &opt_;
  std::vector<Group> groups_;
  std::vector<uint64_t> rank_;  // per group: the best rank of its runs (see one_run)
  const bool timed_;
  std::atomic<uint64_t> best_;
  std::mutex lock_;                              // guards found_ and rank_
  std::vector<std::pair<size_t, Found>> found_;  // by task order
};

}  // namespace

BlockWheel block_wheel(const Shape &s, const BlockOptions &o) {
  if (s.n > kMaxPool || s.t < 1 || s.t > std::min(s.k, s.x) || s.k >= s.n || s.x >= s.n ||
      binom()(s.n, s.k) > kMaxOrbitTable)
    return {};
  BlockSearch search(s, o);
  search.search();
  return search.winner();
}

}  // namespace design
