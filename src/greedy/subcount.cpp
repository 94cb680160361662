// Subset counts behind the greedy search: the counters f_j, their updates as
// k-sets become covered, and the scan for the best x-set (whose kernel is in
// subscan.cpp).
#include "greedy/subcount.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include <sys/mman.h>

#include "greedy/k.h"  // binom64
#include "greedy/subscan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// Counters are as narrow as the largest count of their level: one bit
// where it is 1 (the top level when k <= x: is this k-set uncovered?), else
// 8, 16 or 32 bits. Narrow counters keep the scan's reads in cache.
static int counter_bits(int64_t max) {
  return max <= 1 ? 1 : max <= 0xFF ? 8 : max <= 0xFFFF ? 16 : 32;
}

// Counters of a level of `size`, with the slack a run reads past the end
// (and for bits, the bytes of the word a kernel loads at the last one).
static size_t level_cells(int64_t size, int bits) {
  return bits == 1 ? (size_t)(size + subcount_lanes + 7) / 8 + 8 : (size_t)(size + subcount_lanes);
}

// Subsets of an m-set with lo..hi numbers.
static double subsets_between(int m, int lo, int hi) {
  double all = 0, c = 1;
  for (int j = 1; j <= hi; j++) {
    c = c * (m - j + 1) / j;
    if (j >= lo) all += c;
  }
  return all;
}

bool subcount_takes(int n, int k, int x, int t) {
  if (t < 1 || t > k || x > subcount_max_x || n > subcount_max_n) return false;
  int hi = std::min(k, x);
  return subsets_between(x, t, hi) <= 65536 && subsets_between(k, 1, hi) <= 65536;
}

double subcount_bytes(int n, int k, int x, int t) {
  double bytes = 0;
  for (int j = t; j <= std::min(k, x); j++) {
    if (binom64(n, j) < 0) return 1e300;  // beyond 2^62 counters
    int bits = counter_bits(binom64(n - j, k - j));
    bytes += (double)level_cells(binom64(n, j), bits) * std::max(bits, 8) / 8;
  }
  if (x >= 2) bytes += 4.0 * binom64(n - 1, x - 1) + (12.0 + x) * binom64(n - 2, x - 2);
  // The removal's list of covered rows: at most the k-sets one cover covers.
  if (k <= x)
    for (int j = t; j <= k; j++)
      bytes += 4.0 * (double)binom64(x, j) * (double)binom64(n - x, k - j);
  return bytes;
}

// The number in environment variable `name`, or `otherwise`.
static int env_number(const char *name, int otherwise) {
  const char *v = getenv(name);
  return v && *v ? atoi(v) : otherwise;
}

