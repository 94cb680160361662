// One run of vorlank-design from its checked command line: the search of an
// instance, or the listing of a store, and what it prints. Built once per
// set width (masks.h): the entry point picks the build by the pool.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/masks.h"

namespace design {

// The command line's options.
struct Options {
  double seconds = 30;
  uint64_t seed = 1, moves = UINT64_MAX;
  std::string from;              // "-": standard input
  std::string store;             // the store's directory, "" with --no-store
  bool list = false;             // --list the store's wheels
  bool csv = false;              // as CSV
  std::vector<std::string> pos;  // n k x t
};

// What the entry point lends a search: the flag its signal watcher sets,
// the signal that set it, and the progress line where there is one.
struct Run {
  Options o;
  std::atomic<bool> *stop;
  const std::atomic<int> *signal;
  std::chrono::steady_clock::time_point start;
  std::function<void(uint64_t, const std::string &)> progress;  // may be empty
  std::function<void()> progress_done;  // ends the progress line, before any output
};

}  // namespace design

namespace design::inline VORLANK_SETS {

// The search for the instance and its output; the exit status.
int search(const Run &r, const Shape &s);
// --list: the store's wheels, each proved again; the exit status.
int list_store(const Options &o);
// Why the search of s cannot run in this machine's memory; "" where it can.
std::string memory_refusal(const Shape &s);

}  // namespace design::inline VORLANK_SETS
