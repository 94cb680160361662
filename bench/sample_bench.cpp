// Rounds per second of the statistic generator on L(49,6,6,3): runs the real
// strategy, vorlank3, five times on 10,000,000 rounds, with standard input
// read from a file and standard output caught in another, and prints the
// median rate and the estimate (close to 53.655).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "greedy/k.h"

int main() {
  const int rounds = 10000000, runs = 5;
  vorlank_n = 49, vorlank_k = 6, vorlank_x = 6, vorlank_t = 3;

  char path[] = "/tmp/sample_bench_XXXXXX";
  int fd = mkstemp(path);
  dprintf(fd, "%d\n", rounds);
  close(fd);
  int saved = dup(1);

  std::vector<double> rate;
  int hits = -1;
  for (int i = 0; i < runs; i++) {
    if (!freopen(path, "r", stdin)) return 1;
    FILE *out = tmpfile();
    fflush(stdout);
    dup2(fileno(out), 1);
    auto t0 = std::chrono::steady_clock::now();
    vorlank3();
    fflush(stdout);
    auto t1 = std::chrono::steady_clock::now();
    dup2(saved, 1);
    rate.push_back(rounds / std::chrono::duration<double>(t1 - t0).count());

    // The counts line follows the prompt: "...round:10000000 - HITS".
    char text[256] = {0};
    rewind(out);
    size_t got = fread(text, 1, sizeof text - 1, out);
    fclose(out);
    const char *p = strstr(text, "round:");
    int shown = 0, h = -1;
    if (got == 0 || !p || sscanf(p + 6, "%d - %d", &shown, &h) != 2) {
      printf("no counts line in the output:\n%s\n", text);
      return 1;
    }
    if (hits >= 0 && h != hits) printf("runs disagree: %d hits, then %d\n", hits, h);
    hits = h;
  }
  unlink(path);

  std::sort(rate.begin(), rate.end());
  printf("L(49,6,6,3), %d rounds, median of %d runs: %.1f million rounds/s\n", rounds, runs,
         rate[runs / 2] / 1e6);
  printf("hits %d, estimate %f (expected close to 53.655)\n", hits, (double)rounds / hits);
  return 0;
}
