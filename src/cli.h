// What vorlank-check and vorlank-design read from their command lines alike:
// plain decimal numbers and the instance n k x t, with errors in one style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Prints "Error: WHAT" on standard error, then `use` when given; returns 2,
// the exit status of a usage or input error.
int fail(const std::string &what, const char *use = nullptr);

// A plain decimal number of at most `most` significant digits: no sign, no
// blank, no word read from its leading digits. "" or what is wrong.
std::string decimal(const std::string &name, const std::string &s, int most, uint64_t &v);

struct Instance {
  int n, k, x, t;
};

// n k x t from four words. "" or what is wrong; *usage tells a wrong word
// (a usage error) from a wrong instance: vorlank's own checks (n > 1, k < n,
// x < n, t <= x, in that order), then k and x at least 1 and t at most k,
// without which no wheel means anything.
std::string instance(const std::vector<std::string> &words, Instance &in, bool *usage);

}  // namespace cli
