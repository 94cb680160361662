// The body of the scan's kernel, without an include guard: subscan.cpp
// includes it once for each instruction set, inside a namespace of its own
// and with SUBSCAN_TARGET the function attribute that picks the set. Plain
// loops over fixed lanes: the compiler turns them into the set's vectors.

// Adds the subset S of Q that holds `size` numbers, with its ranks as a set
// of its own (r0), below one more number (r1) and below two (r2), then goes
// on to the subsets that add a number of set[0..m-1] below them. With zero,
// each subset's own rank goes to zero[size] too.
SUBSCAN_TARGET static void group_subsets(const subcount &sc, const int *set, int m, int size,
                                         int64_t r0, int64_t r1, int64_t r2, subscratch &w,
                                         std::vector<int64_t> *zero) {
  if (size >= sc.jlo) {
    w.q_only += (uint32_t)sc.level[size].coef * subget(sc.level[size], r0);
    if (zero) zero[size].push_back(r0);
  }
  if (size + 1 >= sc.jlo && size + 1 <= sc.jhi) w.one[size + 1].push_back(r1);
  if (size + 2 >= sc.jlo && size + 2 <= sc.jhi) w.two[size + 2].push_back(r2);
  if (size == sc.jhi) return;
  int s = size + 1;
  for (int i = m - 1; i >= 0; i--)
    group_subsets(sc, set, i, s, r0 + subshare(sc, set[i], s),
                  s + 1 <= sc.jhi ? r1 + subshare(sc, set[i], s + 1) : 0,
                  s + 2 <= sc.jhi ? r2 + subshare(sc, set[i], s + 2) : 0, w, zero);
}

// The subsets of group g's Q. With u above it, S ranks rank(S below one) +
// (n - u); with a and v above it, rank(S below two) + C(n - a, 2) + (n - v).
//
// Groups that differ only in their last number s follow each other in
// lexicographic order. Where s is the largest of a subset it adds C(n - s,
// 1 + u) to its rank below u more numbers, so moving to s' shifts the ranks
// of the subsets that hold it by C(n - s', 1 + u) - C(n - s, 1 + u), the
// same for all; only their counters need reading again.
SUBSCAN_TARGET static void build_group(const subcount &sc, int g, subscratch &w) {
  int q = sc.x - 2, jlo = sc.jlo, jhi = sc.jhi, set[subcount_max_x];
  assert(q <= subcount_max_x);
  const unsigned char *qs = sc.group_set.data() + (size_t)g * q;
  int same = 0;  // leading numbers shared with the group last built
  if (w.built)
    while (same < q - 1 && qs[same] == w.set[same]) same++;
  if (q >= 1 && w.built && same == q - 1) {
    int s0 = w.set[q - 1], s1 = qs[q - 1];
    int64_t d0 = subshare(sc, s1, 1) - subshare(sc, s0, 1);
    int64_t d1 = jhi >= 2 ? subshare(sc, s1, 2) - subshare(sc, s0, 2) : 0;
    int64_t d2 = jhi >= 3 ? subshare(sc, s1, 3) - subshare(sc, s0, 3) : 0;
    uint32_t with = 0;
    for (int j = jlo; j <= jhi; j++) {
      for (int e = w.one_from[j]; e < w.one_to[j]; e++) w.one[j][e] += d1;
      for (int e = w.two_from[j]; e < w.two_to[j]; e++) w.two[j][e] += d2;
      uint32_t sum = 0;
      for (int64_t &r : w.zero[j]) sum += subget(sc.level[j], r += d0);
      with += (uint32_t)sc.level[j].coef * sum;
    }
    w.q_only = w.q_rest + with;
    w.set[q - 1] = (unsigned char)s1;
    return;
  }
  for (int i = 0; i < q; i++) set[i] = qs[i];
  w.q_only = 0;
  for (int j = jlo; j <= jhi; j++) w.one[j].clear(), w.two[j].clear(), w.zero[j].clear();
  // The empty set; then the subsets with the last number as their largest,
  // marked; then the others.
  if (jlo <= 1 && 1 <= jhi) w.one[1].push_back(0);
  if (jlo <= 2 && 2 <= jhi) w.two[2].push_back(0);
  for (int j = jlo; j <= jhi; j++)
    w.one_from[j] = (int)w.one[j].size(), w.two_from[j] = (int)w.two[j].size();
  for (int i = q - 1; i >= 0; i--) {
    group_subsets(sc, set, i, 1, subshare(sc, set[i], 1), jhi >= 2 ? subshare(sc, set[i], 2) : 0,
                  jhi >= 3 ? subshare(sc, set[i], 3) : 0, w, i == q - 1 ? w.zero : nullptr);
    if (i == q - 1) {
      w.q_rest = w.q_only;  // for now the sum of those with the last number
      for (int j = jlo; j <= jhi; j++)
        w.one_to[j] = (int)w.one[j].size(), w.two_to[j] = (int)w.two[j].size();
    }
  }
  if (q >= 1) w.q_rest = w.q_only - w.q_rest;
  std::copy(qs, qs + q, w.set);
  w.built = true;
}

