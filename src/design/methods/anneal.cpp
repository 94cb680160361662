// Simulated annealing of a wheel on its number of holes.
#include "design/methods/anneal.h"

#include <algorithm>
#include <cmath>

#include "design/methods/bound.h"
#include "base/deadline.h"

namespace design::inline VORLANK_SETS {

static constexpr uint32_t kNone = UINT32_MAX;

template <class T>
Annealer<T>::Annealer(const Shape &s, const std::vector<Set> &covers, uint64_t seed)
    : s_(s), pool_(low_bits(s.n)), rng_(seed), covers_(covers), mult_(binom()(s.n, s.k)),
      hole_at_(mult_.size(), kNone) {
  for (Set c : covers_) for_covered(s_, c, [&](uint64_t r) { mult_[r]++; });
  for (uint64_t r = 0; r < mult_.size(); r++)
    if (mult_[r] == 0) open(r);
  lost_.reserve(move_cost() / 2), gained_.reserve(move_cost() / 2);
}

template <class T> void Annealer<T>::open(uint64_t r) {
  hole_at_[r] = (uint32_t)hole_list_.size();
  hole_list_.push_back((uint32_t)r);
}

template <class T> void Annealer<T>::close(uint64_t r) {
  uint32_t at = hole_at_[r], last = hole_list_.back();
  hole_list_[at] = last;
  hole_at_[last] = at;
  hole_list_.pop_back();
  hole_at_[r] = kNone;
}

template <class T> uint64_t Annealer<T>::move_cost() const { return move_lookups(s_); }

template <class T> bool Annealer<T>::move(double temperature) {
  Set hole = unrank(hole_list_[rng_.below(hole_list_.size())], s_.k);
  aimed_.clear();
  for (size_t i = 0; i < covers_.size(); i++)
    if (count(covers_[i] & hole) == s_.t - 1) aimed_.push_back(i);
  // With no cover one number short of the hole, any cover moves closer to it.
  size_t ci = aimed_.empty() ? rng_.below(covers_.size()) : aimed_[rng_.below(aimed_.size())];
  Set c = covers_[ci];
  int out = rng_.pick(c & ~hole), in = rng_.pick(hole & ~c);

  // The k-sets sharing exactly t numbers with c, out among them and in not,
  // lose c; the same with out and in exchanged gain the new cover.
  lost_.clear(), gained_.clear();
  Set others = c & ~bit(out), rest = pool_ & ~c & ~bit(in);
  int delta = 0;
  in_cover_.clear(), outside_.clear();
  subsets(others, s_.t - 1, 0, in_cover_);
  subsets(rest, s_.k - s_.t, 0, outside_);
  for (Set a : in_cover_)
    for (Set b : outside_) {
      uint64_t lose = rank(a | b | bit(out)), gain = rank(a | b | bit(in));
      lost_.push_back((uint32_t)lose);
      gained_.push_back((uint32_t)gain);
      delta += (mult_[lose] == 1) - (mult_[gain] == 0);
    }
  if (delta > 0) {
    if (temperature != exp_temp_) {
      exp_temp_ = temperature;
      for (int d = 0; d < 16; d++) exp_table_[d] = std::exp(-d / temperature);
    }
    double p = delta < 16 ? exp_table_[delta] : std::exp(-delta / temperature);
    if (rng_.unit() >= p) return false;
  }
  for (uint32_t r : lost_)
    if (--mult_[r] == 0) open(r);
  for (uint32_t r : gained_)
    if (mult_[r]++ == 0) close(r);
  covers_[ci] = (c & ~bit(out)) | bit(in);
  unique_valid_ = false;
  return true;
}

template <class T> uint64_t Annealer<T>::unique_count(Set c) {
  uint64_t count = 0;
  for_covered(s_, c, [&](uint64_t r) { count += mult_[r] == 1; });
  return count;
}

template <class T> uint64_t Annealer<T>::drop_cheapest() {
  size_t b = covers_.size();
  if (!unique_valid_) {
    unique_.resize(b);
    for (size_t i = 0; i < b; i++) unique_[i] = unique_count(covers_[i]);
    unique_valid_ = true;
  }
  // Cached counts are lower bounds: recount the least until it stays least.
  size_t best;
  for (;;) {
    best = std::min_element(unique_.begin(), unique_.end()) - unique_.begin();
    uint64_t was = unique_[best];
    unique_[best] = unique_count(covers_[best]);
    if (unique_[best] == was) break;
  }
  uint64_t opened = unique_[best];
  for_covered(s_, covers_[best], [&](uint64_t r) {
    if (--mult_[r] == 0) open(r);
  });
  covers_.erase(covers_.begin() + best);
  unique_.erase(unique_.begin() + best);
  return opened;
}

template class Annealer<uint8_t>;
template class Annealer<uint16_t>;

// The schedule: a stage of moves at one temperature, then 1% cooler; back to
// the start temperature after kColdStages stages without a new least number
// of holes, counted only once it is half as hot (counting while still hot
// reheats before the search ever cools).
static constexpr double kCooling = 0.99;
static constexpr int kColdStages = 30;
// Look-ups per stage at most: wheels whose moves are costly (the whole of a
// composed wheel) cool in seconds rather than minutes.
static constexpr uint64_t kStageLookups = 20'000'000;

template <class T>
static std::vector<Set> run(const Shape &s, const std::vector<Set> &start, uint64_t lb,
                            const AnnealStop &stop, uint64_t seed, uint64_t *moves_used,
                            const std::function<void(size_t)> &progress) {
  Annealer<T> a(s, start, seed);
  std::vector<Set> best = start;
  uint64_t moves = 0, cost = std::max<uint64_t>(a.move_cost(), 1);
  // Start temperatures: 0.45 measured best where k = t; where k > t, 0.5 found
  // L(25,4,6,3) = 83 in 15 s where 1 and 2 found 85 and 87.
  const double t0 = s.k == s.t ? 0.45 : 0.5;
  const uint64_t check = std::max<uint64_t>(1, 4096 / cost);  // moves between clock readings
  double temp = t0;
  int cold = 0;
  bool out_of_time = false;
  while (!out_of_time) {
    while (a.holes() == 0) {
      best = a.covers();
      if (progress) progress(best.size());
      if (best.size() <= std::max<uint64_t>(lb, 1)) {
        out_of_time = true;
        break;
      }
      a.drop_cheapest();
    }
    if (out_of_time) break;
    uint64_t least = a.holes();
    uint64_t b = a.covers().size();
    uint64_t stage = std::clamp<uint64_t>(kStageLookups / cost, b, b * s.x * (s.n - s.x));
    bool better = false;
    for (uint64_t m = 0; m < stage && a.holes() > 0; m++) {
      if (moves >= stop.moves ||
          (moves % check == 0 &&
           (std::chrono::steady_clock::now() >= stop.end || (stop.halt && *stop.halt)))) {
        out_of_time = true;
        break;
      }
      a.move(temp);
      moves++;
      if (a.holes() < least) least = a.holes(), better = true;
    }
    temp *= kCooling;
    if (temp <= t0 / 2) cold = better ? 0 : cold + 1;
    if (cold >= kColdStages) temp = t0, cold = 0;
  }
  if (moves_used) *moves_used += moves;
  return best;
}

// Per k-set, its count and hole index set up and read once; per k-set of a
// cover, a rank computed and counted (L(28,13,2,1): 8 covers of 27 million
// k-sets each, 6 s).
static constexpr double kSecondsPerKset = 5e-9;
static constexpr double kSecondsPerCovered = 20e-9;

double setup_seconds(const Shape &s, uint64_t covers) {
  return kSetCost * (kSecondsPerKset * (double)binom()(s.n, s.k) +
                     kSecondsPerCovered * (double)covers * (double)per_cover(s));
}

std::vector<Set> anneal(const Shape &s, const std::vector<Set> &start, uint64_t lb,
                        const AnnealStop &stop, uint64_t seed, uint64_t *moves_used,
                        const std::function<void(size_t)> &progress) {
  if (start.size() <= 1 || start.size() > kMaxAnnealCovers || binom()(s.n, s.k) > kMaxAnnealKsets ||
      s.t < 1 || s.k >= s.n || s.x >= s.n ||
      setup_seconds(s, start.size()) > seconds_until(stop.end))
    return start;
  if (start.size() <= 255) return run<uint8_t>(s, start, lb, stop, seed, moves_used, progress);
  return run<uint16_t>(s, start, lb, stop, seed, moves_used, progress);
}

}  // namespace design
