// Sets of a pool of at most 64 numbers as bit masks, for vorlank-design: the
// colex rank of a set, its inverse, subsets of a mask and a seeded random
// generator. Number a of the pool 1..n is bit a - 1. Plain functions over
// plain data; the binomial table is a constant built once.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace design {

using Set = uint64_t;
constexpr int kMaxPool = 64;  // numbers of a pool: one bit each in a Set

inline Set bit(int i) { return (Set)1 << i; }

// Numbers in a set. Inline bit arithmetic: the shipped build runs on any
// x86-64, where std::popcount without the POPCNT instruction is a library
// call, and the local search counts on every cover at every move.
inline int count(Set s) {
  s = s - ((s >> 1) & 0x5555555555555555);
  s = (s & 0x3333333333333333) + ((s >> 2) & 0x3333333333333333);
  s = (s + (s >> 4)) & 0x0f0f0f0f0f0f0f0f;
  return (int)((s * 0x0101010101010101) >> 56);
}
inline Set low_bits(int m) { return m >= 64 ? ~(Set)0 : bit(m) - 1; }

// C(m,j) for 0 <= m, j <= 64, at c[j][m]; saturates at 2^63.
struct Binom {
  uint64_t c[65][65];
  Binom() {
    for (int j = 0; j <= 64; j++)
      for (int m = 0; m <= 64; m++) {
        uint64_t v = j == 0 ? 1 : m == 0 ? 0 : c[j - 1][m - 1] + c[j][m - 1];
        c[j][m] = v > ((uint64_t)1 << 63) ? (uint64_t)1 << 63 : v;
      }
  }
  uint64_t operator()(int m, int j) const { return j < 0 || j > 64 || m < 0 ? 0 : c[j][m]; }
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
  for (int i = 1; s; s &= s - 1, i++) r += b.c[i][std::countr_zero(s)];
  return r;
}

inline Set unrank(uint64_t r, int size) {
  const Binom &b = binom();
  Set s = 0;
  int p = 63;
  for (int i = size; i >= 1; i--) {
    while (b.c[i][p] > r) p--;
    r -= b.c[i][p];
    s |= bit(p);
    p--;
  }
  return s;
}

// The next mask of the same size in numeric (colex) order.
inline Set next_set(Set v) {
  Set c = v & -v, r = v + c;
  return r | (((r ^ v) >> 2) >> std::countr_zero(c));
}

// Appends every j-subset of the bits of from to out, each or-ed with base.
inline void subsets(Set from, int j, Set base, std::vector<Set> &out) {
  if (j == 0) {
    out.push_back(base);
    return;
  }
  // Highest element first: each choice leaves the bits below it.
  for (Set rest = from; count(rest) >= j;) {
    int top = 63 - std::countl_zero(rest);
    rest &= ~bit(top);
    subsets(rest, j - 1, base | bit(top), out);
  }
}

// L(n,k,x,t) on the pool bits 0..n-1.
struct Shape {
  int n, k, x, t;
};

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
  for (; s; s &= s - 1) v.push_back(std::countr_zero(s) + 1);
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
    for (uint64_t i = below(count(from)); i; i--) from &= from - 1;
    return std::countr_zero(from);
  }
};

}  // namespace design