constexpr int L = subcount_lanes;
// The lanes of a tile as vectors of the compiler's (one register of the
// widest set, several of a narrower one).
typedef uint8_t lanes8 __attribute__((vector_size(L)));
typedef uint16_t lanes16 __attribute__((vector_size(2 * L)));
typedef uint32_t lanes32 __attribute__((vector_size(4 * L)));

// acc[i] += coef * (sum over the m ranks r of the counter at base - r + i),
// for the lanes of `tiles` tiles. The counter width is a template argument,
// so the inner loop is one load, one widening and one add per tile and rank.
template <class T>
SUBSCAN_TARGET static inline void level_tiles(uint32_t *acc, const T *f, const int64_t *ranks,
                                              int m, int64_t base, uint32_t coef, int tiles) {
#ifdef SUBSCAN_AVX2
  // Two registers of 8 lanes each; the compiler's 16-lane vectors went
  // through the stack here (slower than the baseline code).
  static_assert(L == 16);
  __m256i times = _mm256_set1_epi32((int)coef);
  for (int t = 0; t < tiles; t++) {
    __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
    for (int c = 0; c < m; c++) {
      const T *src = f + (base - ranks[c]) + t * L;
      if constexpr (sizeof(T) == 1) {
        __m128i v = _mm_loadu_si128((const __m128i *)src);
        lo = _mm256_add_epi32(lo, _mm256_cvtepu8_epi32(v));
        hi = _mm256_add_epi32(hi, _mm256_cvtepu8_epi32(_mm_srli_si128(v, 8)));
      } else if constexpr (sizeof(T) == 2) {
        lo = _mm256_add_epi32(lo, _mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i *)src)));
        hi = _mm256_add_epi32(hi,
                              _mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i *)(src + 8))));
      } else {
        lo = _mm256_add_epi32(lo, _mm256_loadu_si256((const __m256i *)src));
        hi = _mm256_add_epi32(hi, _mm256_loadu_si256((const __m256i *)(src + 8)));
      }
    }
    __m256i *out = (__m256i *)(acc + t * L);
    _mm256_storeu_si256(out,
                        _mm256_add_epi32(_mm256_loadu_si256(out), _mm256_mullo_epi32(lo, times)));
    _mm256_storeu_si256(
        out + 1, _mm256_add_epi32(_mm256_loadu_si256(out + 1), _mm256_mullo_epi32(hi, times)));
  }
  return;
