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
  if (size + 1 >= sc.jlo && size + 1 <= sc.jhi) w.at[size + 1][w.ones[size + 1]++] = -r1;
  if (size + 2 >= sc.jlo && size + 2 <= sc.jhi) w.at[size + 2][w.twos[size + 2]++] = -r2;
  if (size == sc.jhi) return;
  int s = size + 1;
  for (int i = m - 1; i >= 0; i--)
    group_subsets(sc, set, i, s, r0 + subshare(sc, set[i], s),
                  s + 1 <= sc.jhi ? r1 + subshare(sc, set[i], s + 1) : 0,
                  s + 2 <= sc.jhi ? r2 + subshare(sc, set[i], s + 2) : 0, w, zero);
}

// A group's move by spans (see build_group): where x is larger, the blocks
// hold spans of many ranks. Apart from the move by single ranks, which a
// loop over spans made 15% slower on L(45,6,6,3).
SUBSCAN_TARGET __attribute__((noinline)) static void move_spans(subscratch &w, const int64_t *d,
                                                                bool moved, uint32_t *with) {
  const subscratch::shift *sh = w.shifts.data();
  for (int i = 0, m = moved ? (int)w.shifts.size() : w.shifts01; i < m; i++) {
    int64_t *rank = sh[i].rank, by = d[sh[i].by];
    for (int e = 0; e < sh[i].count; e++) rank[e] -= by;
  }
  const subscratch::own *ow = w.owns.data();
  for (int i = 0, m = moved ? (int)w.owns.size() : w.owns01; i < m; i++) {
    int64_t *rank = ow[i].rank, by = d[ow[i].block * 3];
    const sublevel &lv = *ow[i].level;
    uint32_t sum = 0;
    for (int e = 0; e < ow[i].count; e++) sum += subget(lv, rank[e] += by);
    with[ow[i].block] += (uint32_t)lv.coef * sum;
  }
}

