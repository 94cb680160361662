// The exact solve through CBC's C interface, and standard output kept from
// what CBC prints.
#include "design/methods/exact.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#ifdef VORLANK_HAVE_CBC
#include <Cbc_C_Interface.h>
#endif

namespace design {

static FILE *own = nullptr;

bool mute_stdout() {
  if (own) return true;
  fflush(stdout);  // what is written so far goes where it was meant to
  int kept = fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (kept < 0) return false;
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  FILE *f = null < 0 ? nullptr : fdopen(kept, "w");
  if (!f || dup2(null, 1) < 0) {
    if (f)
      fclose(f);
    else
      close(kept);
    if (null >= 0) close(null);
    return false;
  }
  close(null);
  own = f;
  return true;
}

FILE *own_stdout() { return own ? own : stdout; }

#ifdef VORLANK_HAVE_CBC

bool exact_available() { return true; }

// Bytes free for CBC's own allocations, checked before each solve.
static constexpr size_t kHeadroom = (size_t)64 << 20;
// A solve with less time left than this does not start.
static constexpr double kLeastSeconds = 0.01;

CoverSolution solve_cover(size_t rows, const std::vector<std::vector<uint32_t>> &rows_of,
                          const std::vector<uint32_t> &weight, Deadline end, int nodes,
                          const std::vector<uint32_t> &demand, uint64_t most) {
  // CBC's solver keeps its parameters in static tables: one solve at a time.
  // The time a solve has is what is left once its turn comes, not what was
  // left when it started to wait.
  static std::mutex one_at_a_time;
  std::lock_guard<std::mutex> lock(one_at_a_time);
  CoverSolution out;
  double seconds = seconds_until(end);
  if (seconds < kLeastSeconds) return out;
  // Parts of CBC written in C do not check their allocations and crash where
  // memory runs out: no solve starts without headroom (an exception here
  // ends the run cleanly).
  std::unique_ptr<char[]> headroom(new char[kHeadroom]);
  headroom.reset();
  int cols = (int)rows_of.size();
  // The cap on the total weight is one more row, after the others.
  const bool capped = most < UINT64_MAX;
  std::vector<int> begin{0}, index;
  std::vector<double> value, low(cols, 0), high(cols, 1), cost(weight.begin(), weight.end());
  for (int c = 0; c < cols; c++) {
    for (uint32_t r : rows_of[c]) index.push_back((int)r), value.push_back(1);
    if (capped) index.push_back((int)rows), value.push_back(weight[c]);
    begin.push_back((int)index.size());
  }
  std::vector<double> row_low(rows, 1), row_high(rows, INFINITY);
  for (size_t r = 0; r < demand.size() && r < rows; r++) row_low[r] = demand[r];
  if (capped) row_low.push_back(0), row_high.push_back((double)most);
  Cbc_Model *m = Cbc_newModel();
  Cbc_loadProblem(m, cols, (int)row_low.size(), begin.data(), index.data(), value.data(),
                  low.data(), high.data(), cost.data(), row_low.data(), row_high.data());
  for (int c = 0; c < cols; c++) Cbc_setInteger(m, c);
  Cbc_setLogLevel(m, 0);
  // Wall time, not CPU time: on a loaded machine CPU time overruns the limit.
  Cbc_setParameter(m, "timeMode", "elapsed");
  // No threads at all: with "1" CBC still starts a helper thread, and its
  // hand-over now and then waits out a 10 s timer (seen in the proofs'
  // tests: 10.01 s for a solve of 0.01 s).
  Cbc_setParameter(m, "threads", "0");
  // Its zero-half cut generator is one of those parts (seen under ulimit -v).
  Cbc_setParameter(m, "zeroHalfCuts", "off");
  char secs[32];
  snprintf(secs, sizeof secs, "%.3f", seconds);
  Cbc_setParameter(m, "sec", secs);
  if (nodes < INT32_MAX) Cbc_setMaximumNodes(m, nodes);
  Cbc_solve(m);
  const double *x = Cbc_bestSolution(m);
  if (x)
    for (int c = 0; c < cols; c++)
      if (x[c] > 0.5) out.chosen.push_back((uint32_t)c);
  out.optimal = x && Cbc_isProvenOptimal(m);
  out.infeasible = !x && Cbc_isProvenInfeasible(m);
  out.bound = Cbc_getBestPossibleObjValue(m);
  Cbc_deleteModel(m);
  return out;
}

#else

bool exact_available() { return false; }

CoverSolution solve_cover(size_t, const std::vector<std::vector<uint32_t>> &,
                          const std::vector<uint32_t> &, Deadline, int,
                          const std::vector<uint32_t> &, uint64_t) {
  return {};
}

#endif

}  // namespace design
