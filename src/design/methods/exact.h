// Exact weighted set cover with COIN-OR CBC, where the build has it: choose
// columns of least total weight so that every row is covered. Plain data in
// and out; nothing process-wide but the muting of standard output below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/deadline.h"

namespace design {

// Whether this build can solve exactly (it was linked with CBC).
bool exact_available();

struct CoverSolution {
  std::vector<uint32_t> chosen;  // columns; empty where none was found in time
  bool optimal = false;          // proved: no cover weighs less
  double bound = 0;              // no cover weighs less than this
  bool infeasible = false;       // proved: no cover weighs at most `most`
};

// rows_of[c]: the rows column c covers; rows 0..rows-1, each to be covered
// demand[r] times (once each where demand is empty), of total weight at
// most `most` where that is given. Solves run one at a
// time; each stops at `end` (wall time: the turn it waited for counts) or
// after `nodes` nodes of the search tree (the same on any machine), and one
// whose turn comes too late does not start.
CoverSolution solve_cover(size_t rows, const std::vector<std::vector<uint32_t>> &rows_of,
                          const std::vector<uint32_t> &weight, Deadline end,
                          int nodes = INT32_MAX, const std::vector<uint32_t> &demand = {},
                          uint64_t most = UINT64_MAX);

// CBC's LP code prints to standard output whatever its log level ("2 slacks
// added"), which would mix into a wheel. Once muted, descriptor 1 is
// /dev/null, so that whatever a library prints goes nowhere, and the program
// writes its own lines to own_stdout(), which goes where standard output went.
// mute_stdout() is false, with nothing changed, where that cannot be done.
bool mute_stdout();
// The program's own output: what standard output was once muted, else stdout.
FILE *own_stdout();

}  // namespace design