void subcount_init(subcount &sc, int n, int k, int x, int t, int start) {
  assert(t >= 1 && t <= k && x <= subcount_max_x && n <= subcount_max_n);
  sc.n = n, sc.k = k, sc.x = x, sc.t = t;
  sc.jlo = t, sc.jhi = std::min(k, x);
  sc.seeds.clear();
  sc.last_runs = INT64_MAX;
  int b = sc.jhi + 1;
  sc.binom.assign((size_t)(n + 1) * b, 0);
  for (int a = 0; a <= n; a++)
    for (int j = 0; j < b; j++) sc.binom[(size_t)a * b + j] = binom64(a, j);
  sc.level.assign(sc.jhi + 1, {});
  // The j-subsets of a k-set's positions, j = 1..jhi, each made of a
  // (j-1)-subset (its parent) and one position below all of the parent's.
  sc.kids.assign(sc.jhi + 1, {});
  std::vector<int> lowest{k}, next;  // the lowest position of each subset of the level
  for (int j = 1; j <= sc.jhi; j++) {
    next.clear();
    for (int parent = 0; parent < (int)lowest.size(); parent++)
      for (int i = lowest[parent] - 1; i >= 0; i--) {
        sc.kids[j].push_back({parent, i});
        next.push_back(i);
      }
    lowest.swap(next);
  }
  for (int j = sc.jlo; j <= sc.jhi; j++) {
    sublevel &lv = sc.level[j];
    lv.coef = (int)binom64(j - 1, t - 1) * ((j - t) % 2 ? -1 : 1);
    int64_t full = binom64(n - j, k - j), size = binom64(n, j);
    lv.bits = counter_bits(full);
    lv.last = size - 1;
    // A kernel adds counters in their own width while no sum can overflow.
    if (lv.bits == 8 || lv.bits == 16)
      lv.narrow = (int)(((1 << lv.bits) - 1) / std::max<int64_t>(full, 1));
    size_t cells = level_cells(size, lv.bits);
    if (lv.bits == 1) {
      lv.u8.assign(cells, 0);
      for (int64_t p = 0; p < size; p++) lv.u8[p >> 3] |= 1 << (p & 7);
    } else if (lv.bits == 8) {
      lv.u8.assign(cells, 0), std::fill_n(lv.u8.begin(), size, (uint8_t)full);
    } else if (lv.bits == 16) {
      lv.u16.assign(cells, 0), std::fill_n(lv.u16.begin(), size, (uint16_t)full);
    } else {
      lv.u32.assign(cells, 0), std::fill_n(lv.u32.begin(), size, (uint32_t)full);
    }
  }
  sc.kernel = subkernel_base;
  for (int v = subkernels - 1; v > subkernel_base; v--)
    if (subcount_supports(v)) {
      sc.kernel = v;
      break;
    }
  if (const char *want = getenv("VORLANK_KERNEL"))
    for (int v = 0; v < subkernels; v++)
      if (subcount_kernel_name(v) == std::string(want) && subcount_supports(v)) sc.kernel = v;
  if (x < 2) return;

  // Groups: the (x-2)-sets Q of 1..n-2 in lexicographic order; group Q holds
  // a run for every a above max(Q) up to n-1, run a the rows Q, a, v for v
  // from a+1 to n.
  int q = x - 2;
  sc.groups = (int)binom64(n - 2, q);
  sc.runs = (int)binom64(n - 1, x - 1);
  sc.group_set.assign((size_t)sc.groups * q, 0);
  sc.group_row.assign(sc.groups, 0);
  sc.group_run.assign(sc.groups + 1, 0);
  sc.group_max.assign(sc.groups, start);
  sc.run_max.assign(sc.runs, start);
  std::vector<int> set(q + 1);
  for (int i = 0; i < q; i++) set[i] = i + 1;
  int row = 1, run = 0;
  for (int g = 0; g < sc.groups; g++) {
    std::copy(set.begin(), set.begin() + q, sc.group_set.begin() + (size_t)g * q);
    sc.group_row[g] = row;
    sc.group_run[g] = run;
    for (int a = (q ? set[q - 1] : 0) + 1; a <= n - 1; a++) row += n - a, run++;
    // Next (x-2)-set of 1..n-2.
    int i = q - 1;
    while (i >= 0 && set[i] == n - 2 - (q - 1 - i)) i--;
    if (i < 0) continue;
    set[i]++;
    for (int j = i + 1; j < q; j++) set[j] = set[j - 1] + 1;
  }
  sc.group_run[sc.groups] = run;

  int64_t rows = binom64(n, x);
  subcount_chunks(sc, std::max<int64_t>(4096, rows / 256));
  // Two threads pay on tables of many rows and lose on small ones, where
  // each step is short; benchmarks fix the count with VORLANK_THREADS.
  sc.threads = rows >= 200000 && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
  sc.threads = std::clamp(env_number("VORLANK_THREADS", sc.threads), 1, 64);
}

void subcount_chunks(subcount &sc, int64_t per) {
  sc.chunk_group.clear();
  for (int g = 0; g < sc.groups; g++)
    if (sc.chunk_group.empty() || sc.group_row[g] - sc.group_row[sc.chunk_group.back()] >= per)
      sc.chunk_group.push_back(g);
  sc.chunk_group.push_back(sc.groups);
}

// One less k-set holds the j-set at position p of level lv.
static inline void drop(sublevel &lv, int64_t p) {
  switch (lv.bits) {
  case 1:
    lv.u8[p >> 3] &= (uint8_t) ~(1 << (p & 7));
    break;
  case 8:
    --lv.u8[p];
    break;
  case 16:
    --lv.u16[p];
    break;
  default:
    --lv.u32[p];
  }
}

// Visits every subset of the ascending numbers set[0..m-1] with at most jhi
// numbers, largest first: visit(j, rank) with `size` numbers chosen so far.
template <class F>
static void subsets(const subcount &sc, const int *set, int m, int size, int64_t rank, F &visit) {
  visit(size, rank);
  if (size == sc.jhi) return;
  for (int i = m - 1; i >= 0; i--)
    subsets(sc, set, i, size + 1, rank + subshare(sc, set[i], size + 1), visit);
}

