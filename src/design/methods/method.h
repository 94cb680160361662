// A construction method of vorlank-design: one unit that makes or improves
// the wheel of one instance (a part of the split, or the whole), behind one
// small interface, so that the schedule is a list of methods and its budget
// rules. Each method lives in its own file (method_*.cpp) and stands once in
// the list of methods(). Plain data in and out; nothing process-wide.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "base/masks.h"
#include "design/methods/split.h"

namespace design::inline VORLANK_SETS {

// When the schedule calls a method, and what it gives it.
enum class Role {
  Build,    // a first wheel from nothing, within its estimated seconds
  Derive,   // a wheel composed from the wheels of other parts, where the split's table does
  Search,   // a wheel of its own within a share of the time, to beat the best known
  Improve,  // a smaller wheel from the best known, a slice of time at a time
  Fallback, // a wheel of the whole at once, where no first wheel would come in time
};

struct MethodInput {
  Shape s;
  const std::vector<Set> *best = nullptr;  // the best proved wheel known (empty: none)
  uint64_t beat = UINT64_MAX;              // Search: only a smaller wheel counts
  uint64_t lower = 0;                      // lower_bound(s): a wheel this small is optimal
  Deadline end;                            // stop by then
  uint64_t moves = UINT64_MAX;             // or after this many moves, where it moves
  uint64_t seed = 1;
  int threads = 1;
  int runs = 0;  // side-by-side runs, where the method makes several (0: its own choice)
  const std::atomic<bool> *stop = nullptr;  // once set, stop at once
  // A smaller wheel of this size was found (thread-safe calls).
  std::function<void(uint64_t)> progress;
  // Derive: the table of the split known, and the best wheel known of (m, j).
  const SplitTable *table = nullptr;
  std::function<const std::vector<Set> &(int m, int j)> known;
};

struct MethodResult {
  std::vector<Set> covers;  // empty where none came out; the schedule proves it
  std::string detail;       // what the # line says of it in brackets ("" for nothing)
  bool optimal = false;     // no wheel of s is smaller (an exact solve proved it)
  uint64_t moves = 0;       // moves made, where the method moves
};

class Method {
public:
  virtual ~Method() = default;
  // Its word in the # lines: "greedy 117", "local search 88".
  virtual const char *name() const = 0;
  virtual Role role() const = 0;
  virtual bool applies(const Shape &s) const = 0;
  // Estimated seconds on this project's machines, by which the schedule
  // decides (so that its choices do not depend on the machine's speed);
  // infinity where it cannot run. Methods that take the time given: 0.
  virtual double seconds(const Shape &s) const = 0;
  virtual MethodResult run(const MethodInput &in) const = 0;
};

struct AnnealStop;
// A local search from a wheel without holes (anneal() and weighted_search()).
using LocalSearchRun = std::vector<Set> (*)(const Shape &s, const std::vector<Set> &start,
                                            uint64_t lb, const AnnealStop &stop, uint64_t seed,
                                            uint64_t *moves_used,
                                            const std::function<void(size_t)> &progress);
// Runs of a local search side by side on in.best, each with its own seed,
// the smallest wheel kept (method_local.cpp).
MethodResult side_by_side(const MethodInput &in, LocalSearchRun search);

// Every method of this build, in the order the schedule tries them within
// a role; a method the build cannot run is not in the list.
const std::vector<const Method *> &methods();

}  // namespace design
