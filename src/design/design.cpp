// vorlank-design: the smallest wheel for L(n,k,x,t) it can find and prove
// within a time budget, by splitting the pool, greedy part wheels and local
// search, printed as lines vorlank-check reads back.
//
// Exit status: 0 a wheel was printed (after the check walk proved it), 2
// usage or input error, no wheel within reach, or out of memory; 130 or 143
// (128 + the signal) where SIGINT or SIGTERM stopped the search, which then
// proves and prints the best wheel it has, or an Error line where it has
// none. A second signal ends the program at once.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "design/methods/bound.h"
#include "base/cli.h"
#include "design/methods/exact.h"
#include "design/search.h"
#include "design/store.h"
#include "base/sysmem.h"

// The build over 256-bit sets, for pools beyond 64 numbers (masks.h); the
// declarations of search.h, as that build makes them.
namespace design::inline wide {
int search(const Run &r, const Shape &s);
int list_store(const Options &o);
std::string memory_refusal(const Shape &s);
}  // namespace design::inline wide

using design::Options;

static const char *const kUse =
    "Use: vorlank-design [--seconds S] [--seed N] [--moves N] [--from FILE]\n"
    "                    [--store DIR | --no-store] n k x t\n";

static const char *const kHelp =
    "Builds a small wheel for L(n,k,x,t): x-sets of 1..n (covers) such that every\n"
    "k-set shares at least t numbers with one of them. The pool is split into\n"
    "parts whose wheels together make one (chosen by dynamic programming), the\n"
    "parts come from a greedy search and from a symmetric search (wheels that a\n"
    "group of the pool maps onto themselves: exact solves over orbits with CBC,\n"
    "or annealing over orbits), and local search (simulated annealing) then takes\n"
    "covers away from the parts and from the whole wheel.\n"
    "\n"
    "Prints # lines (the instance, the number of covers, the lower bound, how the\n"
    "wheel was built), then one cover a line, numbers ascending, as vorlank-check\n"
    "reads them. The wheel is printed only after the check walk has proved that it\n"
    "covers every k-set. On a terminal, standard error shows the progress.\n"
    "\n"
    "  --seconds S  time to spend, seconds (default 30; fractions allowed)\n"
    "  --seed N     seed of the local search (default 1); the same seed makes the\n"
    "               same moves, so the same wheel where the run stops at the lower\n"
    "               bound or at --moves\n"
    "  --moves N    stop the local search after N moves in all, for a wheel that\n"
    "               does not depend on the machine's speed\n"
    "  --from FILE  start from the wheel in FILE (a vorlank transcript or plain\n"
    "               lines, as vorlank-check reads them; - for standard input) and\n"
    "               never print a larger one\n"
    "  --store DIR  keep proved wheels in DIR, one file per instance (default\n"
    "               $XDG_DATA_HOME/vorlank/wheels or ~/.local/share/vorlank/wheels):\n"
    "               start from the stored wheel where it is smaller, store the\n"
    "               printed one where it is smaller than the stored one\n"
    "  --no-store   neither read nor write a store\n"
    "  --list       instead of a search, list the store (vorlank-design --list\n"
    "               [--csv] [--store DIR]): a row per wheel, sorted by n, k, x, t,\n"
    "               with its covers, lower bound and ratio, whether it is proved\n"
    "               optimal, when it was stored (UTC) and how it was built; each\n"
    "               file is proved again, and one that does not prove is listed as\n"
    "               not a wheel\n"
    "  --csv        with --list: the rows as CSV\n"
    "  -h, --help   show this text\n"
    "  --version    show the version\n"
    "\n"
    "Any number of runs, on one machine or on several over NFS, may share a store:\n"
    "a wheel is replaced only by a smaller proved one, under a lock (fcntl) on\n"
    "DIR/.lock, so the store ends with the smallest wheel of each instance printed.\n"
    "\n"
    "Limits: n up to 255 (a cover is a 64-bit mask up to 64 numbers, a 256-bit\n"
    "one beyond); the search needs 1 to 6 bytes of memory per k-set.\n"
    "Ctrl-C (SIGINT) or SIGTERM stops the search, which then proves and prints the\n"
    "best wheel it has; a second one ends the program at once.\n"
    "\n"
    "Exit status: 0 a proved wheel (or the list) was printed, 2 usage or input\n"
    "error, no wheel within reach, out of memory, or a store that cannot be read,\n"
    "130 or 143 interrupted by SIGINT or SIGTERM (the best wheel so far printed,\n"
    "or an Error line where there was none).\n";