// Takes the k-set out of the counters of every level. A subset's rank is its
// parent's plus the share of its lowest number, one addition a subset.
static void remove_kset(subcount &sc, const unsigned char *kset) {
  static thread_local std::vector<int64_t> ranks[subcount_max_x + 1];
  assert(sc.jhi <= subcount_max_x);
  ranks[0].assign(1, 0);
  for (int j = 1; j <= sc.jhi; j++) {
    const std::vector<subkid> &kids = sc.kids[j];
    std::vector<int64_t> &r = ranks[j];
    r.resize(kids.size());
    for (size_t c = 0; c < kids.size(); c++)
      r[c] = ranks[j - 1][kids[c].parent] + subshare(sc, kset[kids[c].low], j);
    if (j < sc.jlo) continue;
    sublevel &lv = sc.level[j];
    for (int64_t rank : r) drop(lv, lv.last - rank);
  }
}

void subcount_remove(subcount &sc, const unsigned char *kset) { remove_kset(sc, kset); }

// m fewer k-sets hold the j-set at position p of level lv (not a bit level).
template <class T> static inline void lower(T *f, int64_t p, int m) { f[p] = (T)(f[p] - m); }

// The set bits of bits[from..to), which has a word of slack past `to`: the
// words between the first and the last whole, 64 bits at a time.
static inline __attribute__((always_inline)) int64_t count_set_bits(const uint8_t *bits,
                                                                    int64_t from, int64_t to) {
  if (from >= to) return 0;
  auto word = [&](int64_t i) {
    uint64_t v;
    memcpy(&v, bits + 8 * i, sizeof v);
    return v;
  };
  int64_t a = from >> 6, b = to >> 6;
  uint64_t head = word(a) >> (from & 63);
  if (a == b) return __builtin_popcountll(head & (((uint64_t)1 << (to - from)) - 1));
  int64_t n = __builtin_popcountll(head);
  for (int64_t i = a + 1; i < b; i++) n += __builtin_popcountll(word(i));
  if (to & 63) n += __builtin_popcountll(word(b) & (((uint64_t)1 << (to & 63)) - 1));
  return n;
}

// With the processor's own popcount where it has one (chosen at run time:
// an ifunc would run before the sanitizers' runtime is up).
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) static int64_t set_bits_popcnt(const uint8_t *bits, int64_t from,
                                                                 int64_t to) {
  return count_set_bits(bits, from, to);
}
#endif

static int64_t set_bits(const uint8_t *bits, int64_t from, int64_t to) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool popcnt = __builtin_cpu_supports("popcnt");
  if (popcnt) return set_bits_popcnt(bits, from, to);
#endif
  return count_set_bits(bits, from, to);
}

namespace {

// The depth-first walk over the k-sets a cover covers, for k <= x, where the
// top level tells whether a k-set is still uncovered. Numbers are taken
// smallest first, so the last one runs through consecutive ranks and every
// k-set's bit, and every subset holding the last number, is read from
// consecutive places. For each subset S of the chosen numbers the stack of
// its level keeps rank_u(S), its rank as the low part of a set with u more
// numbers above it: a new number s above S gives rank_u(S + s) =
// rank_{u+1}(S) + C(n - s, u + 1). A subset is lowered once, by the k-sets
// that left below the node that added its largest number; a prefix no
// uncovered k-set holds (its counter 0) is not entered.
//
// A k-set's bit stands at its place in the lexicographic order of all
// k-sets, so the walk meets the k-sets that leave in table order. With a
// table of every uncovered k-set (sc.whole_table) it also tells their rows:
// one more than the uncovered k-sets before them, counted on the bits as they
// stood before this cover.
//
// walk_base holds what both forms of the walk share: the cover, the last
// numbers found below a prefix, and the rows told.
struct walk_base {
  subcount &sc;
  const int *cover;                 // the cover's x numbers, ascending
  const unsigned char *in;          // in[s]: is s in the cover
  int ge[subcount_max_n + 2];       // ge[s]: cover numbers >= s
  int left[subcount_max_n + 1];     // the last numbers of the k-sets that leave
  std::vector<int> *out = nullptr;  // where the rows go, if they are wanted
  int told = 0;                     // rows in *out
  // Where a second thread moves the rows as they are told: every hand_rows
  // rows, the count told so far (times 2) is published in *hand.
  std::atomic<int64_t> *hand = nullptr;
  int handed = 0, hand_rows = 0;
  int64_t cursor = 0, before = 0;  // bits below cursor that were set

  walk_base(subcount &c, const int *xset, const unsigned char *in_cover)
      : sc(c), cover(xset), in(in_cover) {
    ge[sc.n + 1] = 0;
    for (int s = sc.n; s >= 1; s--) ge[s] = ge[s + 1] + in[s];
  }

  // Counts the set bits from the cursor up to bit p; none of them has left yet.
  void advance(int64_t p) {
    before += set_bits(sc.level[sc.k].u8.data(), cursor, p);
    cursor = p;
  }

