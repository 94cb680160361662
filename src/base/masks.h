// Sets of a pool of numbers as bit masks, for vorlank-design: the colex rank
// of a set, its inverse, subsets of a mask and a seeded random generator.
// Number a of the pool 1..n is bit a - 1. Plain functions over plain data;
// the binomial table is a constant built once.
//
// vorlank-design is compiled twice over the same sources: with 64-bit sets,
// and with VORLANK_WIDE_SETS defined, with 256-bit sets for pools of up to
// 255 numbers. Each build's names live in their own inline namespace (design::
// narrow, design::wide), and a run picks one by its pool once (design.cpp),
// so that pools of up to 64 numbers keep the speed of one machine word.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#ifdef VORLANK_WIDE_SETS
#define VORLANK_SETS wide
#else
#define VORLANK_SETS narrow
#endif

namespace design {
// L(n,k,x,t) on the pool bits 0..n-1.
struct Shape {
  int n, k, x, t;
};
// The largest pool of either build: the wide one's 256-bit sets, less one
// bit, as vorlank-check takes.
constexpr int kLargestPool = 255;
}  // namespace design

namespace design::inline VORLANK_SETS {

// Bits in a word. Inline bit arithmetic: the shipped build runs on any
// x86-64, where std::popcount without the POPCNT instruction is a library
// call, and the local search counts on every cover at every move.
inline int word_count(uint64_t s) {
  s = s - ((s >> 1) & 0x5555555555555555);
  s = (s & 0x3333333333333333) + ((s >> 2) & 0x3333333333333333);
  s = (s + (s >> 4)) & 0x0f0f0f0f0f0f0f0f;
  return (int)((s * 0x0101010101010101) >> 56);
}

#ifdef VORLANK_WIDE_SETS
// 256 bits: word i holds bits 64 i .. 64 i + 63. Ordered as the numbers they
// would be, so that masks of one size sort in colex order.
struct Set {
  uint64_t w[4] = {};
  Set() = default;
  Set(uint64_t low) : w{low, 0, 0, 0} {}  // 0 and the small masks of tests
  explicit operator bool() const { return w[0] | w[1] | w[2] | w[3]; }
  friend bool operator==(const Set &a, const Set &b) = default;
  friend bool operator<(const Set &a, const Set &b) {
    for (int i = 3; i >= 0; i--)
      if (a.w[i] != b.w[i]) return a.w[i] < b.w[i];
    return false;
  }
  friend Set operator&(Set a, const Set &b) { return a &= b; }
  friend Set operator|(Set a, const Set &b) { return a |= b; }
  friend Set operator^(Set a, const Set &b) { return a ^= b; }
  friend Set operator~(Set a) {
    for (uint64_t &x : a.w) x = ~x;
    return a;
  }
  Set &operator&=(const Set &b) {
    for (int i = 0; i < 4; i++) w[i] &= b.w[i];
    return *this;
  }
  Set &operator|=(const Set &b) {
    for (int i = 0; i < 4; i++) w[i] |= b.w[i];
    return *this;
  }
  Set &operator^=(const Set &b) {
    for (int i = 0; i < 4; i++) w[i] ^= b.w[i];
    return *this;
  }
  friend Set operator<<(const Set &a, int by) {  // 0 <= by < 256
    Set r;
    int words = by / 64, bits = by % 64;
    for (int i = 3; i >= words; i--) {
      r.w[i] = a.w[i - words] << bits;
      if (bits && i - words > 0) r.w[i] |= a.w[i - words - 1] >> (64 - bits);
    }
    return r;
  }
};
constexpr int kMaxPool = kLargestPool;  // one bit each in a Set
// How much longer the work on sets takes than with 64-bit sets, for the
// estimates of time: measured 2 to 3 times for the local search's setup and
// 2.1 to 2.6 times for its moves (L(44,5,5,2), L(30,5,6,3)).
constexpr double kSetCost = 3;

inline Set bit(int i) {
  Set s;
  s.w[i / 64] = (uint64_t)1 << (i % 64);
  return s;
}
inline int count(const Set &s) {
  return word_count(s.w[0]) + word_count(s.w[1]) + word_count(s.w[2]) + word_count(s.w[3]);
}
inline Set low_bits(int m) {
  Set s;
  for (int i = 0; i < 4; i++, m -= 64)
    s.w[i] = m >= 64 ? ~(uint64_t)0 : m <= 0 ? 0 : ((uint64_t)1 << m) - 1;
  return s;
}
// The lowest bit of a set and the highest; 256 and -1 for the empty set, as
// 64 and -1 for a machine word.
inline int first(const Set &s) {
  for (int i = 0; i < 4; i++)
    if (s.w[i]) return 64 * i + std::countr_zero(s.w[i]);
  return 256;
}
inline int last(const Set &s) {
  for (int i = 3; i >= 0; i--)
    if (s.w[i]) return 64 * i + 63 - std::countl_zero(s.w[i]);
  return -1;
}
// The set without its lowest bit (the empty set stays empty).
inline Set drop_first(Set s) {
  for (int i = 0; i < 4; i++)
    if (s.w[i]) {
      s.w[i] &= s.w[i] - 1;
      break;
    }
  return s;
}
#else
using Set = uint64_t;
constexpr int kMaxPool = 64;  // numbers of a pool: one bit each in a Set
constexpr double kSetCost = 1;  // the estimates of time are measured on these

inline Set bit(int i) { return (Set)1 << i; }

inline int count(Set s) { return word_count(s); }
inline Set low_bits(int m) { return m >= 64 ? ~(Set)0 : bit(m) - 1; }
inline int first(Set s) { return std::countr_zero(s); }
inline int last(Set s) { return 63 - std::countl_zero(s); }
inline Set drop_first(Set s) { return s & (s - 1); }
#endif

// C(m,j) for 0 <= m, j <= kMaxPool + 1, at c[j][m]; saturates at 2^63.
struct Binom {
  static constexpr int kTop = kMaxPool + 1;
  uint64_t c[kTop + 1][kTop + 1];
  Binom() {
    for (int j = 0; j <= kTop; j++)
      for (int m = 0; m <= kTop; m++) {
        uint64_t a = j == 0 ? 1 : m == 0 ? 0 : c[j - 1][m - 1], v = a + (j && m ? c[j][m - 1] : 0);
        c[j][m] = v < a || v > ((uint64_t)1 << 63) ? (uint64_t)1 << 63 : v;  // 2^63 + 2^63 wraps
      }
  }
  uint64_t operator()(int m, int j) const { return j < 0 || j > kTop || m < 0 ? 0 : c[j][m]; }
};

inline const Binom &binom() {
  static const Binom table;
  return table;
}

// Colex rank: the sum of C(p, i) over the set's i-th smallest bit p (i from
// 1). All sets of one size below C(m, size) are ranked before the set {m}.
// Numeric order of masks of one size is colex order, so ranks follow it.
inline uint64_t rank(Set s) {
  const Binom &b = binom();
  uint64_t r = 0;
  for (int i = 1; s; s = drop_first(s), i++) r += b.c[i][first(s)];
  return r;
}

inline Set unrank(uint64_t r, int size) {
  const Binom &b = binom();
  Set s = 0;
  int p = kMaxPool - 1;  // the highest bit a pool's set holds
  for (int i = size; i >= 1; i--) {
    while (b.c[i][p] > r) p--;
    r -= b.c[i][p];
    s |= bit(p);
    p--;
  }
  return s;
}

// The next mask of the same size in numeric (colex) order: the lowest run
// of ones moves its top bit up by one and the rest to the bottom.
#ifdef VORLANK_WIDE_SETS
inline Set next_set(Set v) {
  int low = first(v), top = first(~v & ~low_bits(low));  // the run is bits low..top-1
  return (v & ~low_bits(top)) | bit(top) | low_bits(top - low - 1);
}
#else
inline Set next_set(Set v) {
  Set c = v & -v, r = v + c;
  return r | (((r ^ v) >> 2) >> std::countr_zero(c));
}
#endif

// Appends every j-subset of the bits of from to out, each or-ed with base.
inline void subsets(Set from, int j, Set base, std::vector<Set> &out) {
  if (j == 0) {
    out.push_back(base);
    return;
  }
  // Highest element first: each choice leaves the bits below it.
  for (Set rest = from; count(rest) >= j;) {
    int top = last(rest);
    rest &= ~bit(top);
    subsets(rest, j - 1, base | bit(top), out);
  }
}

// Calls f(rank) for every k-set sharing at least t numbers with the x-set c:
// i >= t numbers of c and k - i of the rest of the pool.
template <class F> void for_covered(const Shape &s, Set c, F f) {
  std::vector<Set> in, out;
  for (int i = std::max(s.t, s.k - (s.n - s.x)); i <= std::min(s.k, s.x); i++) {
    in.clear(), out.clear();
    subsets(c, i, 0, in);
    subsets(low_bits(s.n) & ~c, s.k - i, 0, out);
    for (Set a : in)
      for (Set b : out) f(rank(a | b));
  }
}

// The numbers 1..n of a set, ascending.
inline std::vector<int> numbers(Set s) {
  std::vector<int> v;
  for (; s; s = drop_first(s)) v.push_back(first(s) + 1);
  return v;
}

// xoshiro256**: the same numbers for a seed on every machine.
struct Rng {
  uint64_t s[4];
  explicit Rng(uint64_t seed) {
    for (auto &w : s) {  // splitmix64 spreads the seed over the state
      seed += 0x9e3779b97f4a7c15;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
      z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
      w = z ^ (z >> 31);
    }
  }
  uint64_t next() {
    uint64_t r = std::rotl(s[1] * 5, 7) * 9, t = s[1] << 17;
    s[2] ^= s[0], s[3] ^= s[1], s[1] ^= s[2], s[0] ^= s[3], s[2] ^= t, s[3] = std::rotl(s[3], 45);
    return r;
  }
  // Uniform in 0..m-1 (m >= 1).
  uint64_t below(uint64_t m) { return (uint64_t)(((unsigned __int128)next() * m) >> 64); }
  double unit() { return (double)(next() >> 11) * 0x1.0p-53; }
  // A uniformly chosen bit of a non-empty mask.
  int pick(Set from) {
    for (uint64_t i = below(count(from)); i; i--) from = drop_first(from);
    return first(from);
  }
};

}  // namespace design::inline VORLANK_SETS
