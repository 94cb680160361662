// vorlank-design's search: greedy part wheels, the pigeonhole split of the
// pool chosen by dynamic programming, local search of the parts and of the
// composed wheel, and the proof of the result by the check walk.
//
// The split: pool parts of sizes n1 + n2 = n and k1 + k2 = k + 1. A k-set
// has at least k1 numbers in the first part or at least k2 in the second, so
// a wheel for L(n1,k1,x,t) on the first part with one for L(n2,k2,x,t) on
// the second is a wheel for L(n,k,x,t). A part with k_i > n_i needs no
// cover, one with n_i <= x one cover (padded with other numbers), one with
// k_i < t cannot be covered at all. Where t >= 3 and k > t there is also the
// fringe: x - 1 numbers F beside the rest A of the pool; a k-set with fewer
// than k - t + 2 numbers in A has t - 1 or more in F, so a wheel for
// L(n-x+1, k-t+2, x, t) on A with the n - x covers of F and one number of A
// (each of A but one) is a wheel for L(n,k,x,t): L(27,4,6,3) <= 77 + 21.
// Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "anneal.h"
#include "masks.h"

namespace design {

// max(counting bound, Schoenheim's bound where k = t); 0 where nothing needs
// covering (k > n), 1 where one cover holds the pool.
uint64_t lower_bound(const Shape &s);

// Whether the covers cover every k-set, by the check walk of vorlank-check.
bool proved(const Shape &s, const std::vector<Set> &covers);

// A leaf of a split: numbers offset + 1 .. offset + n, k-sets of size k.
// A Fringe part holds the x - 1 highest numbers F of its n, the others A
// (their own part of the split, below it); its covers are F with each number
// of A but the last, and k = t - 1: they cover the k-sets with t - 1 numbers
// in F and two in A, or t in F.
struct Part {
  int offset, n, k;
  enum Kind { Empty, Single, Direct, Fringe } kind;
};

struct DesignOptions {
  double seconds = 30;
  uint64_t seed = 1;
  uint64_t moves = UINT64_MAX;  // cap on the moves of local search (for reproducible runs)
  // Called with the best size so far (0: none yet) and what the search works on.
  std::function<void(uint64_t, const std::string &)> progress;
  // Once set (by a signal), the search ends at once with the best wheel so far.
  const std::atomic<bool> *stop = nullptr;
  // A store of proved wheels, where there is one: the stored wheel of an
  // instance (empty: none), and a smaller proved wheel to keep.
  std::function<std::vector<Set>(const Shape &)> stored;
  std::function<void(const Shape &, const std::vector<Set> &, const std::vector<std::string> &)>
      keep;
};

struct Design {
  std::vector<Set> covers;         // proved
  std::vector<std::string> built;  // how, one line each
  uint64_t lower = 0;              // lower_bound of the instance
  int64_t greedy = -1;             // the plain greedy of the whole instance, -1 where not run
  bool optimal = false;            // the exact solve proved that no wheel is smaller
  bool interrupted = false;        // the search was stopped before its time was up
  uint64_t from_store = 0;         // the size of the stored whole wheel the search started from
  double needs = 0;  // where no wheel came out for lack of time: the estimated seconds it takes
  bool proof_needs = false;  // and those are the proof's alone
};

// Wall seconds the whole run may take: --seconds S, with a margin for what
// cannot be cut short (a greedy step, an exact solve, the proof).
double run_limit(double seconds);
// Estimated seconds of the final proof of a wheel for s.
double proof_seconds(const Shape &s);

// The smallest wheel found for s (t >= 1, k <= n, x < n) within the
// options' time; `from` (a proved wheel, or empty) is one more candidate.
// Returns false when no proved wheel came out: the instance is out of reach
// of this program, or (out.needs > 0) of the time given.
bool design_wheel(const Shape &s, const std::vector<Set> &from, const DesignOptions &o,
                  Design &out);

// The parts of the split the search would choose given a direct wheel size
// for each (m, j) (direct(m, j) < 0: none), for tests.
std::vector<Part> best_split(const Shape &s, const std::function<int64_t(int, int)> &direct);

// The union of part wheels, relabelled into their parts; wheels[i] is the
// wheel of parts[i] on the pool bits 0..n_i-1 (empty but for Direct parts).
std::vector<Set> compose(const Shape &s, const std::vector<Part> &parts,
                         const std::vector<std::vector<Set>> &wheels);

}  // namespace design