  // The k-sets of bits at + left[0..gone) leave: their rows, in order.
  // With all: every set bit from at + left[0] to at + end - 1 leaves, so
  // their rows follow each other.
  void tell(int64_t at, int gone, bool all, int end) {
    if (all && gone) {
      advance(at + left[0]);
      for (int i = 0; i < gone; i++) (*out)[told++] = (int)(1 + before++);
      cursor = at + end;
    } else {
      for (int i = 0; i < gone; i++) {
        advance(at + left[i]);
        (*out)[told++] = (int)(1 + before++);
        cursor++;
      }
    }
    if (hand && told - handed >= hand_rows) {
      handed = told;
      hand->store((int64_t)told << 1, std::memory_order_release);
      hand->notify_one();
    }
  }

  // The k-sets that hold the k - 1 chosen numbers, one more number s above
  // last, and enough of the cover (cx of it chosen): their last numbers go
  // to left[], their bits (at + s) are cleared and their rows told. Returns
  // how many left.
  int leave(const uint8_t *bits, int64_t at, int last, int cx) {
    int n = sc.n, gone = 0;
    if (cx >= sc.t) {
      // Every s above last will do: the uncovered ones are the set bits from
      // at + last + 1 to at + n, read 56 at a time (the level has 8 bytes of
      // slack past its last word).
      for (int64_t p = at + last + 1, end = at + n + 1; p < end; p += 56) {
        uint64_t word;
        memcpy(&word, bits + (p >> 3), sizeof word);
        word = word >> (p & 7) & (((uint64_t)1 << std::min<int64_t>(56, end - p)) - 1);
        for (; word; word &= word - 1) left[gone++] = (int)(p + __builtin_ctzll(word) - at);
      }
    } else {
      // One short of t (go leaves no prefix further off): only the cover's
      // numbers above last will do.
      for (int i = sc.x - ge[last + 1]; i < sc.x; i++) {
        int64_t p = at + cover[i];
        if (bits[p >> 3] >> (p & 7) & 1) left[gone++] = cover[i];
      }
    }
    if (out) tell(at, gone, cx >= sc.t, n + 1);
    uint8_t *clear = sc.level[sc.k].u8.data();
    for (int i = 0; i < gone; i++) {
      int64_t p = at + left[i];
      clear[p >> 3] &= (uint8_t) ~(1 << (p & 7));
    }
    return gone;
  }
};

// The walk for any k, its stacks sized at run time.
struct walk : walk_base {
  // Per level j, the prefix's j-subsets: rank_u of entry e at
  // st[j][u * cap[j] + e], u = 0..k, so that one u of every entry lies in a
  // row (the walk reads and builds them so).
  std::vector<int64_t> st[subcount_max_x + 1];
  int cap[subcount_max_x + 1];
  int top[subcount_max_x + 1];  // entries on each stack

  walk(subcount &c, const int *xset, const unsigned char *in_cover) : walk_base(c, xset, in_cover) {
    for (int j = 0; j <= sc.k; j++) {
      cap[j] = (int)sc.binom[(size_t)sc.k * (sc.jhi + 1) + j];
      st[j].assign((size_t)cap[j] * (sc.k + 1), 0), top[j] = 0;
    }
    top[0] = 1;  // the empty set, rank 0 whatever comes above
  }

  int64_t rank(int j, int e, int u) const { return st[j][(size_t)u * cap[j] + e]; }

  // The k-sets that hold the k - 1 chosen numbers (the last entry of level
  // k - 1, above `last`), one more number s above, and enough of the cover.
  int leaves(int last, int cx) {
    int n = sc.n, k = sc.k;
    const sublevel &bit = sc.level[k];
    int64_t at = bit.last - rank(k - 1, top[k - 1] - 1, 1) - n;  // the bit of s at at + s
    int gone = leave(bit.u8.data(), at, last, cx);
    for (int j = std::max(sc.jlo, 1); j < k; j++) {
      sublevel &lv = sc.level[j];
      const int64_t *ranks = &st[j - 1][cap[j - 1]];  // rank_1 of each entry
      for (int e = 0; e < top[j - 1]; e++) {
        int64_t from = lv.last - ranks[e] - n;
        if (lv.bits == 8)
          for (int i = 0; i < gone; i++) lower(lv.u8.data(), from + left[i], 1);
        else if (lv.bits == 16)
          for (int i = 0; i < gone; i++) lower(lv.u16.data(), from + left[i], 1);
        else
          for (int i = 0; i < gone; i++) lower(lv.u32.data(), from + left[i], 1);
      }
    }
    return gone;
  }