static const double kMaxSeconds = 1e6;  // about 11 days: beyond that a typo more likely

static int usage_error(const std::string &what) { return cli::fail(what, kUse); }
static int error(const std::string &what) { return cli::fail(what); }

// A plain decimal number of at most `most` digits into v; false with err set otherwise.
static bool decimal(const char *name, const std::string &s, int most, uint64_t &v,
                    std::string &err) {
  err = cli::decimal(name, s, most, v);
  return err.empty();
}

// --seconds: digits with an optional fraction (0.5, 10, 120); "" or what is wrong.
static std::string seconds(const std::string &s, double &v) {
  size_t dot = s.find('.');
  std::string whole = s.substr(0, dot), frac = dot == std::string::npos ? "" : s.substr(dot + 1);
  if (whole.empty() || (dot != std::string::npos && frac.empty()) ||
      s.find_first_not_of("0123456789.") != std::string::npos ||
      frac.find('.') != std::string::npos)
    return "--seconds must be a plain decimal number (here '" + s + "')";
  v = std::strtod(s.c_str(), nullptr);
  if (!(v > 0) || v > kMaxSeconds)
    return "--seconds must be above 0 and at most 1000000 (here " + s + ")";
  return "";
}

// Returns -1 to go on, or the exit status.
static int parse_args(int argc, char **argv, Options &o) {
  static const std::vector<cli::Option> options = {
      {"--seconds", "a value"},  {"--seed", "a value"},      {"--moves", "a value"},
      {"--from", "a file name"}, {"--store", "a directory"}, {"--no-store", nullptr},
      {"--list", nullptr},       {"--csv", nullptr},         {"--version", nullptr}};
  cli::Args a;
  if (std::string err = cli::parse_args(argc, argv, options, a); !err.empty())
    return usage_error(err);
  if (a.help) {
    printf("%s\n%s", kUse, kHelp);
    printf("%s", design::exact_available()
                     ? "\nExact solves: COIN-OR CBC.\n"
                     : "\nThis build has no COIN-OR CBC: the symmetric search anneals over\n"
                       "orbits, without exact solves or proofs of optimality.\n");
    return 0;
  }
  if (a.has("--version")) {
    printf("vorlank-design (vorlank) %s\n", VORLANK_VERSION);
    return 0;
  }
  std::string err;
  uint64_t v;
  // In the order of the usage line, so that the first wrong one is told.
  if (a.has("--seconds")) err = seconds(a.given["--seconds"], o.seconds);
  if (err.empty() && a.has("--seed") && decimal("--seed", a.given["--seed"], 18, v, err))
    o.seed = v;
  if (err.empty() && a.has("--moves") && decimal("--moves", a.given["--moves"], 18, v, err))
    o.moves = v;
  if (err.empty() && a.has("--store") && a.has("--no-store"))
    err = "--store and --no-store exclude each other";
  if (!err.empty()) return usage_error(err);
  o.from = a.has("--from") ? a.given["--from"] : "";
  o.store = a.has("--store")      ? a.given["--store"]
            : a.has("--no-store") ? ""
                                  : store::default_dir(getenv("XDG_DATA_HOME"), getenv("HOME"));
  o.pos = a.pos;
  o.list = a.has("--list"), o.csv = a.has("--csv");
  if (o.csv && !o.list) return usage_error("--csv goes with --list");
  if (o.list) {
    for (const char *search : {"--seconds", "--seed", "--moves", "--from"})
      if (a.has(search)) return usage_error(std::string(search) + " is for a search, not --list");
    if (a.has("--no-store")) return usage_error("--list lists a store, and --no-store has none");
    if (!o.pos.empty()) return usage_error("--list takes no n k x t");
    return -1;
  }
  if (o.pos.size() != 4)
    return usage_error("expected n k x t, got " + std::to_string(o.pos.size()) +
                       (o.pos.size() == 1 ? " argument" : " arguments"));
  return -1;
}

// Pools beyond 64 numbers take the build over 256-bit sets.
static bool wide(const design::Shape &s) { return s.n > design::narrow::kMaxPool; }