// The subsets of group g's Q. With u above it, S ranks rank(S below one) +
// (n - u); with a and v above it, rank(S below two) + C(n - a, 2) + (n - v).
//
// Groups that differ only in their last two numbers follow each other in
// lexicographic order. A subset's largest number s adds C(n - s, 1 + u) to
// its rank below u more numbers, its second largest s' C(n - s', 2 + u):
// moving the last two numbers shifts the ranks of the subsets that hold one
// or both of them by the same amount within each block (see subscratch);
// only their counters need reading again. (Kept out of the kernel: inlined
// there, it cost L(45,6,6,3) about 3%.)
SUBSCAN_TARGET __attribute__((noinline)) static void build_group(const subcount &sc, int g,
                                                                 subscratch &w) {
  int q = sc.x - 2, jlo = sc.jlo, jhi = sc.jhi, set[subcount_max_x];
  assert(q <= subcount_max_x);
  const unsigned char *qs = sc.group_set.data() + (size_t)g * q;
  int same = 0;  // leading numbers shared with the group last built
  if (w.built)
    while (same < q && qs[same] == w.set[same]) same++;
  // C(n - s, m), or 0 where no subset reaches level m.
  auto share = [&](int s, int m) { return m <= jhi ? subshare(sc, s, m) : 0; };
  if (q >= 2 && w.built && same >= q - 2) {
    int last0 = w.set[q - 1], last1 = qs[q - 1], prev0 = w.set[q - 2], prev1 = qs[q - 2];
    int64_t d[9];  // per block b, the shift of rank_u at d[b * 3 + u], u = 0, 1, 2
    for (int u = 0; u < 3; u++) {
      d[3 + u] = share(last1, 1 + u) - share(last0, 1 + u);
      d[u] = d[3 + u] + share(prev1, 2 + u) - share(prev0, 2 + u);
      d[6 + u] = share(prev1, 1 + u) - share(prev0, 1 + u);
    }
    // Where only the last number moved, blocks 0 and 1 shift alike and
    // block 2 stays.
    bool moved = prev1 != prev0;
    uint32_t with[3] = {};
    if (w.one_by_one) {
      const subscratch::shift *sh = w.shifts.data();
      for (int i = 0, m = moved ? (int)w.shifts.size() : w.shifts01; i < m; i++)
        *sh[i].rank -= d[sh[i].by];
      const subscratch::own *ow = w.owns.data();
      for (int i = 0, m = moved ? (int)w.owns.size() : w.owns01; i < m; i++) {
        const sublevel &lv = *ow[i].level;
        with[ow[i].block] += (uint32_t)lv.coef * subget(lv, *ow[i].rank += d[ow[i].block * 3]);
      }
    } else {
      move_spans(w, d, moved, with);
    }
    if (moved) w.q_block2 = with[2];
    w.q_only = w.q_rest + w.q_block2 + with[0] + with[1];
    w.set[q - 2] = (unsigned char)prev1, w.set[q - 1] = (unsigned char)last1;
    return;
  }
  for (int i = 0; i < q; i++) set[i] = qs[i];
  w.q_only = 0;
  for (int j = jlo; j <= jhi; j++) {
    w.ones[j] = 0, w.twos[j] = w.cells_one[j];
    w.zero[j].clear();
  }
  // The empty set; then the blocks (for q >= 2) and the subsets of neither.
  if (jlo <= 1 && 1 <= jhi) w.at[1][w.ones[1]++] = 0;
  if (jlo <= 2 && 2 <= jhi) w.at[2][w.twos[2]++] = 0;
  auto mark = [&](int b) {
    for (int j = jlo; j <= jhi; j++)
      w.one_at[b][j] = w.ones[j], w.two_at[b][j] = w.twos[j],
      w.zero_at[b][j] = (int)w.zero[j].size();
  };
  int rest = q;  // numbers set[0..rest-1] start the subsets of neither
  if (q >= 2) {
    int last = set[q - 1], prev = set[q - 2];
    // Block 0, both: the pair and what adds numbers below them.
    mark(0);
    if (jhi >= 2)
      group_subsets(sc, set, q - 2, 2, share(last, 1) + share(prev, 2),
                    jhi >= 3 ? share(last, 2) + share(prev, 3) : 0,
                    jhi >= 4 ? share(last, 3) + share(prev, 4) : 0, w, w.zero);
    mark(1);
    // Block 1: the last number alone, then with numbers below the one before.
    group_subsets(sc, set, 0, 1, share(last, 1), share(last, 2), share(last, 3), w, w.zero);
    if (jhi >= 2)
      for (int i = q - 3; i >= 0; i--)
        group_subsets(sc, set, i, 2, share(last, 1) + share(set[i], 2),
                      jhi >= 3 ? share(last, 2) + share(set[i], 3) : 0,
                      jhi >= 4 ? share(last, 3) + share(set[i], 4) : 0, w, w.zero);
    uint32_t before = w.q_only;
    mark(2);
    group_subsets(sc, set, q - 2, 1, share(prev, 1), share(prev, 2), share(prev, 3), w, w.zero);
    w.q_block2 = w.q_only - before;
    mark(3);
    rest = q - 2;
  }
  uint32_t blocks = w.q_only;
  for (int i = rest - 1; i >= 0; i--)
    group_subsets(sc, set, i, 1, share(set[i], 1), share(set[i], 2), share(set[i], 3), w, nullptr);
  w.q_rest = w.q_only - blocks;  // blocks 0 and 1 are counted afresh at each move
  for (int j = jlo; j <= jhi; j++) assert(w.ones[j] == w.cells_one[j] && w.twos[j] == w.cells[j]);
  std::copy(qs, qs + q, w.set);
  w.built = true;
  if (q >= 2 && !w.flat) {
    w.flat = true;
    for (int b = 0; b < 3; b++) {
      // Block 2 comes last: a move of the last number alone stops before it.
      if (b == 2) w.shifts01 = (int)w.shifts.size(), w.owns01 = (int)w.owns.size();
      for (int j = jlo; j <= jhi; j++) {
        if (int count = w.one_at[b + 1][j] - w.one_at[b][j])
          w.shifts.push_back({&w.at[j][w.one_at[b][j]], count, b * 3 + 1});
        if (int count = w.two_at[b + 1][j] - w.two_at[b][j])
          w.shifts.push_back({&w.at[j][w.two_at[b][j]], count, b * 3 + 2});
        if (int count = w.zero_at[b + 1][j] - w.zero_at[b][j])
          w.owns.push_back({&w.zero[j][w.zero_at[b][j]], count, b, &sc.level[j]});
      }
    }
    size_t ranks = 0;
    for (const subscratch::shift &s : w.shifts) ranks += s.count;
    if (ranks <= 2 * w.shifts.size()) {
      // Cut every span into spans of one rank, the counts of those before
      // block 2 kept.
      auto cut = [](auto &spans, int &before2) {
        std::remove_reference_t<decltype(spans)> single;
        for (size_t i = 0; i <= spans.size(); i++) {
          if ((int)i == before2) before2 = (int)single.size();
          if (i == spans.size()) break;
          for (int e = 0; e < spans[i].count; e++) {
            single.push_back(spans[i]);
            single.back().rank += e, single.back().count = 1;
          }
        }
        spans.swap(single);
      };
      cut(w.shifts, w.shifts01);
      cut(w.owns, w.owns01);
      w.one_by_one = true;
    }
  }
}

