// Statistic generator: estimates the number of covers by random sampling.
// Each round draws a random k-set (into nks) and then a
// random x-set (into szt) and counts a hit when they share t numbers; the
// estimate is rounds / hits.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "greedy/k.h"

// The ISO C example generator in 32-bit unsigned arithmetic rather than the
// platform's rand, so that every build prints the same numbers.
static uint32_t next;

void rand_init() { next = 721; }

// The next value, 0..32767, of the generator whose state is g.
static inline uint32_t step(uint32_t &g) {
  g = g * 1103515245u + 12345u;
  return g / 65536 % max_draw;
}

// The draw's constants for the pool 1..rm, computed when the pool changes: it
// stays the same for a whole run, and two divisions per draw would cost more
// than the rest of it.
static int rm;
static uint32_t rlimit;  // q * rm, where q = max_draw / rm
static uint64_t rinv;    // 2^32 / q + 1: r * rinv >> 32 == r / q for every r < 2^15

static void draw_setup(int m) {
  uint32_t q = max_draw / (uint32_t)m;
  rm = m, rlimit = q * (uint32_t)m, rinv = (1ull << 32) / q + 1;
}

// A number of the pool without bias: generator values from q * rm up are
// skipped, so each result comes from exactly q values. When rm is a power of
// two nothing is skipped and the result is the plain scaled value r / q + 1.
static inline int draw(uint32_t &g) {
  uint32_t r;
  do r = step(g);
  while (r >= rlimit);
  return (int)(r * rinv >> 32) + 1;
}

// 1 <= m <= max_draw.
int randi(int m) {
  if (m != rm) draw_setup(m);
  return draw(next);
}

// Membership marks for the pool 1..max_draw: mark[v] == id while v belongs to the
// set that owns id. A fresh id empties the set without touching the array, so
// a number is checked with one look-up instead of against every earlier one.
static uint32_t fresh(uint32_t *mark, uint32_t &id) {
  if (++id == 0) {  // after 2^32 sets the oldest marks would match again
    memset(mark, 0, (max_draw + 1) * sizeof *mark);
    id = 1;
  }
  return id;
}

static uint32_t drawn[max_draw + 1], drawn_id;  // the set being drawn (gen_nk, gen_nx)
static uint32_t inks[max_draw + 1], inks_id;    // the k-set, while comp_us counts

// Positions 1..m of s get distinct numbers of 1..n: a position is drawn again
// until its number differs from all earlier ones; earlier positions are never
// drawn again. Inlined into gen_nk and gen_nx, with the generator state in a
// local, as the rounds spend nearly all their time here.
[[gnu::always_inline]] static inline void draw_set(int *s, int m) {
  if (vorlank_n != rm) draw_setup(vorlank_n);
  uint32_t id = fresh(drawn, drawn_id);
  uint32_t g = next;
  for (int i = 1; i <= m; i++) {
    int v;
    do v = draw(g);
    while (drawn[v] == id);
    drawn[v] = id;
    s[i] = v;
  }
  next = g;
}

int nks[max_set + 1];

void gen_nk() { draw_set(nks, vorlank_k); }
void gen_nx() { draw_set(szt, vorlank_x); }

// Numbers common to the x-set and the k-set; neither repeats a number, so this
// is the number of equal pairs.
int comp_us() {
  uint32_t id = fresh(inks, inks_id);
  for (int j = 1; j <= vorlank_k; j++) inks[nks[j]] = id;
  int c = 0;
  for (int i = 1; i <= vorlank_x; i++) c += inks[szt[i]] == id;
  return c;
}

// The number of rounds with scanf's "%d" rules (white space skipped, an
// optional sign, then digits), but refusing what does not fit an int instead
// of leaving it undefined. Returns 0 when read, 1 when there is no number,
// 2 when it is out of range.
static int read_rounds(int *out) {
  int c;
  do c = getchar();
  while (c != EOF && isspace(c));
  bool neg = c == '-';
  if (c == '-' || c == '+') c = getchar();
  if (c == EOF || !isdigit(c)) return 1;
  int64_t v = 0;
  for (; c != EOF && isdigit(c); c = getchar())
    v = std::min<int64_t>(v * 10 + (c - '0'), INT64_C(1) << 40);  // past any int, no wrap
  if (c != EOF) ungetc(c, stdin);
  if (neg) v = -v;
  if (v < INT_MIN || v > INT_MAX) return 2;
  *out = (int)v;
  return 0;
}

// Flattened so that the rounds run gen_nk, gen_nx and comp_us inline.
[[gnu::flatten]] void vorlank3() {
  int n = vorlank_n, k = vorlank_k, x = vorlank_x, t = vorlank_t;
  // k < 0 or x < 0 (wrapped arguments) draw nothing, like 0.
  if (k > max_set || x > max_set) {
    printf("Error: the statistic generator takes k and x up to %d (here k = %d, x = %d).\n",
           max_set, k, x);
    return;
  }
  if (n > max_draw) {
    printf("Error: the statistic generator takes n up to %d, the range of its random draw "
           "(here n = %d).\n",
           max_draw, n);
    return;
  }
  printf("Statistic for: L(%d,%d,%d,%d)\n", n, k, x, t);
  rand_init();
  printf("Please enter the number of round:");
  fflush(stdout);
  int rounds = 0;
  int got = read_rounds(&rounds);
  if (got != 0) {
    // The prompt has no line end; the error gets a line of its own.
    if (got == 1)
      printf("\nError: no number of rounds was entered.\n");
    else
      printf("\nError: the number of rounds does not fit in 32 bits (%d to %d).\n", INT_MIN,
             INT_MAX);
    return;
  }
  int hits = 0;
  for (int r = rounds; r > 0; r--) {
    gen_nk();
    gen_nx();
    if (comp_us() >= t) hits++;
  }
  printf("%d - %d\n", rounds, hits);
  if (hits == 0) hits = 1;
  printf("\n** %f **  aproximately needed..\n", (double)rounds / hits);
}
