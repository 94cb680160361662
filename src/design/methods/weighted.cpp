// Weighted local search of a wheel: best moves on weighted holes.
#include "design/methods/weighted.h"

#include <algorithm>

#include "base/deadline.h"

namespace design::inline VORLANK_SETS {

static constexpr uint32_t kNone = UINT32_MAX;
// Moves during which the two numbers a cover swapped stay where they went.
static constexpr uint64_t kTabu = 3;
// Once a weight reaches this, every weight is halved (the tables recounted).
static constexpr uint32_t kWeightCap = 1u << 24;

WeightedSearch::WeightedSearch(const Shape &s, const std::vector<Set> &covers, uint64_t seed)
    : s_(s), pool_(low_bits(s.n)), rng_(seed), covers_(covers), weight_(binom()(s.n, s.k), 1) {
  rebuild();
}

void WeightedSearch::rebuild() {
  size_t ks = weight_.size();
  mult_.assign(ks, 0), who_.assign(ks, 0), hole_at_.assign(ks, kNone);
  hole_list_.clear(), hole_sets_.clear();
  for (size_t i = 0; i < covers_.size(); i++)
    for_covered(s_, covers_[i], [&](uint64_t r) { mult_[r]++, who_[r] ^= (uint16_t)i; });
  for (uint64_t r = 0; r < ks; r++)
    if (mult_[r] == 0) open(r);
  lost_.assign(covers_.size() * s_.n, 0);
  tabu_.assign(covers_.size() * s_.n, 0);
  for (size_t i = 0; i < covers_.size(); i++) recount(i);
}

void WeightedSearch::open(uint64_t r) {
  hole_at_[r] = (uint32_t)hole_list_.size();
  hole_list_.push_back((uint32_t)r);
  hole_sets_.push_back(unrank(r, s_.k));
}

void WeightedSearch::close(uint64_t r) {
  uint32_t at = hole_at_[r], last = hole_list_.back();
  hole_list_[at] = last, hole_sets_[at] = hole_sets_.back();
  hole_at_[last] = at;
  hole_list_.pop_back(), hole_sets_.pop_back();
  hole_at_[r] = kNone;
}

void WeightedSearch::recount(size_t i) {
  Set c = covers_[i];
  int64_t *l = &lost_[i * s_.n];
  std::fill(l, l + s_.n, 0);
  in_cover_.clear(), outside_.clear();
  subsets(c, s_.t, 0, in_cover_);
  subsets(pool_ & ~c, s_.k - s_.t, 0, outside_);
  for (Set a : in_cover_) {
    int64_t sum = 0;
    for (Set b : outside_)
      if (uint64_t r = rank(a | b); mult_[r] == 1) sum += weight_[r];
    if (sum)
      for (Set o = a; o; o = drop_first(o)) l[first(o)] += sum;
  }
}

void WeightedSearch::credit(size_t j, Set K, int64_t w) {
  Set shared = K & covers_[j];
  if (count(shared) != s_.t) return;
  for (; shared; shared = drop_first(shared)) lost_[j * s_.n + first(shared)] += w;
}

// The k-sets sharing exactly t numbers with c, out among them and in not,
// lose c; the same with out and in exchanged gain the new cover.
void WeightedSearch::apply(size_t i, int out, int in) {
  Set c = covers_[i];
  in_cover_.clear(), outside_.clear();
  subsets(c & ~bit(out), s_.t - 1, 0, in_cover_);
  subsets(pool_ & ~c & ~bit(in), s_.k - s_.t, 0, outside_);
  for (Set a : in_cover_)
    for (Set b : outside_) {
      Set K = a | b | bit(out);
      uint64_t r = rank(K);
      who_[r] ^= (uint16_t)i;
      if (--mult_[r] == 0)
        open(r);
      else if (mult_[r] == 1)
        credit(who_[r], K, weight_[r]);
    }
  for (Set a : in_cover_)
    for (Set b : outside_) {
      Set K = a | b | bit(in);
      uint64_t r = rank(K);
      if (mult_[r] == 0)
        close(r);
      else if (mult_[r] == 1)
        credit(who_[r], K, -(int64_t)weight_[r]);
      mult_[r]++, who_[r] ^= (uint16_t)i;
    }
  covers_[i] = (c & ~bit(out)) | bit(in);
  recount(i);
}

int64_t WeightedSearch::move() {
  const int n = s_.n, k = s_.k, t = s_.t;
  Set hole = hole_sets_[rng_.below(hole_sets_.size())];
  aimed_.clear();
  for (size_t i = 0; i < covers_.size(); i++)
    if (count(covers_[i] & hole) == t - 1) aimed_.push_back((uint32_t)i);
  // With no cover one number short of the hole, a random cover's moves
  // towards it.
  if (aimed_.empty()) aimed_.push_back((uint32_t)rng_.below(covers_.size()));

  // The best move that is not tabu (ties at random), else the best of all.
  struct Best {
    int64_t delta = INT64_MAX;
    uint64_t ties = 0;
    uint32_t cover = 0;
    int out = 0, in = 0;
  } best[2];  // [tabu]
  for (uint32_t i : aimed_) {
    Set c = covers_[i], outs = c & ~hole, ins = hole & ~c;
    int in_num[kMaxPool], ni = 0;
    for (Set m = ins; m; m = drop_first(m)) in_num[ni++] = first(m);
    // Weight closed: holes sharing t - 1 numbers with c, in among them and out not.
    gain_.assign((size_t)ni * n, 0);
    for (size_t q = 0; q < hole_sets_.size(); q++) {
      Set h = hole_sets_[q];
      if (count(h & c) != t - 1 || !(h & ins)) continue;
      int64_t w = weight_[hole_list_[q]];
      Set hout = outs & ~h;
      for (int j = 0; j < ni; j++)
        if (h & bit(in_num[j]))
          for (Set o = hout; o; o = drop_first(o)) gain_[(size_t)j * n + first(o)] += w;
    }
    if (k > t) {
      in_cover_.clear();
      subsets(c, t, 0, in_cover_);
    }
    for (int j = 0; j < ni; j++) {
      int in = in_num[j];
      // Weight that lost(c, out) counts but in keeps covered: the k-sets
      // c alone covers with exactly t of its numbers, out among them, and in.
      keep_.assign(n, 0);
      if (k > t) {
        outside_.clear();
        subsets(pool_ & ~c & ~bit(in), k - t - 1, bit(in), outside_);
        for (Set a : in_cover_) {
          if (!(a & outs)) continue;
          int64_t sum = 0;
          for (Set b : outside_)
            if (uint64_t r = rank(a | b); mult_[r] == 1) sum += weight_[r];
          if (sum)
            for (Set o = a & outs; o; o = drop_first(o)) keep_[first(o)] += sum;
        }
      }
      for (Set om = outs; om; om = drop_first(om)) {
        int out = first(om);
        int64_t delta = lost_[(size_t)i * n + out] - keep_[out] - gain_[(size_t)j * n + out];
        Best &b = best[tabu_[(size_t)i * n + out] > moves_ || tabu_[(size_t)i * n + in] > moves_];
        if (delta > b.delta) continue;
        if (delta < b.delta) b.ties = 0;
        if (rng_.below(++b.ties) == 0) b = {delta, b.ties, i, out, in};
      }
    }
  }
  const Best &m = best[0].ties ? best[0] : best[1];
  apply(m.cover, m.out, m.in);
  moves_++;
  tabu_[(size_t)m.cover * n + m.out] = tabu_[(size_t)m.cover * n + m.in] = moves_ + kTabu;
  bool halve = false;
  for (uint32_t r : hole_list_) halve |= ++weight_[r] >= kWeightCap;
  if (halve) {
    for (uint32_t &w : weight_) w = (w + 1) / 2;
    for (size_t i = 0; i < covers_.size(); i++) recount(i);
  }
  return m.delta;
}

void WeightedSearch::drop_cheapest() {
  size_t cheapest = 0;
  int64_t least = INT64_MAX;
  for (size_t i = 0; i < covers_.size(); i++) {
    int64_t sum = 0;
    for_covered(s_, covers_[i], [&](uint64_t r) { sum += mult_[r] == 1 ? weight_[r] : 0; });
    if (sum < least) least = sum, cheapest = i;
  }
  covers_[cheapest] = covers_.back();
  covers_.pop_back();
  rebuild();
}

std::vector<Set> weighted_search(const Shape &s, const std::vector<Set> &start, uint64_t lb,
                                 const AnnealStop &stop, uint64_t seed, uint64_t *moves_used,
                                 const std::function<void(size_t)> &progress) {
  if (start.size() <= 1 || start.size() > kMaxWeightedCovers ||
      binom()(s.n, s.k) > kMaxWeightedKsets || s.t < 1 || s.k >= s.n || s.x >= s.n ||
      setup_seconds(s, start.size()) > seconds_until(stop.end))
    return start;
  WeightedSearch w(s, start, seed);
  std::vector<Set> best = start;
  // Moves between clock readings.
  constexpr uint64_t kCheck = 64;
  uint64_t moves = 0;
  for (bool at_bound = false; !at_bound;) {
    while (w.holes() == 0 && !at_bound) {
      best = w.covers();
      if (progress) progress(best.size());
      at_bound = best.size() <= std::max<uint64_t>(lb, 1);
      if (!at_bound) w.drop_cheapest();
    }
    if (at_bound || moves >= stop.moves ||
        (moves % kCheck == 0 && (Clock::now() >= stop.end || (stop.halt && *stop.halt))))
      break;
    w.move();
    moves++;
  }
  if (moves_used) *moves_used += moves;
  return best;
}

}  // namespace design