// Every function that takes or returns a tile's vectors is inlined into
// the kernel: at -O2, GCC 12 left tile() out of line in the AVX-512 kernel,
// and its result arrived with only the low 128 bits (lanes 4 to 15 read 0).
#ifndef SUBSCAN_INLINE
#define SUBSCAN_INLINE static inline __attribute__((always_inline))
#endif

constexpr int L = subcount_lanes;
static_assert(L == 16, "a tile is 16 lanes");

// The vectors of a tile, in the registers of each set: v32 holds the 16
// lanes' sums in 32 bits (one AVX-512 register, two AVX2 ones, four SSE2
// ones), v16 16 counters of 16 bits, v8 (__m128i where there is one) 16 of 8
// bits. Narrow counters are added in their own width as far as they cannot
// overflow (sublevel::narrow) and widened once per batch, not once each.
#if defined(SUBSCAN_AVX512)
struct v32 {
  __m512i v;
};
struct v16 {
  __m256i v;
};
typedef __m128i v8;
SUBSCAN_TARGET SUBSCAN_INLINE v32 splat(uint32_t a) { return {_mm512_set1_epi32((int)a)}; }
SUBSCAN_TARGET SUBSCAN_INLINE v32 add(v32 a, v32 b) { return {_mm512_add_epi32(a.v, b.v)}; }
SUBSCAN_TARGET SUBSCAN_INLINE v32 times(v32 a, uint32_t c) {
  return {_mm512_mullo_epi32(a.v, _mm512_set1_epi32((int)c))};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 load32(const uint32_t *p) { return {_mm512_loadu_si512(p)}; }
SUBSCAN_TARGET SUBSCAN_INLINE void store32(uint32_t *p, v32 a) { _mm512_storeu_si512(p, a.v); }
SUBSCAN_TARGET SUBSCAN_INLINE v32 most(v32 a, v32 b) {
  return {_mm512_maskz_max_epu32(0xFFFF, a.v, b.v)};
}
SUBSCAN_TARGET SUBSCAN_INLINE uint32_t top(v32 a) {
  __m256i h = _mm256_max_epu32(_mm512_maskz_extracti64x4_epi64(0xF, a.v, 0),
                               _mm512_maskz_extracti64x4_epi64(0xF, a.v, 1));
  __m128i q = _mm_max_epu32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
  q = _mm_max_epu32(q, _mm_shuffle_epi32(q, 0x4E));
  q = _mm_max_epu32(q, _mm_shuffle_epi32(q, 0xB1));
  return (uint32_t)_mm_cvtsi128_si32(q);
}
SUBSCAN_TARGET SUBSCAN_INLINE unsigned equal(v32 a, uint32_t x) {
  return _mm512_cmpeq_epi32_mask(a.v, _mm512_set1_epi32((int)x));
}
SUBSCAN_TARGET SUBSCAN_INLINE unsigned at_least(v32 a, uint32_t x) {
  return _mm512_cmpge_epu32_mask(a.v, _mm512_set1_epi32((int)x));
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 below(v32 a, int m) {
  return {_mm512_maskz_mov_epi32((__mmask16)((1u << m) - 1), a.v)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 bits(uint32_t w) {
  return {_mm512_maskz_mov_epi32((__mmask16)w, _mm512_set1_epi32(1))};
}
SUBSCAN_TARGET SUBSCAN_INLINE v16 load16(const uint16_t *p) {
  return {_mm256_loadu_si256((const __m256i *)p)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v16 add16(v16 a, v16 b) { return {_mm256_add_epi16(a.v, b.v)}; }
// The masked forms: the plain ones trip a warning in GCC 12.
SUBSCAN_TARGET SUBSCAN_INLINE v32 widen(v16 a) {
  return {_mm512_maskz_cvtepu16_epi32(0xFFFF, a.v)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 widen(v8 a) { return {_mm512_maskz_cvtepu8_epi32(0xFFFF, a)}; }
#elif defined(SUBSCAN_AVX2)
struct v32 {
  __m256i lo, hi;
};
struct v16 {
  __m256i v;
};
typedef __m128i v8;
SUBSCAN_TARGET SUBSCAN_INLINE v32 splat(uint32_t a) {
  __m256i v = _mm256_set1_epi32((int)a);
  return {v, v};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 add(v32 a, v32 b) {
  return {_mm256_add_epi32(a.lo, b.lo), _mm256_add_epi32(a.hi, b.hi)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 times(v32 a, uint32_t c) {
  __m256i m = _mm256_set1_epi32((int)c);
  return {_mm256_mullo_epi32(a.lo, m), _mm256_mullo_epi32(a.hi, m)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 load32(const uint32_t *p) {
  return {_mm256_loadu_si256((const __m256i *)p), _mm256_loadu_si256((const __m256i *)(p + 8))};
}
SUBSCAN_TARGET SUBSCAN_INLINE void store32(uint32_t *p, v32 a) {
  _mm256_storeu_si256((__m256i *)p, a.lo), _mm256_storeu_si256((__m256i *)(p + 8), a.hi);
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 most(v32 a, v32 b) {
  return {_mm256_max_epu32(a.lo, b.lo), _mm256_max_epu32(a.hi, b.hi)};
}
SUBSCAN_TARGET SUBSCAN_INLINE uint32_t top(v32 a) {
  __m256i h = _mm256_max_epu32(a.lo, a.hi);
  __m128i q = _mm_max_epu32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
  q = _mm_max_epu32(q, _mm_shuffle_epi32(q, 0x4E));
  q = _mm_max_epu32(q, _mm_shuffle_epi32(q, 0xB1));
  return (uint32_t)_mm_cvtsi128_si32(q);
}
SUBSCAN_TARGET SUBSCAN_INLINE unsigned equal(v32 a, uint32_t x) {
  __m256i v = _mm256_set1_epi32((int)x);
  return (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a.lo, v))) |
         (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a.hi, v))) << 8;
}
SUBSCAN_TARGET SUBSCAN_INLINE unsigned at_least(v32 a, uint32_t x) {
  __m256i v = _mm256_set1_epi32((int)x);
  __m256i lo = _mm256_cmpeq_epi32(_mm256_max_epu32(a.lo, v), a.lo);
  __m256i hi = _mm256_cmpeq_epi32(_mm256_max_epu32(a.hi, v), a.hi);
  return (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(lo)) |
         (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(hi)) << 8;
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 below(v32 a, int m) {
  __m256i v = _mm256_set1_epi32(m);
  __m256i lo = _mm256_cmpgt_epi32(v, _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  __m256i hi = _mm256_cmpgt_epi32(v, _mm256_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15));
  return {_mm256_and_si256(a.lo, lo), _mm256_and_si256(a.hi, hi)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 bits(uint32_t w) {
  __m256i v = _mm256_set1_epi32((int)w), one = _mm256_set1_epi32(1);
  return {
      _mm256_and_si256(_mm256_srlv_epi32(v, _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)), one),
      _mm256_and_si256(_mm256_srlv_epi32(v, _mm256_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15)), one)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v16 load16(const uint16_t *p) {
  return {_mm256_loadu_si256((const __m256i *)p)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v16 add16(v16 a, v16 b) { return {_mm256_add_epi16(a.v, b.v)}; }
SUBSCAN_TARGET SUBSCAN_INLINE v32 widen(v16 a) {
  return {_mm256_cvtepu16_epi32(_mm256_castsi256_si128(a.v)),
          _mm256_cvtepu16_epi32(_mm256_extracti128_si256(a.v, 1))};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 widen(v8 a) {
  return {_mm256_cvtepu8_epi32(a), _mm256_cvtepu8_epi32(_mm_srli_si128(a, 8))};
}
#elif defined(SUBSCAN_SSE2)
// Baseline x86-64 has no 32-bit multiply, unsigned maximum or variable
// shift: they are built from what SSE2 has.
struct v32 {
  __m128i q[4];
};
struct v16 {
  __m128i a, b;
};
typedef __m128i v8;
SUBSCAN_TARGET SUBSCAN_INLINE v32 splat(uint32_t a) {
  __m128i v = _mm_set1_epi32((int)a);
  return {{v, v, v, v}};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 add(v32 a, v32 b) {
  for (int i = 0; i < 4; i++) a.q[i] = _mm_add_epi32(a.q[i], b.q[i]);
  return a;
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 times(v32 a, uint32_t c) {
  __m128i m = _mm_set1_epi32((int)c);
  for (int i = 0; i < 4; i++) {
    __m128i even = _mm_mul_epu32(a.q[i], m), odd = _mm_mul_epu32(_mm_srli_epi64(a.q[i], 32), m);
    a.q[i] = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
  }
  return a;
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 load32(const uint32_t *p) {
  v32 a;
  for (int i = 0; i < 4; i++) a.q[i] = _mm_loadu_si128((const __m128i *)(p + 4 * i));
  return a;
}
SUBSCAN_TARGET SUBSCAN_INLINE void store32(uint32_t *p, v32 a) {
  for (int i = 0; i < 4; i++) _mm_storeu_si128((__m128i *)(p + 4 * i), a.q[i]);
}
// The larger lane by lane, for lanes below 2^31 (counts are ints).
SUBSCAN_TARGET SUBSCAN_INLINE __m128i most4(__m128i a, __m128i b) {
  __m128i gt = _mm_cmpgt_epi32(a, b);
  return _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b));
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 most(v32 a, v32 b) {
  for (int i = 0; i < 4; i++) a.q[i] = most4(a.q[i], b.q[i]);
  return a;
}
SUBSCAN_TARGET SUBSCAN_INLINE uint32_t top(v32 a) {
  __m128i q = most4(most4(a.q[0], a.q[1]), most4(a.q[2], a.q[3]));
  q = most4(q, _mm_shuffle_epi32(q, 0x4E));
  q = most4(q, _mm_shuffle_epi32(q, 0xB1));
  return (uint32_t)_mm_cvtsi128_si32(q);
}
SUBSCAN_TARGET SUBSCAN_INLINE unsigned equal(v32 a, uint32_t x) {
  __m128i v = _mm_set1_epi32((int)x);
  unsigned m = 0;
  for (int i = 0; i < 4; i++)
    m |= (unsigned)_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a.q[i], v))) << 4 * i;
  return m;
}
// For lanes and x below 2^31.
SUBSCAN_TARGET SUBSCAN_INLINE unsigned at_least(v32 a, uint32_t x) {
  __m128i v = _mm_set1_epi32((int)x);
  unsigned m = 0;
  for (int i = 0; i < 4; i++)
    m |= (unsigned)_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(v, a.q[i]))) << 4 * i;
  return ~m & 0xFFFF;
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 below(v32 a, int m) {
  __m128i v = _mm_set1_epi32(m);
  for (int i = 0; i < 4; i++)
    a.q[i] = _mm_and_si128(
        a.q[i], _mm_cmpgt_epi32(v, _mm_setr_epi32(4 * i, 4 * i + 1, 4 * i + 2, 4 * i + 3)));
  return a;
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 bits(uint32_t w) {
  __m128i v = _mm_set1_epi32((int)w);
  v32 a;
  for (int i = 0; i < 4; i++) {
    __m128i bit = _mm_setr_epi32(1 << 4 * i, 2 << 4 * i, 4 << 4 * i, 8 << 4 * i);
    a.q[i] = _mm_srli_epi32(_mm_cmpeq_epi32(_mm_and_si128(v, bit), bit), 31);
  }
  return a;
}
SUBSCAN_TARGET SUBSCAN_INLINE v16 load16(const uint16_t *p) {
  return {_mm_loadu_si128((const __m128i *)p), _mm_loadu_si128((const __m128i *)(p + 8))};
}
SUBSCAN_TARGET SUBSCAN_INLINE v16 add16(v16 a, v16 b) {
  return {_mm_add_epi16(a.a, b.a), _mm_add_epi16(a.b, b.b)};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 widen(v16 a) {
  const __m128i z = _mm_setzero_si128();
  return {{_mm_unpacklo_epi16(a.a, z), _mm_unpackhi_epi16(a.a, z), _mm_unpacklo_epi16(a.b, z),
           _mm_unpackhi_epi16(a.b, z)}};
}
SUBSCAN_TARGET SUBSCAN_INLINE v32 widen(v8 a) {
  const __m128i z = _mm_setzero_si128();
  __m128i lo = _mm_unpacklo_epi8(a, z), hi = _mm_unpackhi_epi8(a, z);
  return {{_mm_unpacklo_epi16(lo, z), _mm_unpackhi_epi16(lo, z), _mm_unpacklo_epi16(hi, z),
           _mm_unpackhi_epi16(hi, z)}};
}
#else
// Elsewhere, the compiler's own vectors.
typedef uint32_t v32raw __attribute__((vector_size(4 * L)));
struct v32 {
  v32raw v;
};
struct v16 {
  uint16_t v __attribute__((vector_size(2 * L)));
};
typedef uint8_t v8 __attribute__((vector_size(L)));
static inline v32 splat(uint32_t a) { return {v32raw{} + a}; }
static inline v32 add(v32 a, v32 b) { return {a.v + b.v}; }
static inline v32 times(v32 a, uint32_t c) { return {a.v * c}; }
static inline v32 load32(const uint32_t *p) {
  v32 a;
  memcpy(&a.v, p, sizeof a.v);
  return a;
}
static inline void store32(uint32_t *p, v32 a) { memcpy(p, &a.v, sizeof a.v); }
static inline v32 most(v32 a, v32 b) { return {a.v > b.v ? a.v : b.v}; }
static inline uint32_t top(v32 a) {
  uint32_t m = 0;
  for (int i = 0; i < L; i++) m = std::max(m, a.v[i]);
  return m;
}
static inline unsigned equal(v32 a, uint32_t x) {
  unsigned m = 0;
  for (int i = 0; i < L; i++) m |= (unsigned)(a.v[i] == x) << i;
  return m;
}
static inline unsigned at_least(v32 a, uint32_t x) {
  unsigned m = 0;
  for (int i = 0; i < L; i++) m |= (unsigned)(a.v[i] >= x) << i;
  return m;
}
static inline v32 below(v32 a, int m) {
  for (int i = m; i < L; i++) a.v[i] = 0;
  return a;
}
static inline v32 bits(uint32_t w) {
  v32raw lane;
  for (int i = 0; i < L; i++) lane[i] = i;
  return {(v32raw{} + w) >> lane & 1};
}
static inline v16 load16(const uint16_t *p) {
  v16 a;
  memcpy(&a.v, p, sizeof a.v);
  return a;
}
static inline v16 add16(v16 a, v16 b) { return {a.v + b.v}; }
static inline v32 widen(v16 a) { return {__builtin_convertvector(a.v, v32raw)}; }
static inline v32 widen(v8 a) { return {__builtin_convertvector(a, v32raw)}; }
#endif

#if defined(SUBSCAN_AVX512) || defined(SUBSCAN_AVX2) || defined(SUBSCAN_SSE2)
SUBSCAN_TARGET SUBSCAN_INLINE v8 load8(const uint8_t *p) {
  return _mm_loadu_si128((const __m128i *)p);
}
SUBSCAN_TARGET SUBSCAN_INLINE v8 add8(v8 a, v8 b) { return _mm_add_epi8(a, b); }
#else
static inline v8 load8(const uint8_t *p) {
  v8 a;
  memcpy(&a, p, sizeof a);
  return a;
}
static inline v8 add8(v8 a, v8 b) { return a + b; }
#endif

// The sum, lane by lane, of the 16 counters from one + at[c] on for c <
// m1, and from two + at[c] on for m1 <= c < m; `narrow` counters at a time
// are added in their own width before widening.
template <class T>
SUBSCAN_TARGET SUBSCAN_INLINE v32 cells(const T *one, const T *two, const int64_t *at, int m1,
                                        int m, int narrow) {
  v32 s = splat(0);
  if constexpr (sizeof(T) == 4) {
    for (int c = 0; c < m; c++) s = add(s, load32((c < m1 ? one : two) + at[c]));
  } else if constexpr (sizeof(T) == 2) {
    for (int c = 0; c < m;) {
      int end = std::min(m, c + narrow);
      v16 h = load16((c < m1 ? one : two) + at[c]);
      for (c++; c < end; c++) h = add16(h, load16((c < m1 ? one : two) + at[c]));
      s = add(s, widen(h));
    }
  } else {
    for (int c = 0; c < m;) {
      int end = std::min(m, c + narrow);
      v8 h = load8((c < m1 ? one : two) + at[c]);
      for (c++; c < end; c++) h = add8(h, load8((c < m1 ? one : two) + at[c]));
      s = add(s, widen(h));
    }
  }
  return s;
}

// The same for a level of one bit a counter: lane i takes bit i from bit
// one + at[c] (c < m1) or two + at[c] on.
SUBSCAN_TARGET SUBSCAN_INLINE v32 bit_cells(const uint8_t *f, int64_t one, int64_t two,
                                            const int64_t *at, int m1, int m) {
  v32 s = splat(0);
  for (int c = 0; c < m; c++) {
    int64_t p = (c < m1 ? one : two) + at[c];
    uint32_t word;
    memcpy(&word, f + (p >> 3), sizeof word);
    s = add(s, bits(word >> (p & 7)));
  }
  return s;
}

// One tile of 16 counts: start, plus for every level j the coefficient
// times the sum of the counters at last - one_base - r for each rank r of
// one[j], and (with both) at last - two_base - r for each of two[j], each
// counter read `shift` places on.
SUBSCAN_TARGET SUBSCAN_INLINE v32 tile(const subcount &sc, const subscratch &w, uint32_t start,
                                       int64_t one_base, int64_t two_base, bool both,
                                       int64_t shift) {
  v32 acc = splat(start);
  for (int j = sc.jlo; j <= sc.jhi; j++) {
    const sublevel &lv = sc.level[j];
    int m1 = w.cells_one[j], m = both ? w.cells[j] : m1;
    if (m == 0) continue;
    const int64_t *at = w.at[j].data();
    int64_t one = lv.last - one_base + shift, two = lv.last - two_base + shift;
    v32 s;
    switch (lv.bits) {
    case 1:
      s = bit_cells(lv.u8.data(), one, two, at, m1, m);
      break;
    case 8:
      s = cells(lv.u8.data() + one, lv.u8.data() + two, at, m1, m, lv.narrow);
      break;
    case 16:
      s = cells(lv.u16.data() + one, lv.u16.data() + two, at, m1, m, lv.narrow);
      break;
    default:
      s = cells(lv.u32.data() + one, lv.u32.data() + two, at, m1, m, 1);
    }
    acc = add(acc, lv.coef == 1 ? s : times(s, (uint32_t)lv.coef));
  }
  return acc;
}

SUBSCAN_TARGET static bool better(const subseed &a, const subseed &b) {
  return a.standing > b.standing;
}

// The first of the m bounds p[0..m-1] (counts, below 2^31) that reaches x,
// or m: 16 at a time, then one by one (the bounds past m are another
// group's, which another thread may be writing).
SUBSCAN_TARGET SUBSCAN_INLINE int reaching(const int *p, int m, uint32_t x) {
  int i = 0;
  for (; i + L <= m; i += L)
    if (unsigned e = at_least(load32((const uint32_t *)p + i), x)) return i + __builtin_ctz(e);
  while (i < m && (uint32_t)p[i] < x) i++;
  return i;
}

// The largest of the m bounds p[0..m-1], the same way.
SUBSCAN_TARGET SUBSCAN_INLINE int largest(const int *p, int m) {
  v32 hi = splat(0);
  int i = 0;
  for (; i + L <= m; i += L) hi = most(hi, load32((const uint32_t *)p + i));
  int most_one = (int)top(hi);
  for (; i < m; i++) most_one = std::max(most_one, p[i]);
  return most_one;
}

SUBSCAN_TARGET void scan_chunk(subcount &sc, int c, int *bound, subscratch &w,
                               std::atomic<uint64_t> &best) {
  int n = sc.n, q = sc.x - 2;
  alignas(64) uint32_t acc[subcount_max_run + L];
  int *run_max = sc.run_max.data();
  for (int g = sc.chunk_group[c]; g < sc.chunk_group[c + 1]; g++) {
    uint64_t b = best.load(std::memory_order_relaxed);
    if (subscan_pack(sc.group_max[g], sc.group_row[g]) <= b) continue;
    bool built = false;
    int low = q ? sc.group_set[(size_t)g * q + q - 1] : 0;
    int first = sc.group_run[g], end = sc.group_run[g + 1];
    for (int ri = first; ri < end; ri++) {
      // A run whose bound is below the best count cannot beat it: pass over
      // those 16 at a time. (The best only rises: a stale one passes over
      // fewer.)
      ri += reaching(run_max + ri, end - ri, (uint32_t)(b >> 32));
      if (ri == end) break;
      // Run a starts after the n - a' rows of each run a' before it.
      int a = low + 1 + (ri - first), rows = n - a;
      int row = sc.group_row[g] + (a - low - 1) * n - ((a - 1) * a - low * (low + 1)) / 2;
      if (subscan_pack(run_max[ri], row) <= b) continue;
      if (!built) {
        // The counts of Q + a for every run of the group at once: as a
        // runs upward, each subset's counter moves up by one place.
        build_group(sc, g, w);
        int runs = n - 1 - low, tiles = (runs + L - 1) / L;
        for (int t = 0; t < tiles; t++)
          store32(w.with_a + t * L, tile(sc, w, w.q_only, n - low - 1, 0, false, t * L));
        built = true;
      }
      // The run Q, a, v for v = a+1..n: subsets of Q alone and with a
      // (with_a), with v, and with both.
      int64_t first_v = n - (a + 1), second = (int64_t)(n - a) * (n - a - 1) / 2 + first_v;
      int tiles = (rows + L - 1) / L;
      uint32_t with_a = w.with_a[a - low - 1];
      v32 hi = splat(0);
      for (int t = 0; t < tiles; t++) {
        v32 v = tile(sc, w, with_a, first_v, second, true, t * L);
        if (t == tiles - 1) v = below(v, rows - t * L);  // the lanes past the run: 0
        hi = most(hi, v);
        store32(acc + t * L, v);
      }
      w.runs++;
      // The largest count (every count fits an int) and its first lane.
      uint32_t m32 = top(hi);
      int m = (int)m32, at = 0;
      for (int t = 0; t < tiles; t++)
        if (unsigned e = equal(load32(acc + t * L), m32)) {
          at = t * L + __builtin_ctz(e);
          break;
        }
      // The bounds are not read again in this scan: write them past the
      // cache rather than fetch each line first.
      for (int i = 0; i < rows; i++) stream_int(bound + row + i, (int)acc[i]);
      run_max[ri] = m;
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
      b = best.load(std::memory_order_relaxed);
    }
    sc.group_max[g] = largest(run_max + first, end - first);
  }
}