  // d < k - 1 numbers chosen, the largest `last`, cx of them in the cover.
  // Returns the k-sets that left below.
  int go(int d, int last, int cx) {
    int n = sc.n, k = sc.k, t = sc.t;
    if (d == k - 1) return leaves(last, cx);
    int gone = 0;
    for (int s = last + 1; s <= n - (k - d - 1); s++) {
      if (cx + ge[s] < t) break;  // too few cover numbers left
      int c = cx + in[s];
      if (c + std::min(ge[s + 1], k - d - 1) < t) continue;  // nor room for enough above s
      // The prefix with s: rank_0 = rank_1(prefix) + (n - s).
      int64_t r = (d ? rank(d, top[d] - 1, 1) : 0) + (n - s);
      if (d + 1 >= sc.jlo && subget(sc.level[d + 1], r) == 0) continue;
      // Subsets too small to reach level jlo with the k - d - 1 numbers
      // still to come are never counted: they are left out.
      int was[subcount_max_x + 1] = {}, low = std::max(1, sc.jlo - (k - d - 1)), more = k - d - 1;
      int64_t add[subcount_max_x + 1];
      for (int u = 0; u <= more; u++) add[u] = subshare(sc, s, u + 1);
      for (int j = d + 1; j >= low; j--) {
        was[j] = top[j];
        for (int u = 0; u <= more; u++) {
          const int64_t *from = &st[j - 1][(size_t)(u + 1) * cap[j - 1]];
          int64_t *to = &st[j][(size_t)u * cap[j] + top[j]];
          for (int e = 0; e < top[j - 1]; e++) to[e] = from[e] + add[u];
        }
        top[j] += top[j - 1];
      }
      int below = go(d + 1, s, c);
      if (below)
        for (int j = std::max(sc.jlo, low); j <= d + 1; j++) {
          sublevel &lv = sc.level[j];
          for (int e = was[j]; e < top[j]; e++) {
            int64_t p = lv.last - rank(j, e, 0);
            if (lv.bits == 8)
              lower(lv.u8.data(), p, below);
            else if (lv.bits == 16)
              lower(lv.u16.data(), p, below);
            else
              lower(lv.u32.data(), p, below);
          }
        }
      for (int j = low; j <= d + 1; j++) top[j] = was[j];
      gone += below;
    }
    return gone;
  }

