// Subset enumeration: the parameters, the working set, the binomial
// coefficient, lexicographic stepping and the two subset tables.
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "greedy/k.h"

int vorlank_n, vorlank_k, vorlank_x, vorlank_t;
int szt[max_set + 1], bsz[max_set + 1];
unsigned char *c1, *c3;
int len, lenx;

// C(n,k) in unsigned 32-bit arithmetic: exact while C(n,i)*i < 2^32 for
// every i <= k, silently wrong beyond. Sizes use binom64 instead.
int nalk(int n, int k) {
  uint32_t r = 1;
  for (int i = 1; i <= k; i++) {
    r = r * (uint32_t)(n - i + 1);
    r = r / (uint32_t)i;
  }
  return (int)r;
}

int64_t binom64(int n, int k) {
  if (k < 0 || k > n) return 0;
  if (k > n - k) k = n - k;
  unsigned __int128 r = 1;
  for (int i = 1; i <= k; i++) {
    r = r * (unsigned)(n - i + 1) / (unsigned)i;
    if (r > ((unsigned __int128)1 << 62)) return -1;
  }
  return (int64_t)r;
}

// Next m-set of 1..n after positions 1..m of szt; the caller has checked
// that szt is not the last one.
static void sztep(int m) {
  int n = vorlank_n;
  if (++szt[m] <= n) return;
  int j = 1;
  while (szt[m - j] >= n - j) j++;
  int v = szt[m - j] + 1;
  for (int i = 0; i <= j; i++) szt[m - j + i] = v + i;
}

void sztep_nk() { sztep(vorlank_k); }
void sztep_nx() { sztep(vorlank_x); }

void beg_sz(int s) {
  for (int i = 1; i <= vorlank_x; i++) szt[i] = i + s - 1;
}

void copy_sz2b() {
  for (int i = 1; i <= vorlank_x; i++) bsz[i] = szt[i];
}

void copy_b2sz() {
  for (int i = 1; i <= vorlank_x; i++) szt[i] = bsz[i];
}

void p_szt() {
  for (int i = 1; i <= vorlank_x; i++) printf("%2d ", szt[i]);
}

// Writes every m-set of 1..n, in lexicographic order, as rows of m + 1
// bytes (a flag byte, then the numbers) from row 1 of tab; returns the rows.
static int vary(unsigned char *tab, int m, void (*step)(), const char *title) {
  static const bool tty = isatty(1);  // dots show as they come, not when the line ends
  int n = vorlank_n, w = m + 1;
  printf("%s", title);
  // One dot per fortieth of the table. The exact count keeps the interval
  // right where nalk would wrap.
  int d = (int)(binom64(n, m) / 40 + 1);
  for (int i = 1; i <= m; i++) szt[i] = i;
  int r = 1, dot = d < 2 ? 2 : d;  // the next row that ends with a dot (a multiple of d)
  unsigned char *row = tab + (size_t)w * r;
  row[0] = 0;
  for (int j = 1; j <= m; j++) row[j] = (unsigned char)szt[j];
  while (szt[1] != n - m + 1) {
    // Most rows differ from the one before only in their last number: a
    // copy of that row, its last byte raised.
    unsigned char *next = row + w;
    if (szt[m] < n) {
      memcpy(next, row, w);
      next[m] = (unsigned char)++szt[m];
    } else {
      step();
      next[0] = 0;
      for (int j = 1; j <= m; j++) next[j] = (unsigned char)szt[j];
    }
    row = next;
    if (++r == dot) {
      dot += d;
      printf(".");
      if (tty) fflush(stdout);
    }
  }
  printf("\n");
  return r;
}

void nkvary() { len = vary(c1, vorlank_k, sztep_nk, "Building n under k table."); }
void nxvary() { lenx = vary(c3, vorlank_x, sztep_nx, "Building n under x table."); }
