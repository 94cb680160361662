// Subset counts behind the greedy search: the counters f_j, their updates as
// k-sets become covered, and the scan for the best x-set.
#include "subcount.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <type_traits>

#include "k.h"  // binom64

static const int lanes = 8;  // x-sets of a run counted together

// A candidate's standing: higher count first, then lower row.
static uint64_t pack(int count, int row) { return (uint64_t)count << 32 | (uint32_t)~row; }

// Counters are as narrow as the largest count of their level: one bit
// where it is 1 (the top level when k <= x: is this k-set uncovered?), else
// 8, 16 or 32 bits. Narrow counters keep the scan's reads in cache.
static int counter_bits(int64_t max) {
  return max <= 1 ? 1 : max <= 0xFF ? 8 : max <= 0xFFFF ? 16 : 32;
}

// Bytes of a level of `size` counters, with the slack a run reads past the end.
static size_t level_bytes(int64_t size, int bits) {
  return (size_t)((size + lanes) * bits + 7) / 8 + 8;
}

// Calls f with the level's counters, as a typed pointer (nullptr for bits).
template <class F> static void with_type(const sublevel &lv, F f) {
  if (lv.bits == 8)
    f((const uint8_t *)lv.store.data());
  else if (lv.bits == 16)
    f((const uint16_t *)lv.store.data());
  else if (lv.bits == 32)
    f((const uint32_t *)lv.store.data());
  else
    f((const bool *)nullptr);
}

// Rank r is kept at position last - r: the x-sets of a run read descending
// ranks, so they read ascending memory.
static inline int get(const sublevel &lv, int64_t r) {
  int64_t p = lv.last - r;
  const unsigned char *f = lv.store.data();
  switch (lv.bits) {
  case 1:
    return f[p >> 3] >> (p & 7) & 1;
  case 8:
    return f[p];
  case 16:
    return ((const uint16_t *)f)[p];
  default:
    return (int)((const uint32_t *)f)[p];
  }
}

double subcount_bytes(int n, int k, int x, int t) {
  double bytes = 0;
  for (int j = t; j <= std::min(k, x); j++) {
    if (binom64(n, j) < 0) return 1e300;  // beyond 2^62 counters
    bytes += (double)level_bytes(binom64(n, j), counter_bits(binom64(n - j, k - j)));
  }
  if (x >= 2) bytes += 4.0 * binom64(n - 1, x - 1) + (12.0 + x) * binom64(n - 2, x - 2);
  return bytes;
}

void subcount_init(subcount &sc, int n, int k, int x, int t, int start) {
  sc.n = n, sc.k = k, sc.x = x, sc.t = t;
  sc.jlo = t, sc.jhi = std::min(k, x);
  sc.seeds.clear();
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
    lv.store.assign(level_bytes(size, lv.bits), 0);
    if (lv.bits == 1)
      for (int64_t p = 0; p < size; p++) lv.store[p >> 3] |= 1 << (p & 7);
    with_type(lv, [&](auto *f) {
      using T = std::remove_const_t<std::remove_pointer_t<decltype(f)>>;
      if constexpr (!std::is_same_v<T, bool>) std::fill((T *)f, (T *)f + size, (T)full);
    });
  }
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
  sc.threads = rows >= 200000 && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

void subcount_chunks(subcount &sc, int64_t per) {
  sc.chunk_group.clear();
  for (int g = 0; g < sc.groups; g++)
    if (sc.chunk_group.empty() || sc.group_row[g] - sc.group_row[sc.chunk_group.back()] >= per)
      sc.chunk_group.push_back(g);
  sc.chunk_group.push_back(sc.groups);
}

// C(n - s, m): the share in a rank of number s as the m-th largest.
static int64_t share(const subcount &sc, int s, int m) {
  return sc.binom[(size_t)(sc.n - s) * (sc.jhi + 1) + m];
}

// Visits every subset of the ascending numbers set[0..m-1] with at most jhi
// numbers, largest first: visit(j, rank) with `size` numbers chosen so far.
template <class F>
static void subsets(const subcount &sc, const int *set, int m, int size, int64_t rank, F &visit) {
  visit(size, rank);
  if (size == sc.jhi) return;
  for (int i = m - 1; i >= 0; i--)
    subsets(sc, set, i, size + 1, rank + share(sc, set[i], size + 1), visit);
}

