// vorlank: covers for L(n,k,x,t).
//
// The process-wide state of the tool, grouped by the one file that writes each
// variable; every other file only reads it. Operations talk to each other
// through this state, so each declaration says what it is for.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// ---- subsets.cpp: parameters, working set, subset tables ------------------

extern int vorlank_n;  // the pool is 1..n (written once by front.cpp)
extern int vorlank_k;  // size of the sets to be covered
extern int vorlank_x;  // size of a cover
extern int vorlank_t;  // numbers a cover must share with a k-set

extern int szt[100];  // working set, positions 1..m (written by every user)
extern int bsz[100];  // best set, positions 1..x (copy_sz2b)

extern unsigned char *c1;  // nk-table (greedy.cpp sets it) or k-set buffer (sample.cpp)
extern unsigned char *c3;  // nx-table (greedy.cpp sets it)
extern int len;            // rows of the nk-table still uncovered (nkvary, sign_hits)
extern int lenx;           // rows of the nx-table (nxvary)

int nalk(int n, int k);         // C(n,k) in 32-bit arithmetic, wraps beyond its range
int64_t binom64(int n, int k);  // C(n,k) exactly, or -1 when it exceeds 2^62
void sztep_nk();
void sztep_nx();
void beg_sz(int s);
void copy_sz2b();
void copy_b2sz();
void p_szt();
void nkvary();
void nxvary();

// ---- front.cpp: entry, menu, strategy 1 -----------------------------------

int k_atoi(const char *s);
void vorlank1();
std::string binom_text(int n, int k);  // exact decimal C(n,k), or "" when absurdly long (binom.cpp)

// ---- greedy.cpp: hit counting, best-cover selection, removal, driver ------

extern unsigned char *c2;    // cover log, rows of x + 1 bytes from row 1 (save_szt)
extern int c2p;              // rows in the cover log (save_szt)
extern int *c4;              // bound array, one cached count per nx-table row (get_max_hit)
extern int summ;             // k-sets covered so far (sign_hits)
extern bool greedy_literal;  // count by scanning the nk-table only (set by tests and benchmarks)

int comp(int r);
int count_hits();
int get_max_hit();
void sign_hits();
void save_szt();
void vorlank2();
// Why the greedy run cannot take these parameters ("" when it can); avail_mb
// is the memory the machine offers, in MB.
std::string greedy_refusal(int n, int k, int x, int t, double avail_mb);

// ---- sample.cpp: statistic generator --------------------------------------

void vorlank3();
void rand_init();
int randi(int m);
void gen_nk();
void gen_nx();
int comp_us();

// ---- timers.cpp: wall-clock stamps ----------------------------------------

extern int sec_start, sec_end;    // run stamps (time_start, time_stop)
extern int sec_start2, sec_end2;  // step stamps (time_start2, time_stop2; greedy.cpp resets)
extern time_t idoke_a1, idoke_b1, idoke_c1, idoke_d1;  // last calendar readings
extern struct tm *idoke_a2, *idoke_b2, *idoke_c2, *idoke_d2;
extern time_t (*k_clock)(time_t *);  // the clock; tests replace it

void time_start();
void time_stop();
void time_start2();
void time_stop2();
void time_run();
void time_run2();
