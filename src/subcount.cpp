// Subset counts behind the greedy search: the counters f_j, their updates as
// k-sets become covered, and the scan for the best x-set.
#include "subcount.h"

#include <algorithm>
#include <atomic>
#include <thread>

static const int lanes = 8;  // x-sets of a run counted together

// A candidate's standing: higher count first, then lower row.
static uint64_t pack(int count, int row) { return (uint64_t)count << 32 | (uint32_t)~row; }

static int64_t choose(int64_t a, int64_t b) {
  if (b < 0 || b > a) return 0;
  int64_t r = 1;
  for (int64_t i = 1; i <= b; i++) r = r * (a - i + 1) / i;
  return r;
}

static int counter_width(int64_t max) { return max <= 0xFF ? 1 : max <= 0xFFFF ? 2 : 4; }

// Calls f with the counter type of a level.
template <class F>
static void with_type(const sublevel &lv, F f) {
  if (lv.width == 1)
    f((const uint8_t *)lv.at);
  else if (lv.width == 2)
    f((const uint16_t *)lv.at);
  else
    f((const uint32_t *)lv.at);
}

static int get(const sublevel &lv, int64_t r) {
  int v = 0;
  with_type(lv, [&](auto *p) { v = (int)p[r]; });
  return v;
}

static void decrement(sublevel &lv, int64_t r) {
  with_type(lv, [&](auto *p) { --const_cast<std::remove_const_t<std::remove_pointer_t<decltype(p)>> *>(p)[r]; });
}

double subcount_bytes(int n, int k, int x, int t) {
  double bytes = 0;
  for (int j = t; j <= std::min(k, x); j++)
    bytes += (double)(choose(n, j) + lanes) * counter_width(choose(n - j, k - j));
  if (x >= 2) bytes += 4.0 * choose(n - 1, x - 1) + (12.0 + x) * choose(n - 2, x - 2);
  return bytes;
}