// Returns -1 when the parameters are fine, or the exit status.
static int check_params(const std::vector<std::string> &pos, design::Shape &s) {
  cli::Instance in;
  bool usage;
  if (std::string err = cli::instance(pos, in, &usage); !err.empty())
    return usage ? usage_error(err) : error(err);
  s = {in.n, in.k, in.x, in.t};
  if (std::string err = design::pool_refusal(s); !err.empty()) return error(err);
  std::string no = wide(s) ? design::wide::memory_refusal(s) : design::narrow::memory_refusal(s);
  if (!no.empty()) {
    fprintf(stderr, "%s\n", no.c_str());
    return 2;
  }
  return -1;
}

// Ctrl-C or SIGTERM: the first stops the search, which then proves and
// prints the best wheel it has; a second ends the program at once. Both
// signals stay blocked in every thread and one thread waits for them: CBC
// installs a handler of its own for SIGINT during a solve, and a handler
// of ours would be lost to it.
static std::atomic<bool> stop_search{false};
static std::atomic<int> stop_signal{0};

static void watch_signals() {
  sigset_t both;
  sigemptyset(&both);
  sigaddset(&both, SIGINT);
  sigaddset(&both, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &both, nullptr);  // inherited by every thread from here on
  std::thread([both] {
    for (;;) {
      int sig = 0;
      if (sigwait(&both, &sig) != 0) continue;
      if (stop_signal.exchange(sig) == 0) {
        stop_search = true;
        continue;
      }
      // The second: end as that signal ends a program.
      signal(sig, SIG_DFL);
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, sig);
      pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
      raise(sig);
    }
  }).detach();
}

// The progress line on a terminal: what the search reported last, with the
// elapsed time, rewritten at least once a second.
class Ticker {
public:
  explicit Ticker(std::chrono::steady_clock::time_point start) : start_(start) {
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> hold(lock_);
      while (!done_) {
        show();
        wake_.wait_for(hold, std::chrono::milliseconds(250));
      }
      fprintf(stderr, "\r\033[K");
    });
  }
  ~Ticker() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void report(uint64_t best, const std::string &what) {
    std::lock_guard<std::mutex> hold(lock_);
    if (best > 0) best_ = best;
    what_ = what;
  }

private:
  void show() {
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string best = best_ ? "best " + std::to_string(best_) : "no wheel yet";
    fprintf(stderr, "\r%7.1f s  %s  %s\033[K", secs, best.c_str(), what_.c_str());
  }
  std::chrono::steady_clock::time_point start_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false;
  uint64_t best_ = 0;
  std::string what_ = "starting";
  std::thread thread_;
};

// The line a run ends with where memory runs out, made before the search:
// once memory has run out, making it might fail.
static std::string out_of_memory_line;
static std::terminate_handler default_terminate = nullptr;

// An exception that no handler takes (one escaping a thread of the search)
// ends the program as it would in main() where it is memory running out.
[[noreturn]] static void terminate_out_of_memory() {
  if (out_of_memory(std::current_exception())) {
    fputs(out_of_memory_line.c_str(), stderr);
    _exit(2);
  }
  default_terminate();
  std::abort();
}

int main(int argc, char **argv) {
  load_unwinder();
  Options o;
  design::Shape s{};
  if (int status = parse_args(argc, argv, o); status >= 0) return status;
  if (o.list) return design::wide::list_store(o);  // whatever the pools
  if (int status = check_params(o.pos, s); status >= 0) return status;
  // The estimate checked up front, but the memory may have gone since, or a
  // limit of the process (ulimit -v) keeps it from this run.
  out_of_memory_line = "Error: out of memory in the search for " + design::instance(s) + "\n";
  default_terminate = std::set_terminate(terminate_out_of_memory);
  // From here on what a library prints goes nowhere; the wheel goes to
  // own_stdout(). Where /dev/null cannot be had, the run goes on unmuted.
  design::mute_stdout();
  try {
    watch_signals();
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Ticker> ticker;
    if (isatty(2)) ticker = std::make_unique<Ticker>(start);
    design::Run r{o, &stop_search, &stop_signal, start, nullptr, [&ticker] { ticker.reset(); }};
    if (ticker)
      r.progress = [t = ticker.get()](uint64_t best, const std::string &what) {
        t->report(best, what);
      };
    return wide(s) ? design::wide::search(r, s) : design::narrow::search(r, s);
  } catch (...) {
    if (!out_of_memory(std::current_exception())) throw;
    fputs(out_of_memory_line.c_str(), stderr);
    return 2;
  }
}
