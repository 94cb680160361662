// Greedy cover search: hit counting, best-cover selection, removal of
// covered k-sets with the cover log, and the driver of strategy 2.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <unistd.h>

#include "greedy/k.h"
#include "greedy/subcount.h"
#include "base/sysmem.h"

unsigned char *c2;
int c2p;
int *c4;
int summ;
bool greedy_literal;

// What a run keeps beside the shared state; greedy_reset starts it afresh.
struct run_state {
  size_t c2_size = 0;        // bytes held by the cover log
  subcount sc;               // subset counts of the uncovered k-sets
  bool fast = false;         // this run counts with sc instead of scanning the nk-table
  int progress_row = 0;      // rows of the current selection already reported
  std::vector<int> covered;  // rows the last cover covered (sign_hits)
};
static run_state run;

void greedy_reset() {
  free(c1), free(c2), free(c3), free(c4);
  c1 = c2 = c3 = nullptr, c4 = nullptr;
  len = lenx = summ = c2p = 0;
  sec_start = sec_end = sec_start2 = sec_end2 = 0;
  run = run_state();
}

static bool engine_fits(int n, int k, int x, int t) {
  if (greedy_literal || !subcount_takes(n, k, x, t)) return false;
  // Nor should the counters outgrow the tables by much.
  double tables = (double)binom64(n, k) * (k + 1) + (double)binom64(n, x) * (x + 1);
  return subcount_bytes(n, k, x, t) <= 2 * tables + (256 << 20);
}

// Numbers of x-set in szt (positions 1..x) shared with nk-table row r,
// counting stops at t.
int comp(int r) {
  const unsigned char *row = c1 + (size_t)(vorlank_k + 1) * r;
  int i = 1, j = 1, c = 0;
  while (i <= vorlank_x && j <= vorlank_k && c < vorlank_t) {
    int a = row[j], b = szt[i];
    if (a > b)
      i++;
    else if (a < b)
      j++;
    else
      c++, i++, j++;
  }
  return c;
}

int count_hits() {
  if (run.fast) return subcount_count(run.sc, szt + 1);
  int c = 0;
  for (int r = 1; r <= len; r++)
    if (comp(r) >= vorlank_t) c++;
  return c;
}

// The percentage field of one selection: an update after rows 1, 1 + (s+2),
// 1 + 2(s+2), ... with s = lenx / 100. progress(r) prints the updates of the
// rows scanned since the last call, up to row r.
static void progress(int to) {
  static const bool tty = isatty(1);
  int every = lenx / 100 + 2;
  int done = run.progress_row;
  int first = done + (every - done % every) % every + 1;  // first update row after
  for (int r = first; r <= to; r += every) printf("\b\b\b\b%3.f%%", r / (lenx / 100.0));
  if (tty && to > done) fflush(stdout);
  run.progress_row = std::max(done, to);
}

// The selection by subset counts: the same choice, bounds and output.
static int get_max_hit_fast() {
  int row, best = subcount_best(run.sc, c4, lenx, &row, progress);
  if (best > 0) {
    const unsigned char *set = c3 + (size_t)(vorlank_x + 1) * row;
    for (int i = 1; i <= vorlank_x; i++) szt[i] = set[i];
    copy_sz2b();
  }
  return best;
}

int get_max_hit() {
  int best = 0, x = vorlank_x;
  printf("    ");
  run.progress_row = 0;
  if (run.fast) {
    best = get_max_hit_fast();
    printf("\b\b\b\b\b");
    copy_b2sz();
    return best;
  }
  for (int r = 1; r <= lenx; r++) {
    const unsigned char *row = c3 + (size_t)(x + 1) * r;
    for (int i = 1; i <= x; i++) szt[i] = row[i];
    if (c4[r] > best) {
      int h = count_hits();
      c4[r] = h;
      if (h > best) {
        best = h;
        copy_sz2b();
      }
    }
    progress(r);
  }
  printf("\b\b\b\b\b");
  copy_b2sz();
  return best;
}

void save_szt() {
  int w = vorlank_x + 1;
  c2p++;
  if ((size_t)w * (c2p + 1) > run.c2_size) {
    // Nothing bounds the number of covers in advance: grow the log.
    size_t size = 2 * (size_t)w * (c2p + 1);
    unsigned char *p = (unsigned char *)realloc(c2, size);
    if (!p) throw std::bad_alloc();
    c2 = p, run.c2_size = size;
  }
  for (int i = 1; i <= vorlank_x; i++) c2[(size_t)w * c2p + i] = (unsigned char)szt[i];
}

void sign_hits() {
  int k = vorlank_k, w = k + 1, gone;
  if (run.fast) {
    // The engine finds the covered rows, takes them out of its counts and
    // compacts the table as the pass below would, in one go.
    gone = subcount_cover(run.sc, szt + 1, c1, w, len);
  } else {
    std::vector<int> &covered = run.covered;
    covered.clear();
    for (int r = 1; r <= len; r++)
      if (comp(r) >= vorlank_t) covered.push_back(r);
    // Rows that stay move down a block at a time, as a row-by-row copy in
    // ascending order would; each covered row is flagged where it stood.
    int d = 1, keep = 1;
    auto move_block = [&](int r) {
      memmove(c1 + (size_t)w * d, c1 + (size_t)w * keep, (size_t)w * (r - keep));
      d += r - keep;
    };
    for (int r : covered) {
      move_block(r);
      keep = r + 1;
      c1[(size_t)w * r] = 1;
    }
    move_block(len + 1);
    gone = (int)covered.size();
  }
  summ += gone;
  save_szt();
  len -= gone;
  printf("left: %9d   ", len);
}