  int run() { return go(0, 0, 0); }
};

constexpr int choose(int a, int b) {
  int64_t c = 1;
  for (int i = 0; i < b; i++) c = c * (a - i) / (i + 1);
  return (int)c;
}

// The same walk for a k known when compiling (2..8): the depth is a
// template argument too, so that the stacks are plain arrays, every count
// of u is fixed and the levels' counters are reached without a vector in
// between. (L(45,6,6,3): the walk took a third less.)
template <int K> struct fixed_walk : walk_base {
  static constexpr int most = choose(K, K / 2);  // entries of the fullest level
  int n, t, jlo;
  const int64_t *binom;  // C(a, m) at binom[a * (K + 1) + m] (jhi is k)
  int64_t last[K + 1];   // per level, the counter of rank r is number last - r
  int bits[K + 1];
  uint8_t *f8[K + 1];
  uint16_t *f16[K + 1];
  uint32_t *f32[K + 1];
  int64_t st[K + 1][K + 1][most];  // rank_u of entry e of level j at st[j][u][e]
  int top[K + 1];                  // entries on each stack

  fixed_walk(subcount &c, const int *xset, const unsigned char *in_cover)
      : walk_base(c, xset, in_cover), n(c.n), t(c.t), jlo(c.jlo), binom(c.binom.data()) {
    assert(c.k == K && c.jhi == K);
    for (int j = 0; j <= K; j++) {
      top[j] = 0;
      if (j < jlo) continue;
      sublevel &lv = c.level[j];
      last[j] = lv.last, bits[j] = lv.bits;
      f8[j] = lv.u8.data(), f16[j] = lv.u16.data(), f32[j] = lv.u32.data();
    }
    for (int u = 0; u <= K; u++) st[0][u][0] = 0;
    top[0] = 1;  // the empty set, rank 0 whatever comes above
  }

  // Lowers the counter at position p of level j (not the bit level) by m.
  void lower_at(int j, int64_t p, int m) {
    if (bits[j] == 8)
      lower(f8[j], p, m);
    else if (bits[j] == 16)
      lower(f16[j], p, m);
    else
      lower(f32[j], p, m);
  }

  // The gone k-sets below the k - 1 chosen numbers, their last numbers in
  // left[]: lowers the subsets that hold the last number.
  int leaves(int gone) {
    for (int j = std::max(jlo, 1); j < K; j++) {
      const int64_t *ranks = st[j - 1][1];
      int m = top[j - 1];
      int64_t base = last[j] - n;
      if (bits[j] == 8) {
        uint8_t *f = f8[j];
        for (int e = 0; e < m; e++)
          for (int i = 0; i < gone; i++) lower(f, base - ranks[e] + left[i], 1);
      } else if (bits[j] == 16) {
        uint16_t *f = f16[j];
        for (int e = 0; e < m; e++)
          for (int i = 0; i < gone; i++) lower(f, base - ranks[e] + left[i], 1);
      } else {
        uint32_t *f = f32[j];
        for (int e = 0; e < m; e++)
          for (int i = 0; i < gone; i++) lower(f, base - ranks[e] + left[i], 1);
      }
    }
    return gone;
  }

  template <int D> int go(int lastnum, int cx) {
    constexpr int more = K - D - 1;  // numbers still to come after the next
    int low = std::max(1, jlo - more), gone = 0;
    int64_t r1 = D ? st[D][1][top[D] - 1] : 0;  // rank_1 of the prefix
    for (int s = lastnum + 1; s <= n - more; s++) {
      if (cx + ge[s] < t) break;  // too few cover numbers left
      int c = cx + in[s];
      if (c + std::min(ge[s + 1], more) < t) continue;  // nor room for enough above s
      int64_t r = r1 + (n - s);
      if (D + 1 >= jlo) {
        int64_t p = last[D + 1] - r;
        int held = bits[D + 1] == 8    ? f8[D + 1][p]
                   : bits[D + 1] == 16 ? f16[D + 1][p]
                   : bits[D + 1] == 32 ? (int)f32[D + 1][p]
                                       : f8[D + 1][p >> 3] >> (p & 7) & 1;
        if (held == 0) continue;
      }
      const int64_t *add = binom + (size_t)(n - s) * (K + 1) + 1;  // C(n - s, u + 1)
      int below = 0;
      if constexpr (D == K - 2) {
        // With s, k - 1 numbers: the k-sets that leave are found before
        // the stacks are built, as most such prefixes have none.
        int64_t r1s = (D ? st[D][2][top[D] - 1] : 0) + add[1];  // rank_1 of the prefix with s
        below = leave(f8[K], last[K] - r1s - n, s, c);          // the bit of v at that + v
        if (!below) continue;
      }
      int was[K + 1];
      for (int j = D + 1; j >= low; j--) {
        int m = top[j - 1];
        was[j] = top[j];
        for (int u = 0; u <= more; u++) {
          const int64_t *from = st[j - 1][u + 1];
          int64_t *to = st[j][u] + top[j], a = add[u];
          for (int e = 0; e < m; e++) to[e] = from[e] + a;
        }
        top[j] += m;
      }
      if constexpr (D == K - 2)
        leaves(below);
      else
        below = go<D + 1>(s, c);
      if (below)
        for (int j = std::max(jlo, low); j <= D + 1; j++)
          for (int e = was[j]; e < top[j]; e++) lower_at(j, last[j] - st[j][0][e], below);
      for (int j = low; j <= D + 1; j++) top[j] = was[j];
      gone += below;
    }
    return gone;
  }

  int run() { return go<0>(0, 0); }
};

}  // namespace

// The rows 1..rows of the table that share at least t numbers with the
// cover, K numbers a row (0: k, known only at run time), with each covered
// row taken out of the counts first where remove is set (the walk cannot
// find them when k > x). Rows that stay move down in order; returns how
// many were covered.
using compact_fn = int (*)(subcount *, unsigned char *, int, int, int, const unsigned char *);
template <int K>
static int compact(subcount *remove, unsigned char *table, int k, int t, int rows,
                   const unsigned char *in_cover) {
  if constexpr (K > 0) k = K;
  size_t w = k + 1;
  int gone = 0;
  unsigned char *row = table + w;
  for (int r = 1; r <= rows; r++, row += w) {
    int shared = 0;
    for (int j = 1; j <= k; j++) shared += in_cover[row[j]];
    if (shared >= t) {
      if (remove) remove_kset(*remove, row + 1);
      row[0] = 1;
      gone++;
    } else if (gone) {
      memcpy(row - w * gone, row, w);
    }
  }
  return gone;
}

// Moves the rows that stay down over the covered ones, as compact() does row
// by row: the stretch between two covered rows moves as one block, and each
// covered row is flagged where it stood. The covered rows come in order, a
// few at a time (upto), then finish moves the stretch after the last.
struct mover {
  unsigned char *table;
  size_t w;  // bytes a row
  int rows;
  [[maybe_unused]] const unsigned char *in_cover;  // for the checks of a debug build
  [[maybe_unused]] int k, t;
  int done = 0, last = 0;  // covered rows handled, the last of them