// Takes the k-set out of the counters of levels lo..hi. A subset's rank is
// its parent's plus the share of its lowest number, one addition a subset.
static void remove_levels(subcount &sc, const unsigned char *kset, int lo, int hi) {
  // A cache line to spare after each list, as the two threads' lists must
  // not share one (see subcount_best).
  static thread_local std::vector<int64_t> ranks[101];
  ranks[0].assign(1, 0);
  for (int j = 1; j <= hi; j++) {
    const std::vector<subkid> &kids = sc.kids[j];
    std::vector<int64_t> &r = ranks[j];
    r.reserve(kids.size() + 8);
    r.resize(kids.size());
    for (size_t c = 0; c < kids.size(); c++)
      r[c] = ranks[j - 1][kids[c].parent] + share(sc, kset[kids[c].low], j);
    if (j < lo) continue;
    sublevel &lv = sc.level[j];
    with_type(lv, [&](auto *f) {
      using T = std::remove_const_t<std::remove_pointer_t<decltype(f)>>;
      for (int64_t rank : r) {
        int64_t p = lv.last - rank;
        if constexpr (std::is_same_v<T, bool>)
          lv.store[p >> 3] &= ~(1 << (p & 7));
        else
          --((T *)f)[p];
      }
    });
  }
}

void subcount_remove(subcount &sc, const unsigned char *kset) {
  remove_levels(sc, kset, sc.jlo, sc.jhi);
}

// The rows from..to of the table that share at least t numbers with the
// cover, K numbers a row (0: k, known only at run time).
template <int K>
static void covered_rows(const unsigned char *table, int k, int t, int from, int to,
                         const unsigned char *in_cover, std::vector<int> &out) {
  if constexpr (K > 0) k = K;
  size_t w = k + 1;
  const unsigned char *row = table + w * from;
  for (int r = from; r <= to; r++, row += w) {
    int shared = 0;
    for (int j = 1; j <= k; j++) shared += in_cover[row[j]];
    if (shared >= t) out.push_back(r);
  }
}

void subcount_covered(const subcount &sc, const unsigned char *table, int w, int rows,
                      const unsigned char *in_cover, std::vector<int> &covered) {
  // A fixed k lets the compiler unroll the row, so the test runs without a
  // branch per number.
  static void (*const fixed[])(const unsigned char *, int, int, int, int, const unsigned char *,
                               std::vector<int> &) = {
      covered_rows<0>, covered_rows<1>, covered_rows<2>, covered_rows<3>, covered_rows<4>,
      covered_rows<5>, covered_rows<6>, covered_rows<7>, covered_rows<8>};
  auto test = w - 1 <= 8 ? fixed[w - 1] : covered_rows<0>;
  covered.clear();
  if (sc.threads < 2 || rows < 65536) return test(table, sc.k, sc.t, 1, rows, in_cover, covered);
  std::vector<int> upper;
  std::thread helper(test, table, sc.k, sc.t, rows / 2 + 1, rows, in_cover, std::ref(upper));
  test(table, sc.k, sc.t, 1, rows / 2, in_cover, covered);
  helper.join();
  covered.insert(covered.end(), upper.begin(), upper.end());
}

void subcount_remove_rows(subcount &sc, const unsigned char *table, int w,
                          const std::vector<int> &rows) {
  auto remove = [&](int lo, int hi) {
    for (int r : rows) remove_levels(sc, table + (size_t)w * r + 1, lo, hi);
  };
  // Two threads take the levels apart, split where the decrements balance;
  // the levels are separate arrays, so they never touch the same counter.
  double all = 0, low = 0;
  for (int j = sc.jlo; j <= sc.jhi; j++) all += sc.kids[j].size();
  int split = sc.jlo;
  while (split < sc.jhi && low + sc.kids[split].size() <= all / 2) low += sc.kids[split++].size();
  if (sc.threads < 2 || split == sc.jlo || rows.size() < 4096) return remove(sc.jlo, sc.jhi);
  std::thread helper(remove, split, sc.jhi);
  remove(sc.jlo, split - 1);
  helper.join();
}

int subcount_count(const subcount &sc, const int *xset) {
  uint32_t c = 0;  // the partial sums may pass 2^31 and wrap; the count fits
  auto visit = [&](int j, int64_t rank) {
    if (j >= sc.jlo) c += (uint32_t)sc.level[j].coef * get(sc.level[j], rank);
  };
  subsets(sc, xset, sc.x, 0, 0, visit);
  return (int)c;
}

