// vorlank: covers for L(n,k,x,t).
//
// The process-wide state of the tool, grouped by the file that defines it.
// Each variable says who writes it; every other user only reads it. Each
// operation says what state it reads (R) and writes (W) besides its
// arguments. Operations talk to each other through this state.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// ---- subsets.cpp: parameters, working set, subset tables ------------------

const int max_set = 99;    // largest k and x: sets stand in positions 1..max_set
const int max_pool = 255;  // largest n of a greedy run: table rows hold numbers in bytes

extern int vorlank_n;  // the pool is 1..n          W: main (front.cpp), tests, benchmarks
extern int vorlank_k;  // size of the sets to cover W: the same
extern int vorlank_x;  // size of a cover           W: the same
extern int vorlank_t;  // numbers a cover must share with a k-set  W: the same

extern int szt[max_set + 1];  // working set, positions 1..m  W: sztep_nk, sztep_nx, beg_sz,
                              //   copy_b2sz, vary (nkvary, nxvary), get_max_hit, gen_nx
extern int bsz[max_set + 1];  // best set, positions 1..x     W: copy_sz2b

extern unsigned char *c1;  // nk-table, rows of k + 1 bytes   W: greedy_run (allocates),
                           //   nkvary (fills), sign_hits (compacts), greedy_reset (frees)
extern unsigned char *c3;  // nx-table, rows of x + 1 bytes   W: greedy_run, nxvary, greedy_reset
extern int len;            // rows 1..len of c1 are uncovered W: nkvary, sign_hits, greedy_reset
extern int lenx;           // rows of c3                      W: nxvary, greedy_reset

int nalk(int n, int k);         // C(n,k) in 32-bit arithmetic, wraps beyond its range
int64_t binom64(int n, int k);  // C(n,k) exactly, or -1 when it exceeds 2^62
void sztep_nk();                // R: vorlank_n, vorlank_k  W: szt 1..k (next k-set)
void sztep_nx();                // R: vorlank_n, vorlank_x  W: szt 1..x (next x-set)
void beg_sz(int s);             // R: vorlank_x  W: szt 1..x = s..s+x-1
void copy_sz2b();               // R: vorlank_x, szt  W: bsz
void copy_b2sz();               // R: vorlank_x, bsz  W: szt
void p_szt();                   // R: vorlank_x, szt; prints
void nkvary();                  // R: parameters, c1  W: c1 rows, len, szt; prints
void nxvary();                  // R: parameters, c3  W: c3 rows, lenx, szt; prints

// ---- front.cpp: entry, menu, strategy 1 -----------------------------------

int k_atoi(const char *s);
void vorlank1();                       // R: vorlank_n, vorlank_k; prints
std::string binom_text(int n, int k);  // exact decimal C(n,k), or "" when absurdly long (binom.cpp)

// ---- greedy.cpp: hit counting, best-cover selection, removal, driver ------

extern unsigned char *c2;    // cover log, rows of x + 1 bytes from row 1
                             //   W: greedy_run (allocates), save_szt (grows), greedy_reset
extern int c2p;              // rows in the cover log  W: save_szt, greedy_reset
extern int *c4;              // bound array, a cached count per nx-table row
                             //   W: greedy_run (fills), get_max_hit, greedy_reset
extern int summ;             // k-sets covered so far  W: sign_hits, greedy_reset
extern bool greedy_literal;  // count by scanning the nk-table only  W: tests, benchmarks

int comp(int r);    // R: parameters, szt, c1 row r
int count_hits();   // R: parameters, szt, c1, len (or the run's subset counts)
int get_max_hit();  // R: parameters, c1, len, c3, lenx  W: c4, szt, bsz; prints progress
void sign_hits();   // R: parameters, szt  W: c1, len, summ (and save_szt's); prints "left:"
void save_szt();    // R: vorlank_x, szt  W: c2, c2p
// Strategy 2: the refusals below, then greedy_run.
void vorlank2();
// The greedy run for parameters greedy_refusal accepts: allocates and builds
// the tables, lays the seed, chooses covers until all is covered; R/W all of
// the above and the timers; prints. Ends with one "Error:" line instead when
// memory runs out or a step finds nothing to cover while k-sets are left.
void greedy_run();
// Frees the run's blocks and returns every variable the run writes (here,
// in subsets.cpp and in timers.cpp) to its process-start value, with the
// run's private state (subset counts, cover log size, progress).
void greedy_reset();
// Why the greedy run cannot take these parameters ("" when it can); avail_mb
// is the memory the machine offers, in MB.
std::string greedy_refusal(int n, int k, int x, int t, double avail_mb);

// ---- sample.cpp: statistic generator --------------------------------------

const int max_draw = 32768;  // the draw's range: the generator gives 0..32767

extern int nks[max_set + 1];  // the drawn k-set, positions 1..k  W: gen_nk

void vorlank3();   // R: parameters  W: nks, szt, the generator; reads stdin, prints
void rand_init();  // W: the generator (seed 721)
int randi(int m);  // a number of 1..m, 1 <= m <= max_draw  W: the generator
void gen_nk();     // R: vorlank_n, vorlank_k  W: nks 1..k, the generator
void gen_nx();     // R: vorlank_n, vorlank_x  W: szt 1..x, the generator
int comp_us();     // R: vorlank_k, vorlank_x, nks, szt

// ---- timers.cpp: wall-clock stamps ----------------------------------------

extern int sec_start;   // run start stamp  W: time_start, greedy_reset
extern int sec_end;     // run finish stamp W: time_stop, greedy_reset
extern int sec_start2;  // step start stamp W: time_start2, greedy_run (after a step), greedy_reset
extern int sec_end2;    // step finish stamp W: time_stop2, greedy_run (after a step), greedy_reset
extern time_t idoke_a1, idoke_b1, idoke_c1, idoke_d1;  // last calendar readings of time_start,
extern struct tm *idoke_a2, *idoke_b2, *idoke_c2, *idoke_d2;  // time_stop, time_start2, time_stop2
extern time_t (*k_clock)(time_t *);  // the clock  W: tests (a fake), else time

void time_start();   // W: sec_start, idoke_a*; prints the start line
void time_stop();    // W: sec_end, idoke_b*; prints the finish line
void time_start2();  // W: sec_start2, idoke_c*
void time_stop2();   // W: sec_end2, idoke_d*
void time_run();     // R: idoke_a1, idoke_b1; prints the running time
void time_run2();    // R: idoke_c1, idoke_d1; prints the step's seconds