  // Handles covered[done..upto).
  void upto(const int *covered, int upto) {
    for (; done < upto; done++) {
      int r = covered[done], i = done;
      assert(r > last && r <= rows);
#ifndef NDEBUG
      int shared = 0;
      for (int j = 1; j <= k; j++) shared += in_cover[table[w * r + j]];
      assert(shared >= t);
#endif
      if (i && r > last + 1)
        memmove(table + w * (last + 1 - i), table + w * (last + 1), w * (r - last - 1));
      table[w * r] = 1;
      last = r;
    }
  }

  void finish() {
    if (done) memmove(table + w * (last + 1 - done), table + w * (last + 1), w * (rows - last));
  }
};

// The removal for k <= x: the walk lowers the counts, and finds the covered
// rows or leaves them to the pass.
template <class Walk>
static int cover_by_walk(subcount &sc, const int *cover, const unsigned char *in_cover,
                         unsigned char *table, int rows, compact_fn pass) {
  Walk wk(sc, cover, in_cover);  // a fixed walk's stacks: 8 KB for k = 6, 45 KB for k = 8
  int gone = 0, removed = 0;
  bool beside = sc.threads > 1 && rows >= sc.beside_rows;
  if (sc.whole_table) {
    // The walk tells the covered rows and the rest move between them: a
    // small part of the time the pass takes to read every row. On large
    // tables a second thread moves them while the walk goes on, handed the
    // rows told in batches of hand_rows.
    sc.gone_rows.resize(std::max<size_t>(sc.gone_rows.size(), subcount_count(sc, cover)));
    wk.out = &sc.gone_rows;
    mover mv{table, (size_t)sc.k + 1, rows, in_cover, sc.k, sc.t};
    if (beside) {
      std::atomic<int64_t> handed{0};  // rows handed, times 2, plus 1 once the walk is done
      wk.hand = &handed, wk.hand_rows = sc.hand_rows;
      std::thread helper([&] {
        for (;;) {
          int64_t h = handed.load(std::memory_order_acquire);
          mv.upto(sc.gone_rows.data(), (int)(h >> 1));
          if (h & 1) break;
          handed.wait(h, std::memory_order_acquire);
        }
        mv.finish();
      });
      gone = removed = wk.run();
      handed.store((int64_t)wk.told << 1 | 1, std::memory_order_release);
      handed.notify_one();
      helper.join();
    } else {
      gone = removed = wk.run();
      mv.upto(sc.gone_rows.data(), gone);
      mv.finish();
    }
    assert(wk.told == removed);
  } else if (beside) {
    // The walk touches only the counters, the pass only the table: on large
    // tables they run side by side.
    std::thread helper([&] { gone = pass(nullptr, table, sc.k, sc.t, rows, in_cover); });
    removed = wk.run();
    helper.join();
  } else {
    gone = pass(nullptr, table, sc.k, sc.t, rows, in_cover);
    removed = wk.run();
  }
  assert(gone == removed);
  (void)removed;
  return gone;
}

int subcount_cover(subcount &sc, const int *cover, unsigned char *table, int w, int rows) {
  assert(w == sc.k + 1);
  (void)w;  // the row width follows from k
  unsigned char in_cover[subcount_max_n + 1] = {};
  for (int i = 0; i < sc.x; i++) {
    assert(cover[i] >= 1 && cover[i] <= sc.n);
    in_cover[cover[i]] = 1;
  }
  // A fixed k lets the compiler unroll the row, so the test runs without a
  // branch per number.
  static const compact_fn fixed[] = {compact<0>, compact<1>, compact<2>, compact<3>, compact<4>,
                                     compact<5>, compact<6>, compact<7>, compact<8>};
  compact_fn pass = sc.k <= 8 ? fixed[sc.k] : compact<0>;
  if (sc.k > sc.x) return pass(&sc, table, sc.k, sc.t, rows, in_cover);
  switch (sc.k) {
  case 2:
    return cover_by_walk<fixed_walk<2>>(sc, cover, in_cover, table, rows, pass);
  case 3:
    return cover_by_walk<fixed_walk<3>>(sc, cover, in_cover, table, rows, pass);
  case 4:
    return cover_by_walk<fixed_walk<4>>(sc, cover, in_cover, table, rows, pass);
  case 5:
    return cover_by_walk<fixed_walk<5>>(sc, cover, in_cover, table, rows, pass);
  case 6:
    return cover_by_walk<fixed_walk<6>>(sc, cover, in_cover, table, rows, pass);
  case 7:
    return cover_by_walk<fixed_walk<7>>(sc, cover, in_cover, table, rows, pass);
  case 8:
    return cover_by_walk<fixed_walk<8>>(sc, cover, in_cover, table, rows, pass);
  default:
    return cover_by_walk<walk>(sc, cover, in_cover, table, rows, pass);
  }
}