// Bytes the run takes for parameters the caller has checked.
static double greedy_bytes(int n, int k, int x, int t) {
  double nk = (double)binom64(n, k), nx = (double)binom64(n, x);
  double tables = (nk + 1) * (k + 1) + (nx + 1) * (x + 1) + 4 * (nx + x) + 64 * (x + 1);
  return tables + (engine_fits(n, k, x, t) ? subcount_bytes(n, k, x, t) : 0);
}

// Rows are numbered by signed 32-bit integers.
const int64_t max_rows = INT32_MAX;

static bool too_many_rows(int n, int m) {
  int64_t rows = binom64(n, m);
  return rows < 0 || rows > max_rows;
}

std::string greedy_refusal(int n, int k, int x, int t, double avail_mb) {
  char buf[256];
  if (k < 1 || x < 1 || k > max_set || x > max_set)
    snprintf(buf, sizeof buf,
             "Error: the greedy run takes k and x from 1 to %d (here k = %d, x = %d).\n", max_set,
             k, x);
  else if (n > max_pool)
    snprintf(buf, sizeof buf,
             "Error: the greedy run takes n up to %d, numbers are stored in bytes (here n = %d).\n",
             max_pool, n);
  else if (t > k)
    snprintf(buf, sizeof buf,
             "Error: t = %d exceeds k = %d, so no cover can share t numbers with a k-set.\n", t, k);
  else if (int m = too_many_rows(n, k) ? k : too_many_rows(n, x) ? x : 0)
    snprintf(buf, sizeof buf,
             "Error: a table of C(%d,%d) rows is too large; the greedy run holds at most "
             "%lld rows.\n",
             n, m, (long long)max_rows);
  else if (std::string no =
               memory_refusal("the greedy run", greedy_bytes(n, k, x, t) / 1048576.0, avail_mb);
           !no.empty())
    return no + "\n";
  else
    return "";
  return buf;
}

void vorlank2() {
  std::string no = greedy_refusal(vorlank_n, vorlank_k, vorlank_x, vorlank_t, available_mb());
  if (!no.empty()) {
    printf("%s", no.c_str());
    return;
  }
  greedy_run();
}

// Allocation with the failure thrown, so that the run ends in one place.
template <class T> static T *take(size_t count) {
  T *p = (T *)malloc(sizeof(T) * count);
  if (!p) throw std::bad_alloc();
  return p;
}

void greedy_run() {
  int n = vorlank_n, k = vorlank_k, x = vorlank_x, t = vorlank_t;
  greedy_reset();
  bool in_line = false;  // a step's line is open
  try {
    int nk = (int)binom64(n, k), nx = (int)binom64(n, x);
    time_start();
    c1 = take<unsigned char>((size_t)(nk + 1) * (k + 1));
    run.c2_size = (size_t)(x + 1) * 16;
    c2 = take<unsigned char>(run.c2_size);
    c3 = take<unsigned char>((size_t)(nx + 1) * (x + 1));
    c4 = take<int>((size_t)nx + x);
    subcount_advise(c4, sizeof(int) * ((size_t)nx + x));
    for (int i = 1; i <= nx; i++) c4[i] = nk;
    run.fast = engine_fits(n, k, x, t);
    if (run.fast) {
      subcount_init(run.sc, n, k, x, t, nk);
      run.sc.whole_table = true;  // the nk-table
    }
    printf("Greedy: L(%d,%d,%d,%d)\n", n, k, x, t);
    printf("Memory need for (nk-table): %3.3f MB\n", (double)nk * (double)(k + 1) / 1048576.0);
    printf("Memory need for (nx-table): %3.3f MB\n", (double)nx * (double)(x + 1) / 1048576.0);
    nkvary();
    nxvary();
    int target = len;
    printf("left: %9d   ", len);
    in_line = true;

    // The rest of a cover's line, then its removal.
    auto end_step = [] {
      p_szt();
      time_stop2();
      time_run2();
      sec_start2 = sec_end2 = 0;
      sign_hits();
    };
    int covers = 0;
    for (int s = 1; s <= n - x + 1; s += x, covers++) {
      beg_sz(s);
      time_start2();
      printf("%8d cover_   ", count_hits());
      end_step();
    }
    for (; target > summ; covers++) {
      time_start2();
      int h = get_max_hit();
      if (h == 0) {
        // Some x-set always covers a k-set that is left: a count went wrong,
        // and going on would choose nothing forever.
        printf("\nError: internal error: no cover found for the %d k-sets left; the run "
               "stops.\n",
               len);
        return;
      }
      printf("%9d cover    ", h);
      end_step();
    }
    printf("\n** %d ** needed\n", covers);
    time_stop();
    time_run();
  } catch (const std::bad_alloc &) {
    printf("%sError: out of memory in the greedy run of L(%d,%d,%d,%d).\n", in_line ? "\n" : "", n,
           k, x, t);
  }
}
