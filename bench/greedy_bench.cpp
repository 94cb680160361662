// One greedy run, timed: greedy_bench n k x t [literal]. Runs vorlank2 with
// its output sent to /dev/null and prints "covers seconds peak_mb" on
// standard error. With "literal" the run scans the nk-table as the plain
// algorithm does instead of using subset counts.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "k.h"

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

int main(int argc, char **argv) {
  if (argc < 5) {
    fprintf(stderr, "use: greedy_bench n k x t [literal]\n");
    return 2;
  }
  vorlank_n = atoi(argv[1]), vorlank_k = atoi(argv[2]);
  vorlank_x = atoi(argv[3]), vorlank_t = atoi(argv[4]);
  greedy_literal = argc > 5 && strcmp(argv[5], "literal") == 0;
  if (!freopen("/dev/null", "w", stdout)) return 1;
  auto start = std::chrono::steady_clock::now();
  vorlank2();
  fflush(stdout);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fprintf(stderr, "%d %.3f %.1f\n", c2p, seconds, peak_mb());
  return 0;
}