int subcount_count(const subcount &sc, const int *xset) {
  uint32_t c = 0;  // the partial sums may pass 2^31 and wrap; the count fits
  auto visit = [&](int j, int64_t rank) {
    if (j >= sc.jlo) c += (uint32_t)sc.level[j].coef * subget(sc.level[j], rank);
  };
  subsets(sc, xset, sc.x, 0, 0, visit);
  return (int)c;
}

int subcount_best(subcount &sc, int *bound, int rows, int *row, void (*advanced)(int)) {
  // Nothing with a count of 0 ever wins: that is the standing of row 0. The
  // runners-up of the last scan, counted afresh, usually stand near the top
  // of this one: starting from them, the scan passes over more runs.
  std::atomic<uint64_t> best{subscan_pack(0, 0)};
  for (const subseed &s : sc.seeds) {
    int set[subcount_max_x];
    std::copy(s.set, s.set + sc.x, set);
    bound[s.row] = subcount_count(sc, set);
    if (bound[s.row] > 0) best = std::max(best.load(), subscan_pack(bound[s.row], s.row));
  }
  if (sc.x == 1) {
    for (int r = 1; r <= rows; r++) {
      if (subscan_pack(bound[r], r) > best.load()) {
        bound[r] = subcount_count(sc, &r);
        if (subscan_pack(bound[r], r) > best.load()) best = subscan_pack(bound[r], r);
      }
    }
    advanced(rows);
  } else {
    int chunks = (int)sc.chunk_group.size() - 1;
    std::atomic<int> next{0};
    std::vector<std::atomic<char>> done(chunks);
    // Each thread's lists get room for all their ranks and a cache line to
    // spare: lists of the two threads that shared a line would make every
    // write of one a miss for the other (it made the scan twice as slow).
    int threads = sc.last_runs >= sc.spread_runs ? sc.threads : 1;
    std::vector<subscratch> ws(threads);
    for (subscratch &w : ws) {
      w.top.reserve(subscan_seeds + 8);
      for (int j = sc.jlo; j <= sc.jhi; j++) {
        w.cells_one[j] = (int)binom64(sc.x - 2, j - 1);
        w.cells[j] = w.cells_one[j] + (int)binom64(sc.x - 2, j - 2);
        w.at[j].resize(w.cells[j]);
      }
    }
    subscan_fn scan = subscan_kernels[sc.kernel];
    auto work = [&](int id) {
      subscratch &w = ws[id];
      int shown = 0;  // chunks reported so far
      for (int c; (c = next++) < chunks;) {
        scan(sc, c, bound, w, best);
        done[c] = 1;
        if (id) continue;
        while (shown < chunks && done[shown]) shown++;
        if (shown < chunks) advanced(sc.group_row[sc.chunk_group[shown]] - 1);
      }
#if defined(__x86_64__) || defined(__i386__)
      _mm_sfence();  // the bounds were streamed
#endif
    };
    std::vector<std::thread> helpers;
    // A helper that cannot start (no memory for its stack) leaves its chunks
    // to the others.
    try {
      for (int id = 1; id < threads; id++) helpers.emplace_back(work, id);
    } catch (const std::system_error &) {
    }
    work(0);
    for (std::thread &h : helpers) h.join();
    advanced(rows);
    sc.seeds.clear();
    sc.last_runs = 0;
    for (subscratch &w : ws) {
      sc.seeds.insert(sc.seeds.end(), w.top.begin(), w.top.end());
      sc.last_runs += w.runs;
    }
    std::sort(sc.seeds.begin(), sc.seeds.end(),
              [](const subseed &a, const subseed &b) { return a.standing > b.standing; });
    if (sc.seeds.size() > subscan_seeds) sc.seeds.resize(subscan_seeds);
  }
  uint64_t b = best.load();
  *row = (int)~(uint32_t)b;
  return (int)(b >> 32);
}

void subcount_advise(void *p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t page = 2 << 20;
  uintptr_t from = ((uintptr_t)p + page - 1) & ~(page - 1),
            to = ((uintptr_t)p + bytes) & ~(page - 1);
  if (to > from) madvise((void *)from, to - from, MADV_HUGEPAGE);
#else
  (void)p, (void)bytes;
#endif
}