#endif
#ifdef SUBSCAN_SSE2
  // Four registers of 4 lanes each, widened by unpacking against zero.
  static_assert(L == 16);
  const __m128i zero = _mm_setzero_si128();
  for (int t = 0; t < tiles; t++) {
    __m128i q[4] = {zero, zero, zero, zero};
    for (int c = 0; c < m; c++) {
      const T *src = f + (base - ranks[c]) + t * L;
      if constexpr (sizeof(T) == 1) {
        __m128i v = _mm_loadu_si128((const __m128i *)src);
        __m128i w0 = _mm_unpacklo_epi8(v, zero), w1 = _mm_unpackhi_epi8(v, zero);
        q[0] = _mm_add_epi32(q[0], _mm_unpacklo_epi16(w0, zero));
        q[1] = _mm_add_epi32(q[1], _mm_unpackhi_epi16(w0, zero));
        q[2] = _mm_add_epi32(q[2], _mm_unpacklo_epi16(w1, zero));
        q[3] = _mm_add_epi32(q[3], _mm_unpackhi_epi16(w1, zero));
      } else if constexpr (sizeof(T) == 2) {
        __m128i w0 = _mm_loadu_si128((const __m128i *)src);
        __m128i w1 = _mm_loadu_si128((const __m128i *)(src + 8));
        q[0] = _mm_add_epi32(q[0], _mm_unpacklo_epi16(w0, zero));
        q[1] = _mm_add_epi32(q[1], _mm_unpackhi_epi16(w0, zero));
        q[2] = _mm_add_epi32(q[2], _mm_unpacklo_epi16(w1, zero));
        q[3] = _mm_add_epi32(q[3], _mm_unpackhi_epi16(w1, zero));
      } else {
        for (int i = 0; i < 4; i++)
          q[i] = _mm_add_epi32(q[i], _mm_loadu_si128((const __m128i *)(src + 4 * i)));
      }
    }
    lanes32 s, sum;
    memcpy(&s, q, sizeof s);
    memcpy(&sum, acc + t * L, sizeof sum);
    sum += coef * s;
    memcpy(acc + t * L, &sum, sizeof sum);
  }
  return;
#endif
  for (int t = 0; t < tiles; t++) {
    lanes32 s = {};
    for (int c = 0; c < m; c++) {
      const T *src = f + (base - ranks[c]) + t * L;
#ifdef SUBSCAN_AVX512
      // One widening load each: the generic conversion takes four steps
      // (the masked form, as the plain one trips a warning in GCC 12).
      if constexpr (sizeof(T) == 1) {
        s += (lanes32)_mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_loadu_si128((const __m128i *)src));
        continue;
      } else if constexpr (sizeof(T) == 2) {
        s += (lanes32)_mm512_maskz_cvtepu16_epi32(0xFFFF, _mm256_loadu_si256((const __m256i *)src));
        continue;
      }
#endif
      if constexpr (sizeof(T) == 1) {
        lanes8 v;
        memcpy(&v, src, sizeof v);
        s += __builtin_convertvector(v, lanes32);
      } else if constexpr (sizeof(T) == 2) {
        lanes16 v;
        memcpy(&v, src, sizeof v);
        s += __builtin_convertvector(v, lanes32);
      } else {
        lanes32 v;
        memcpy(&v, src, sizeof v);
        s += v;
      }
    }
    lanes32 sum;
    memcpy(&sum, acc + t * L, sizeof sum);
    sum += coef * s;
    memcpy(acc + t * L, &sum, sizeof sum);
  }
}

// The same for a level of one bit a counter: lane i takes bit i of the word.
SUBSCAN_TARGET static inline void bit_tiles(uint32_t *acc, const uint8_t *f, const int64_t *ranks,
                                            int m, int64_t base, uint32_t coef, int tiles) {
  lanes32 lane;
  for (int i = 0; i < L; i++) lane[i] = i;
  for (int t = 0; t < tiles; t++) {
    lanes32 s = {};
    for (int c = 0; c < m; c++) {
      int64_t p = base - ranks[c] + t * L;
      uint32_t word;
      memcpy(&word, f + (p >> 3), sizeof word);
      s += (lanes32{} + (word >> (p & 7))) >> lane & 1;
    }
    lanes32 sum;
    memcpy(&sum, acc + t * L, sizeof sum);
    sum += coef * s;
    memcpy(acc + t * L, &sum, sizeof sum);
  }
}

// The m ranks of one list of level lv, each read at base - r onwards.
SUBSCAN_TARGET static inline void add_list(uint32_t *acc, const sublevel &lv,
                                           const std::vector<int64_t> &ranks, int64_t base,
                                           int tiles) {
  int m = (int)ranks.size();
  if (m == 0) return;
  uint32_t coef = (uint32_t)lv.coef;
  switch (lv.bits) {
  case 1:
    return bit_tiles(acc, lv.u8.data(), ranks.data(), m, base, coef, tiles);
  case 8:
    return level_tiles(acc, lv.u8.data(), ranks.data(), m, base, coef, tiles);
  case 16:
    return level_tiles(acc, lv.u16.data(), ranks.data(), m, base, coef, tiles);
  default:
    return level_tiles(acc, lv.u32.data(), ranks.data(), m, base, coef, tiles);
  }
}

