// Exact weighted set cover with COIN-OR CBC, where the build has it: choose
// columns of least total weight so that every row is covered. Plain data in
// and out; nothing process-wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace design {

// Whether this build can solve exactly (it was linked with CBC).
bool exact_available();

struct CoverSolution {
  std::vector<uint32_t> chosen;  // columns; empty where none was found in time
  bool optimal = false;          // proved: no cover weighs less
  double bound = 0;              // no cover weighs less than this
};

// rows_of[c]: the rows column c covers; rows 0..rows-1. start, where not
// empty, is a cover to begin from. Stops after `seconds` of wall time or
// after `nodes` nodes of the search tree (the same on any machine).
CoverSolution solve_cover(size_t rows, const std::vector<std::vector<uint32_t>> &rows_of,
                          const std::vector<uint32_t> &weight, const std::vector<uint32_t> &start,
                          double seconds, int nodes = INT32_MAX);

}  // namespace design
