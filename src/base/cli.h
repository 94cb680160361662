// What vorlank-check and vorlank-design read from their command lines alike:
// the options, plain decimal numbers and the instance n k x t, with errors
// in one style.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cli {

// Prints "Error: WHAT" on standard error, then `use` when given; returns 2,
// the exit status of a usage or input error.
int fail(const std::string &what, const char *use = nullptr);

// A plain decimal number of at most `most` significant digits: no sign, no
// blank, no word read from its leading digits. "" or what is wrong.
std::string decimal(const std::string &name, const std::string &s, int most, uint64_t &v);

// An option: a flag (--csv) or one that takes a value, given as --name=value
// or as --name value.
struct Option {
  std::string name;      // "--seed"
  const char *value_is;  // "a value", "a file name"; nullptr for a flag
};

struct Args {
  std::map<std::string, std::string> given;  // each option given: its value, "" for a flag
  std::vector<std::string> pos;              // the other words, in order
  bool help = false;                         // -h or --help came before any error
  bool has(const std::string &name) const { return given.count(name) > 0; }
};

// Reads argv[1..argc-1] against the options. "" or what is wrong, the first
// of: an unknown option, one given twice, a flag given a value, an option
// without its value or with an empty one. Stops at -h or --help. A word "-"
// or "-3" is positional (a signed parameter is refused later, by its check).
std::string parse_args(int argc, char **argv, const std::vector<Option> &options, Args &out);

struct Instance {
  int n, k, x, t;
};

// n k x t from four words. "" or what is wrong; *usage tells a wrong word
// (a usage error) from a wrong instance: vorlank's own checks (n > 1, k < n,
// x < n, t <= x, in that order), then k and x at least 1 and t at most k,
// without which no wheel means anything.
std::string instance(const std::vector<std::string> &words, Instance &in, bool *usage);

}  // namespace cli