namespace {

// What one scan thread keeps of the group Q it evaluates: for every level j,
// the ranks of the subsets S of Q as the low part of S + {v} (one[j]) and of
// S + {a, v} (two[j]), and the sum for the subsets of Q alone.
struct alignas(64) scratch {
  uint32_t q_only;  // sums wrap: only the final count need fit an int
  std::vector<int64_t> one[100], two[100];
  std::vector<subseed> top;  // the best runs this thread evaluated, best first
};

}  // namespace

// Adds the subset S of Q that holds `size` numbers, with its ranks as a set
// of its own (r0), below one more number (r1) and below two (r2), then goes
// on to the subsets that add a number of set[0..m-1] below them.
static void group_subsets(const subcount &sc, const int *set, int m, int size, int64_t r0,
                          int64_t r1, int64_t r2, scratch &w) {
  if (size >= sc.jlo) w.q_only += (uint32_t)sc.level[size].coef * get(sc.level[size], r0);
  if (size + 1 >= sc.jlo && size + 1 <= sc.jhi) w.one[size + 1].push_back(r1);
  if (size + 2 >= sc.jlo && size + 2 <= sc.jhi) w.two[size + 2].push_back(r2);
  if (size == sc.jhi) return;
  int s = size + 1;
  for (int i = m - 1; i >= 0; i--)
    group_subsets(sc, set, i, s, r0 + share(sc, set[i], s),
                  s + 1 <= sc.jhi ? r1 + share(sc, set[i], s + 1) : 0,
                  s + 2 <= sc.jhi ? r2 + share(sc, set[i], s + 2) : 0, w);
}

// The subsets of group g's Q. With u above it, S ranks rank(S below one) +
// (n - u); with a and v above it, rank(S below two) + C(n - a, 2) + (n - v).
static void build_group(const subcount &sc, int g, scratch &w) {
  int q = sc.x - 2, set[100];
  for (int i = 0; i < q; i++) set[i] = sc.group_set[(size_t)g * q + i];
  w.q_only = 0;
  for (int j = sc.jlo; j <= sc.jhi; j++) w.one[j].clear(), w.two[j].clear();
  group_subsets(sc, set, q, 0, 0, 0, 0, w);
}

// acc[i] += coef * (sum over the ranks r of the counter of r + shift - i),
// i < lanes. Each rank's lanes are copied out first: that lets the compiler
// add them as vectors for every counter width.
template <class T>
static inline void add_lanes(uint32_t *acc, const sublevel &lv, const T *f,
                             const std::vector<int64_t> &ranks, int64_t shift) {
  uint32_t sum[lanes] = {};
  for (int64_t r : ranks) {
    int64_t p = lv.last - (r + shift);
    if constexpr (std::is_same_v<T, bool>) {
      uint64_t word;
      memcpy(&word, &lv.store[p >> 3], sizeof word);
      word >>= p & 7;
      for (int i = 0; i < lanes; i++) sum[i] += word >> i & 1;
    } else {
      T v[lanes];
      memcpy(v, f + p, sizeof v);
      for (int i = 0; i < lanes; i++) sum[i] += v[i];
    }
  }
  for (int i = 0; i < lanes; i++) acc[i] += (uint32_t)lv.coef * sum[i];
}

// The counts of the run Q, a, v (v = a+1..n) into acc[0..n-a-1]: subsets of
// Q alone, with a, with v, and with both.
static void count_run(const subcount &sc, const scratch &w, int a, uint32_t *acc) {
  int n = sc.n, rows = n - a;
  uint32_t with_a = w.q_only;
  for (int j = sc.jlo; j <= sc.jhi; j++)
    for (int64_t r : w.one[j]) with_a += (uint32_t)sc.level[j].coef * get(sc.level[j], r + n - a);
  int64_t first_v = n - (a + 1), pair = (int64_t)(n - a) * (n - a - 1) / 2;  // C(n - a, 2)
  for (int from = 0; from < rows; from += lanes) {
    uint32_t *out = acc + from;
    for (int i = 0; i < lanes; i++) out[i] = with_a;
    for (int j = sc.jlo; j <= sc.jhi; j++) {
      const sublevel &lv = sc.level[j];
      with_type(lv, [&](auto *f) {
        add_lanes(out, lv, f, w.one[j], first_v - from);
        add_lanes(out, lv, f, w.two[j], pair + first_v - from);
      });
    }
  }
}

static const size_t seeds = 8;  // runners-up kept for the next scan

static bool better(const subseed &a, const subseed &b) { return a.standing > b.standing; }

