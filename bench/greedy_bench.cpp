// One greedy run, timed: greedy_bench n k x t [literal]. Runs vorlank2 with
// its output sent to /dev/null and prints "covers seconds cpu_seconds
// peak_mb" on standard error. With "literal" the run scans the nk-table as
// the plain algorithm does instead of using subset counts. VORLANK_THREADS
// and VORLANK_KERNEL fix the engine's thread count and kernel.
// greedy_bench kernels: the scan kernels this processor runs, one a line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include "greedy/k.h"
#include "greedy/subcount.h"

// Peak resident memory of this process, in MB.
static double peak_mb() {
  std::ifstream f("/proc/self/status");
  for (std::string key; f >> key;)
    if (key == "VmHWM:") {
      double kb;
      f >> kb;
      return kb / 1024;
    }
  return 0;
}

// User and system CPU time of this process, in seconds.
static double cpu_seconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  auto sec = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

int main(int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "kernels") == 0) {
    for (int v = 0; v < subkernels; v++)
      if (subcount_supports(v)) printf("%s\n", subcount_kernel_name(v));
    return 0;
  }
  if (argc < 5) {
    fprintf(stderr, "use: greedy_bench n k x t [literal]\n");
    return 2;
  }
  vorlank_n = atoi(argv[1]), vorlank_k = atoi(argv[2]);
  vorlank_x = atoi(argv[3]), vorlank_t = atoi(argv[4]);
  greedy_literal = argc > 5 && strcmp(argv[5], "literal") == 0;
  if (!freopen("/dev/null", "w", stdout)) return 1;
  auto start = std::chrono::steady_clock::now();
  double cpu = cpu_seconds();
  vorlank2();
  fflush(stdout);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fprintf(stderr, "%d %.3f %.3f %.1f\n", c2p, seconds, cpu_seconds() - cpu, peak_mb());
  return 0;
}