// The counts of the run Q, a, v (v = a+1..n) into acc[0..n-a-1] (and
// whatever in the lanes up to the next whole tile): subsets of Q alone, with
// a, with v, and with both.
SUBSCAN_TARGET static void count_run(const subcount &sc, const subscratch &w, int a,
                                     uint32_t with_a, uint32_t *acc) {
  int n = sc.n, rows = n - a, tiles = (rows + L - 1) / L;
  assert(rows >= 1 && rows <= subcount_max_run);
  for (int i = 0; i < tiles * L; i++) acc[i] = with_a;
  int64_t first_v = n - (a + 1), pair = (int64_t)(n - a) * (n - a - 1) / 2;  // C(n - a, 2)
  for (int j = sc.jlo; j <= sc.jhi; j++) {
    const sublevel &lv = sc.level[j];
    add_list(acc, lv, w.one[j], lv.last - first_v, tiles);
    add_list(acc, lv, w.two[j], lv.last - pair - first_v, tiles);
  }
}

SUBSCAN_TARGET static bool better(const subseed &a, const subseed &b) {
  return a.standing > b.standing;
}

SUBSCAN_TARGET void scan_chunk(subcount &sc, int c, int *bound, subscratch &w,
                               std::atomic<uint64_t> &best) {
  int n = sc.n, q = sc.x - 2;
  uint32_t acc[subcount_max_run + L];
  for (int g = sc.chunk_group[c]; g < sc.chunk_group[c + 1]; g++) {
    int row = sc.group_row[g];
    if (subscan_pack(sc.group_max[g], row) <= best.load(std::memory_order_relaxed)) continue;
    bool built = false;
    int low = q ? sc.group_set[(size_t)g * q + q - 1] : 0, gmax = 0;
    for (int ri = sc.group_run[g], a = low + 1; ri < sc.group_run[g + 1]; ri++, a++) {
      int rows = n - a;
      if (subscan_pack(sc.run_max[ri], row) > best.load(std::memory_order_relaxed)) {
        if (!built) {
          // The counts of Q + a for every run of the group at once: as a
          // runs upward, each subset's counter moves up by one place.
          build_group(sc, g, w);
          int runs = n - 1 - low, tiles = (runs + L - 1) / L;
          for (int i = 0; i < tiles * L; i++) w.with_a[i] = w.q_only;
          for (int j = sc.jlo; j <= sc.jhi; j++)
            add_list(w.with_a, sc.level[j], w.one[j], sc.level[j].last - n + low + 1, tiles);
          built = true;
        }
        count_run(sc, w, a, w.with_a[a - low - 1], acc);
        w.runs++;
        // The largest count (every count fits an int) and its first lane.
        int tiles = (rows + L - 1) / L;
        for (int i = rows; i < tiles * L; i++) acc[i] = 0;
        lanes32 most = {};
        for (int t = 0; t < tiles; t++) {
          lanes32 v;
          memcpy(&v, acc + t * L, sizeof v);
          most = most > v ? most : v;
        }
        uint32_t top = 0;
        for (int i = 0; i < L; i++) top = std::max(top, most[i]);
        int m = (int)top, at = 0;
        while (acc[at] != top) at++;
        // The bounds are not read again in this scan: write them past the
        // cache rather than fetch each line first.
        for (int i = 0; i < rows; i++) stream_int(bound + row + i, (int)acc[i]);
        sc.run_max[ri] = m;
        uint64_t mine = subscan_pack(m, row + at), seen = best.load(std::memory_order_relaxed);
        if (m > 0 && (w.top.size() < subscan_seeds || mine > w.top.back().standing)) {
          subseed s{mine, row + at, {}};
          const unsigned char *qs = sc.group_set.data() + (size_t)g * q;
          std::copy(qs, qs + q, s.set);
          s.set[q] = (unsigned char)a, s.set[q + 1] = (unsigned char)(a + 1 + at);
          w.top.insert(std::upper_bound(w.top.begin(), w.top.end(), s, better), s);
          if (w.top.size() > subscan_seeds) w.top.pop_back();
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