// Built for AVX2 and for the baseline; the loader picks what the processor has.
__attribute__((target_clones("avx2", "default"))) static void
scan_chunk(subcount &sc, int c, int *bound, scratch &w, std::atomic<uint64_t> &best) {
  int n = sc.n, q = sc.x - 2;
  uint32_t acc[256 + lanes];
  for (int g = sc.chunk_group[c]; g < sc.chunk_group[c + 1]; g++) {
    int row = sc.group_row[g];
    if (pack(sc.group_max[g], row) <= best.load(std::memory_order_relaxed)) continue;
    bool built = false;
    int low = q ? sc.group_set[(size_t)g * q + q - 1] : 0, gmax = 0;
    for (int ri = sc.group_run[g], a = low + 1; ri < sc.group_run[g + 1]; ri++, a++) {
      int rows = n - a;
      if (pack(sc.run_max[ri], row) > best.load(std::memory_order_relaxed)) {
        if (!built) build_group(sc, g, w), built = true;
        count_run(sc, w, a, acc);
        int m = 0, at = 0;
        for (int i = 0; i < rows; i++) {
          bound[row + i] = (int)acc[i];
          if ((int)acc[i] > m) m = (int)acc[i], at = i;
        }
        sc.run_max[ri] = m;
        uint64_t mine = pack(m, row + at), seen = best.load(std::memory_order_relaxed);
        if (m > 0 && (w.top.size() < seeds || mine > w.top.back().standing)) {
          subseed s{mine, row + at, {}};
          const unsigned char *qs = sc.group_set.data() + (size_t)g * q;
          std::copy(qs, qs + q, s.set);
          s.set[q] = (unsigned char)a, s.set[q + 1] = (unsigned char)(a + 1 + at);
          w.top.insert(std::upper_bound(w.top.begin(), w.top.end(), s, better), s);
          if (w.top.size() > seeds) w.top.pop_back();
        }
        while (m > 0 && mine > seen && !best.compare_exchange_weak(seen, mine)) {
        }
      }
      gmax = std::max(gmax, sc.run_max[ri]);
      row += rows;
    }
    sc.group_max[g] = gmax;
  }
}

int subcount_best(subcount &sc, int *bound, int rows, int *row, void (*advanced)(int)) {
  // Nothing with a count of 0 ever wins: that is the standing of row 0. The
  // runners-up of the last scan, counted afresh, usually stand near the top
  // of this one: starting from them, the scan passes over more runs.
  std::atomic<uint64_t> best{pack(0, 0)};
  for (const subseed &s : sc.seeds) {
    int set[100];
    std::copy(s.set, s.set + sc.x, set);
    bound[s.row] = subcount_count(sc, set);
    if (bound[s.row] > 0) best = std::max(best.load(), pack(bound[s.row], s.row));
  }
  if (sc.x == 1) {
    for (int r = 1; r <= rows; r++) {
      if (pack(bound[r], r) > best.load()) {
        bound[r] = subcount_count(sc, &r);
        if (pack(bound[r], r) > best.load()) best = pack(bound[r], r);
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
    std::vector<scratch> ws(2);
    for (scratch &w : ws) {
      w.top.reserve(seeds + 8);
      for (int j = sc.jlo; j <= sc.jhi; j++) {
        w.one[j].reserve(binom64(sc.x - 2, j - 1) + 8);
        w.two[j].reserve(binom64(sc.x - 2, j - 2) + 8);
      }
    }
    auto work = [&](bool report) {
      scratch &w = ws[!report];
      int shown = 0;  // chunks reported so far
      for (int c; (c = next++) < chunks;) {
        scan_chunk(sc, c, bound, w, best);
        done[c] = 1;
        if (!report) continue;
        while (shown < chunks && done[shown]) shown++;
        if (shown < chunks) advanced(sc.group_row[sc.chunk_group[shown]] - 1);
      }
    };
    if (sc.threads > 1) {
      std::thread helper(work, false);
      work(true);
      helper.join();
    } else {
      work(true);
    }
    advanced(rows);
    sc.seeds = ws[0].top;
    sc.seeds.insert(sc.seeds.end(), ws[1].top.begin(), ws[1].top.end());
    std::sort(sc.seeds.begin(), sc.seeds.end(), better);
    if (sc.seeds.size() > seeds) sc.seeds.resize(seeds);
  }
  uint64_t b = best.load();
  *row = (int)~(uint32_t)b;
  return (int)(b >> 32);
}
