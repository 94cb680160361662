// Wheel checking for vorlank-check: reading a wheel (a list of covers), counting
// how often each k-set is covered, holes, redundant covers and lower bounds.
// Nothing here touches the greedy run's process-wide state.
#pragma once

#include <cstdint>
#include <istream>
#include <limits>
#include <string>
#include <vector>

namespace wheel {

struct Params {
  int n, k, x, t;  // L(n,k,x,t): 1 <= k, x < n <= kMaxN, t <= min(k, x)
};

// The largest n: the walk over a cover's k-sets (wheel.cpp) keeps per-number
// arrays of this size.
constexpr int kMaxN = 255;

using Cover = std::vector<int>;  // x distinct numbers of 1..n, ascending

struct Wheel {
  std::vector<Cover> covers;
  std::vector<int> lines;  // input line of each cover, from 1
  bool more = false;       // reading stopped at a cover past the most asked for
};

// The counts per k-set (Coverage) are 16 bits wide, and so a wheel has at
// most this many covers.
using WideCount = uint16_t;
constexpr size_t kMaxCovers = std::numeric_limits<WideCount>::max();

// The longest line read: a cover line of the most numbers (kMaxN - 1), or a
// greedy step's line with its progress field, takes a few kilobytes.
constexpr size_t kMaxLine = 1 << 20;

// A player's n picks: picks[i - 1] is the number that number i of a wheel
// stands for. Distinct, each below 10^9.
using Picks = std::vector<int64_t>;

// Reads a vorlank transcript (any line beginning "left:" or the menu question
// marks one; its cover lines are taken, the rest ignored) or plain lines of x
// numbers. Given picks, the numbers read are picks (a wheel as it was printed
// on them), each taken back to the number it stands for. Returns "" or what
// is wrong with the input, beginning "line N: ".
//
// Reading stops at cover most + 1 (w.more tells it; w.covers ends with that
// cover), and with an error at a line longer than kMaxLine bytes or at line
// INT_MAX; what comes after is never read, so that the memory taken stays
// bounded whatever the stream holds.
std::string read_wheel(std::istream &in, const Params &p, Wheel &w, const Picks &picks = {},
                       size_t most = kMaxCovers);

// Why the check cannot run in avail_mb of memory ("" when it can); each k-set
// takes a count (Coverage) and extra_per_kset bytes more.
std::string memory_refusal(const Params &p, double avail_mb, int extra_per_kset = 0);

// The bounds and counts below never wrap: a count past 2^64 - 1 comes out as
// UINT64_MAX (a lower bound past it as UINT64_MAX too, which stays below it).
uint64_t ksets(const Params &p);  // C(n,k)
// The k-sets one cover covers: the sum over i >= t of C(x,i) C(n-x,k-i).
uint64_t per_cover(const Params &p);
// ceil(C(n,k) / D), D = the k-sets one cover covers; t <= k and t <= x, or
// a cover covers nothing. Beyond 128-bit arithmetic, a little below it.
uint64_t counting_bound(const Params &p);
// Schoenheim's bound for k = t: ceil(n/x ceil((n-1)/(x-1) ... ceil((n-t+1)/(x-t+1)))).
uint64_t schoenheim_bound(const Params &p);
// For t < k. The t-subsets of the covers meet every k-set (a Turan (n,k,t)-
// system), and de Caen (1983) proved such a system has at least
// C(n,t)(n-k+1) / ((n-t+1) C(k-1,t-1)) sets; each cover holds C(x,t) of them.
// 0 where the numbers pass 128 bits.
uint64_t turan_bound(const Params &p);
// For t = 2 < k. The pairs of the covers form a graph G with no independent
// k-set, so by Caro and Wei k - 1 >= alpha(G) >= sum over numbers v of
// 1/(deg v + 1), and deg v <= r_v (x - 1) where v is in r_v covers. The r_v
// sum to x b for b covers, and the sum of 1/(r_v (x-1) + 1) is least where
// they are as even as integers can be; the bound is the least b for which
// that least sum is at most k - 1.
uint64_t caro_wei_bound(const Params &p);

struct Bound {
  uint64_t value;
  const char *name;  // "counting", "Schoenheim", "Turán", "Caro-Wei"
};
// Every bound above that applies to p, the counting bound first; p has
// t <= min(k, x) and k <= n.
std::vector<Bound> lower_bounds(const Params &p);
// The largest of them, the first listed among equals.
Bound best_bound(const Params &p);

// A coverage count per k-set, indexed by the k-set's position in
// lexicographic order. The counts are exact, so that drop() can take a cover
// back in one walk. They are bytes while every count stays below 255 (good
// wheels cover a k-set a few times; a byte halves the memory traffic of the
// walks) and 16 bits otherwise, which hold them for up to kMaxCovers covers.
class Coverage {
public:
  Coverage(const Params &p, const std::vector<Cover> &covers);  // at most kMaxCovers

  uint64_t holes() const;
  // Index of the first hole at or after from; ksets(p) when there is none.
  uint64_t next_hole(uint64_t from) const;
  Cover kset(uint64_t index) const;  // the k-set at an index, ascending

  // Whether every k-set cover i covers is covered at least twice, so that
  // removing cover i alone opens no hole.
  bool redundant(size_t i) const;
  // Removes cover i from the wheel.
  void drop(size_t i);
  bool active(size_t i) const { return active_[i]; }

  // Indices of the k-sets a cover covers, in the order they are visited.
  std::vector<uint64_t> covered_by(const Cover &c) const;

  // Entry m: the k-sets whose best match with the remaining covers is exactly
  // m numbers, m = 0 .. min(k, x). Takes a byte per k-set while it runs.
  std::vector<uint64_t> best_matches() const;
  // Entry c: the k-sets that exactly c of the remaining covers cover.
  std::vector<uint64_t> multiplicities() const;

private:
  template <class F> bool walk(const Cover &c, int t, F &&f) const;
  template <class T> bool count_all(std::vector<T> &count);
  uint64_t binom(int m, int j) const { return binom_[(size_t)m * (p_.k + 1) + j]; }
  // Calls f with the count array in use.
  template <class F> decltype(auto) counts(F &&f) { return wide_ ? f(wide_count_) : f(count_); }
  template <class F> decltype(auto) counts(F &&f) const {
    return wide_ ? f(wide_count_) : f(count_);
  }

  Params p_;
  uint64_t top_;                 // C(n,k) - 1
  std::vector<uint64_t> binom_;  // C(m,j) for m <= n, j <= k
  std::vector<Cover> covers_;
  std::vector<bool> active_;
  bool wide_ = false;           // the counts are in wide_count_
  std::vector<uint8_t> count_;  // the counts while all stay below 255
  std::vector<WideCount> wide_count_;
};

}  // namespace wheel
