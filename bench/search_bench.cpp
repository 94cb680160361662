// The local searches of vorlank-design alone, from the colex greedy's wheel
// (or from a wheel file): the annealer or the weighted search, one run of one
// seed, stopped by moves or seconds, prints the covers reached, the moves
// made and the seconds taken.
//   search_bench n k x t anneal|weighted seed seconds [moves] [wheel file]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "design/methods/anneal.h"
#include "design/methods/bound.h"
#include "design/methods/partgreedy.h"
#include "design/methods/weighted.h"

using namespace design;

int main(int argc, char **argv) {
  if (argc < 8) {
    fprintf(stderr, "usage: search_bench n k x t anneal|weighted seed seconds [moves] [wheel]\n");
    return 2;
  }
  Shape s{atoi(argv[1]), atoi(argv[2]), atoi(argv[3]), atoi(argv[4])};
  bool weighted = strcmp(argv[5], "weighted") == 0;
  uint64_t seed = strtoull(argv[6], nullptr, 10);
  double seconds = atof(argv[7]);
  uint64_t moves = argc > 8 && atoll(argv[8]) > 0 ? strtoull(argv[8], nullptr, 10) : UINT64_MAX;
  std::vector<Set> start;
  if (argc > 9) {
    std::ifstream in(argv[9]);
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream words(line);
      Set c = 0;
      for (int a; words >> a;) c |= bit(a - 1);
      start.push_back(c);
    }
  } else {
    start = colex_greedy(s, Deadline::max());
  }
  auto t0 = std::chrono::steady_clock::now();
  AnnealStop stop{after(t0, seconds), moves};
  uint64_t used = 0;
  double last = 0;
  auto progress = [&](size_t) {
    last = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  std::vector<Set> w = weighted
                           ? weighted_search(s, start, lower_bound(s), stop, seed, &used, progress)
                           : anneal(s, start, lower_bound(s), stop, seed, &used, progress);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  printf("%s L(%d,%d,%d,%d) seed %llu: %zu -> %zu covers (at %.1f s), %llu moves, %.1f s%s\n",
         argv[5], s.n, s.k, s.x, s.t, (unsigned long long)seed, start.size(), w.size(), last,
         (unsigned long long)used, secs, proved(s, w) ? "" : " NOT PROVED");
  return 0;
}