void subcount_init(subcount &sc, int n, int k, int x, int t, int start) {
  sc.n = n, sc.k = k, sc.x = x, sc.t = t;
  sc.jlo = t, sc.jhi = std::min(k, x);
  int b = sc.jhi + 1;
  sc.binom.assign((size_t)(n + 1) * b, 0);
  for (int a = 0; a <= n; a++)
    for (int j = 0; j < b; j++) sc.binom[(size_t)a * b + j] = choose(a, j);
  sc.level.assign(sc.jhi + 1, {});
  for (int j = sc.jlo; j <= sc.jhi; j++) {
    sublevel &lv = sc.level[j];
    lv.coef = (int)choose(j - 1, t - 1) * ((j - t) % 2 ? -1 : 1);
    int64_t full = choose(n - j, k - j), size = choose(n, j);
    lv.width = counter_width(full);
    // Runs read up to lanes - 1 counters below the last one they use.
    lv.store.assign((size_t)(size + lanes) * lv.width, 0);
    lv.at = lv.store.data() + (size_t)lanes * lv.width;
    with_type(lv, [&](auto *p) {
      using T = std::remove_const_t<std::remove_pointer_t<decltype(p)>>;
      std::fill((T *)lv.at, (T *)lv.at + size, (T)full);
    });
  }
  if (x < 2) return;

  // Groups: the (x-2)-sets Q of 1..n-2 in lexicographic order; group Q holds
  // a run for every a above max(Q) up to n-1, run a the rows Q, a, v for v
  // from a+1 to n.
  int q = x - 2;
  sc.groups = (int)choose(n - 2, q);
  sc.runs = (int)choose(n - 1, x - 1);
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

  int64_t rows = choose(n, x);
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

void subcount_remove(subcount &sc, const unsigned char *kset) {
  int set[100];
  for (int i = 0; i < sc.k; i++) set[i] = kset[i];
  auto visit = [&](int j, int64_t rank) {
    if (j >= sc.jlo) decrement(sc.level[j], rank);
  };
  subsets(sc, set, sc.k, 0, 0, visit);
}

int subcount_count(const subcount &sc, const int *xset) {
  int c = 0;
  auto visit = [&](int j, int64_t rank) {
    if (j >= sc.jlo) c += sc.level[j].coef * get(sc.level[j], rank);
  };
  subsets(sc, xset, sc.x, 0, 0, visit);
  return c;
}

namespace {

// What one scan thread keeps while it evaluates a group Q.
struct scratch {
  int e[256 + lanes];             // e[u]: the sum for the x-sets' subsets S + {u}, S in Q
  int q_only;                     // the sum for the subsets of Q alone
  std::vector<int64_t> pair[100];  // pair[j]: ranks of S in Q as the low part of S + {a, v}
};

}  // namespace

// Adds to w the subset S of Q that holds `size` numbers, with its ranks as
// a set of its own (r0), below one more number (r1) and below two (r2), then
// goes on to the subsets that add a number of set[0..m-1] below them.
static void group_subsets(const subcount &sc, const int *set, int m, int size, int64_t r0,
                          int64_t r1, int64_t r2, int low, scratch &w) {
  int n = sc.n;
  if (size >= sc.jlo) w.q_only += sc.level[size].coef * get(sc.level[size], r0);
  if (size + 1 >= sc.jlo && size + 1 <= sc.jhi) {
    const sublevel &lv = sc.level[size + 1];
    with_type(lv, [&](auto *p) {
      for (int u = low + 1; u <= n; u++) w.e[u] += lv.coef * (int)p[r1 + n - u];
    });
  }
  if (size + 2 >= sc.jlo && size + 2 <= sc.jhi) w.pair[size + 2].push_back(r2);
  if (size == sc.jhi) return;
  int s = size + 1;
  for (int i = m - 1; i >= 0; i--)
    group_subsets(sc, set, i, s, r0 + share(sc, set[i], s),
                  s + 1 <= sc.jhi ? r1 + share(sc, set[i], s + 1) : 0,
                  s + 2 <= sc.jhi ? r2 + share(sc, set[i], s + 2) : 0, low, w);
}

// Sums of the subsets of Q alone and of Q plus one number, for group g. A
// subset S of Q with u above it ranks rank(S below one) + (n - u); with a
// and v above it, rank(S below two) + C(n - a, 2) + (n - v).
static void build_group(const subcount &sc, int g, scratch &w) {
  int q = sc.x - 2, set[100];
  for (int i = 0; i < q; i++) set[i] = sc.group_set[(size_t)g * q + i];
  w.q_only = 0;
  for (int j = sc.jlo; j <= sc.jhi; j++) w.pair[j].clear();
  std::fill(std::begin(w.e), std::end(w.e), 0);
  group_subsets(sc, set, q, 0, 0, 0, 0, q ? set[q - 1] : 0, w);
}

// acc[i] += coef * (sum over the ranks r of p[r + shift - i]), i < lanes.
template <class T>
static void add_pairs(int *acc, const T *p, const std::vector<int64_t> &ranks, int64_t shift,
                      int coef) {
  int sum[lanes] = {};
  for (int64_t r : ranks) {
    const T *f = p + r + shift;
    for (int i = 0; i < lanes; i++) sum[i] += f[-i];
  }
  for (int i = 0; i < lanes; i++) acc[i] += coef * sum[i];
}

// The counts of the run Q, a, v (v = a+1..n) into acc[0..n-a-1].
static void count_run(const subcount &sc, const scratch &w, int a, int *acc) {
  int n = sc.n, rows = n - a;
  int64_t lift = share(sc, a, 2) + n - (a + 1);  // rank of {a, a+1} above S, less S's part
  for (int from = 0; from < rows; from += lanes) {
    int *out = acc + from;
    for (int i = 0; i < lanes; i++) out[i] = w.q_only + w.e[a] + w.e[a + 1 + from + i];
    for (int j = std::max(sc.jlo, 2); j <= sc.jhi; j++)
      with_type(sc.level[j],
                [&](auto *p) { add_pairs(out, p, w.pair[j], lift - from, sc.level[j].coef); });
  }
}

// Scans the groups of chunk c; best holds the standing to beat.
static void scan_chunk(subcount &sc, int c, int *bound, scratch &w, std::atomic<uint64_t> &best) {
  int n = sc.n, q = sc.x - 2;
  int acc[256 + lanes];
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
          bound[row + i] = acc[i];
          if (acc[i] > m) m = acc[i], at = i;
        }
        sc.run_max[ri] = m;
        uint64_t mine = pack(m, row + at), seen = best.load(std::memory_order_relaxed);
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
  // Nothing with a count of 0 ever wins: that is the standing of row 0.
  std::atomic<uint64_t> best{pack(0, 0)};
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
    auto work = [&](bool report) {
      static thread_local scratch w;
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
  }
  uint64_t b = best.load();
  *row = (int)~(uint32_t)b;
  return (int)(b >> 32);
}
