// Front end: the four parameters from the command line, their checks, the
// strategy menu, and strategy 1. Everything goes to standard output and the
// process always ends with status 0.
#include <cstdio>
#include <cstdlib>

#include "greedy/k.h"

// Leading decimal digits of s, wrapping modulo 2^32; no blank or sign is
// accepted, so "-3" and " 3" give 0.
int k_atoi(const char *s) {
  uint32_t v = 0;
  for (; *s >= '0' && *s <= '9'; s++) v = v * 10 + (uint32_t)(*s - '0');
  return (int)v;
}

void vorlank1() {
  printf("Brutal-Force\n");
  std::string b = binom_text(vorlank_n, vorlank_k);
  if (b.empty())
    printf("Error: binom(%d,%d) has more than 100000 decimal digits; not printed.\n", vorlank_n,
           vorlank_k);
  else
    printf("binom(%d,%d) = %s\n", vorlank_n, vorlank_k, b.c_str());
  printf("Not implemented yet.\n");
}

static void check(bool ok, const char *line) {
  if (ok) return;
  printf("%s", line);
  exit(0);
}

int main(int argc, char **argv) {
  if (argc != 5) {
    printf("Incorrect number of parameters..\n");
    printf("Use: Vorlank n k x t\n");
    printf("Where 1<n, 1<=k<=n, 1<=x<=n, 1<=t<=x\n");
    return 0;
  }
  vorlank_n = k_atoi(argv[1]);
  vorlank_k = k_atoi(argv[2]);
  vorlank_x = k_atoi(argv[3]);
  vorlank_t = k_atoi(argv[4]);
  check(vorlank_n > 1, "Invalid input.. (n must greater than 1\n");
  check(vorlank_k < vorlank_n, "Invalid input.. (k must be less than n)\n");
  check(vorlank_x < vorlank_n, "invalid input.. (x must be less than n)\n");
  check(vorlank_t <= vorlank_x, "Invalid input.. (t must be less or equal than x)\n");

  printf("\nWhat kind of strategy would you like to solve the L(%d,%d,%d,%d) problem?\n", vorlank_n,
         vorlank_k, vorlank_x, vorlank_t);
  printf(" 1. Brutal-force\n");
  printf(" 2. Greedy algorithm\n");
  printf(" 3. Statistic generator\n");
  fflush(stdout);

  // The very next character, white space included; end of input counts as
  // any other character.
  int ch = getchar();
  if (ch == '1')
    vorlank1();
  else if (ch == '2')
    vorlank2();
  else if (ch == '3')
    vorlank3();
  else
    printf("Not possible choice!\n");
  printf("Ready.\n");
  return 0;
}
