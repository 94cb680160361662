// Wall-clock timers of the greedy run: start and finish stamps with their
// date lines, per-step stamps, and elapsed seconds.
#include <cstdio>

#include "greedy/k.h"

int sec_start, sec_end, sec_start2, sec_end2;
time_t idoke_a1, idoke_b1, idoke_c1, idoke_d1;
struct tm *idoke_a2, *idoke_b2, *idoke_c2, *idoke_d2;
time_t (*k_clock)(time_t *) = time;

// Reads the clock into *cal and *loc and adds the reading's stamp (seconds
// within the month, counted from day 1 as 86400) to *sec.
static void stamp(time_t *cal, struct tm **loc, int *sec) {
  k_clock(cal);
  *loc = localtime(cal);
  *sec += (*loc)->tm_mday * 86400;
  *sec += (*loc)->tm_hour * 3600;
  *sec += (*loc)->tm_min * 60;
  *sec += (*loc)->tm_sec;
}

static void print_date(const struct tm *t, const char *last) {
  printf("%d.", t->tm_mon + 1);
  printf("%d ", t->tm_mday);
  printf("%d.", t->tm_hour);
  printf("%d.", t->tm_min);
  printf(last, t->tm_sec);
}

void time_start() {
  printf("Started at:    ");
  stamp(&idoke_a1, &idoke_a2, &sec_start);
  print_date(idoke_a2, "%d\n");
}

void time_stop() {
  printf("Finished at:    ");
  stamp(&idoke_b1, &idoke_b2, &sec_end);
  print_date(idoke_b2, "%d.\n");
}

void time_start2() { stamp(&idoke_c1, &idoke_c2, &sec_start2); }
void time_stop2() { stamp(&idoke_d1, &idoke_d2, &sec_end2); }

// Elapsed time comes from the calendar readings, not from the stamps: a
// stamp starts again at the turn of a month and ignores clock changes, so
// their difference can be wrong, even negative.
void time_run() { printf("running time: %d sec\n", (int)difftime(idoke_b1, idoke_a1)); }
void time_run2() { printf("  %7d sec\n", (int)difftime(idoke_d1, idoke_c1)); }
