// vorlank-design: the smallest wheel for L(n,k,x,t) it can find and prove
// within a time budget, by splitting the pool, greedy part wheels and local
// search, printed as lines vorlank-check reads back.
//
// Exit status: 0 a wheel was printed (after the check walk proved it), 2
// usage or input error, or no wheel within reach.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cli.h"
#include "compose.h"
#include "sysmem.h"
#include "wheel.h"

using design::Set;

static const char *const kUse =
    "Use: vorlank-design [--seconds S] [--seed N] [--moves N] [--from FILE] n k x t\n";

static const char *const kHelp =
    "Builds a small wheel for L(n,k,x,t): x-sets of 1..n (covers) such that every\n"
    "k-set shares at least t numbers with one of them. The pool is split into\n"
    "parts whose wheels together make one (chosen by dynamic programming), the\n"
    "parts come from a greedy search, and local search (simulated annealing)\n"
    "then takes covers away from the parts and from the whole wheel.\n"
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
    "               lines, as vorlank-check reads them) and never print a larger one\n"
    "  -h, --help   show this text\n"
    "  --version    show the version\n"
    "\n"
    "Limits: n up to 64; the check walk needs C(n,k) bytes of memory.\n"
    "Exit status: 0 a proved wheel was printed, 2 usage or input error, or no wheel\n"
    "within reach.\n";

static const double kMaxSeconds = 1e6;  // about 11 days: beyond that a typo more likely

static int usage_error(const std::string &what) { return cli::fail(what, kUse); }
static int error(const std::string &what) { return cli::fail(what); }

// A plain decimal number of at most `most` digits into v; false with err set otherwise.
static bool decimal(const char *name, const std::string &s, int most, uint64_t &v,
                    std::string &err) {
  err = cli::decimal(name, s, most, v);
  return err.empty();
}

struct Options {
  double seconds = 30;
  uint64_t seed = 1, moves = UINT64_MAX;
  std::string from;
  std::vector<std::string> pos;  // n k x t
};

// Returns -1 to go on, or the exit status.
static int parse_args(int argc, char **argv, Options &o) {
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      printf("%s\n%s", kUse, kHelp);
      return 0;
    }
    if (a == "--version") {
      printf("vorlank-design (vorlank) %s\n", VORLANK_VERSION);
      return 0;
    }
    bool valued = a == "--seconds" || a == "--seed" || a == "--moves" || a == "--from";
    if (valued && i + 1 == argc) return usage_error(a + " needs a value");
    std::string err;
    uint64_t v;
    if (a == "--seconds") {
      // Digits with an optional fraction: 0.5, 10, 120.
      std::string s = argv[++i];
      size_t dot = s.find('.');
      std::string whole = s.substr(0, dot),
                  frac = dot == std::string::npos ? "" : s.substr(dot + 1);
      if (whole.empty() || (dot != std::string::npos && frac.empty()) ||
          s.find_first_not_of("0123456789.") != std::string::npos ||
          frac.find('.') != std::string::npos)
        return usage_error("--seconds must be a plain decimal number (here '" + s + "')");
      o.seconds = std::strtod(s.c_str(), nullptr);
      if (!(o.seconds > 0) || o.seconds > kMaxSeconds)
        return usage_error("--seconds must be above 0 and at most 1000000 (here " + s + ")");
    } else if (a == "--seed") {
      if (!decimal("--seed", argv[++i], 18, o.seed, err)) return usage_error(err);
    } else if (a == "--moves") {
      if (!decimal("--moves", argv[++i], 18, v, err)) return usage_error(err);
      o.moves = v;
    } else if (a == "--from") {
      o.from = argv[++i];
    } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
      return usage_error("unknown option '" + a + "'");
    } else {
      o.pos.push_back(a);  // "-3" too: a signed parameter is refused below
    }
  }
  if (o.pos.size() != 4)
    return usage_error("expected n k x t, got " + std::to_string(o.pos.size()) +
                       (o.pos.size() == 1 ? " argument" : " arguments"));
  return -1;
}

// Returns -1 when the parameters are fine, or the exit status.
static int check_params(const std::vector<std::string> &pos, design::Shape &s) {
  cli::Instance in;
  bool usage;
  if (std::string err = cli::instance(pos, in, &usage); !err.empty())
    return usage ? usage_error(err) : error(err);
  s = {in.n, in.k, in.x, in.t};
  if (s.n > design::kMaxPool)
    return error("vorlank-design takes n up to " + std::to_string(design::kMaxPool) +
                 ", a cover is held as a 64-bit mask (here n = " + std::to_string(s.n) + ")");
  if (std::string no = wheel::memory_refusal({s.n, s.k, s.x, s.t}, available_mb()); !no.empty()) {
    fprintf(stderr, "%s\n", no.c_str());
    return 2;
  }
  return -1;
}

// The wheel of --from, proved; "" or what is wrong.
static std::string read_from(const std::string &path, const design::Shape &s,
                             std::vector<Set> &covers) {
  wheel::Params p{s.n, s.k, s.x, s.t};
  wheel::Wheel w;
  std::ifstream f(path, std::ios::binary);
  if (!f) return "cannot open " + path + ": " + strerror(errno);
  if (std::string err = wheel::read_wheel(f, p, w); !err.empty()) return path + ": " + err;
  if (f.bad()) return "cannot read " + path;
  if (w.covers.empty()) return path + ": no covers";
  if (uint64_t holes = wheel::Coverage(p, w.covers).holes())
    return path + ": not a wheel, " + std::to_string(holes) + " of the " +
           std::to_string(wheel::ksets(p)) + " k-sets are not covered";
  for (const wheel::Cover &c : w.covers) {
    Set m = 0;
    for (int a : c) m |= design::bit(a - 1);
    covers.push_back(m);
  }
  return "";
}

static std::string line(const std::vector<int> &v) {
  std::string s;
  for (int a : v) {
    if (!s.empty()) s += ' ';
    s += std::to_string(a);
  }
  return s;
}

int main(int argc, char **argv) {
  Options o;
  design::Shape s{};
  if (int status = parse_args(argc, argv, o); status >= 0) return status;
  if (int status = check_params(o.pos, s); status >= 0) return status;
  std::vector<Set> from;
  if (!o.from.empty())
    if (std::string err = read_from(o.from, s, from); !err.empty()) return error(err);

  design::DesignOptions d;
  d.seconds = o.seconds, d.seed = o.seed, d.moves = o.moves;
  auto start = std::chrono::steady_clock::now();
  bool tty = isatty(2);
  if (tty)
    d.progress = [&](uint64_t best, const std::string &what) {
      double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      fprintf(stderr, "\r%7.1f s  best %llu  %s\033[K", secs, (unsigned long long)best,
              what.c_str());
    };
  design::Design w;
  bool ok = design::design_wheel(s, from, d, w);
  if (tty) fprintf(stderr, "\r\033[K");
  std::string inst = "L(" + o.pos[0] + "," + o.pos[1] + "," + o.pos[2] + "," + o.pos[3] + ")";
  if (!ok && w.needs > 0) {
    char secs[128];
    snprintf(secs, sizeof secs, "--seconds %g: its quickest greedy would take about %.0f seconds",
             o.seconds, std::ceil(w.needs));
    return error("no wheel for " + inst + " within " + secs);
  }
  if (!ok) return error("no wheel for " + inst + " within reach of this program");

  std::vector<std::vector<int>> lines;
  for (Set c : w.covers) lines.push_back(design::numbers(c));
  std::sort(lines.begin(), lines.end());
  printf("# L(%d,%d,%d,%d): %zu %s, lower bound %llu\n", s.n, s.k, s.x, s.t, lines.size(),
         lines.size() == 1 ? "cover" : "covers", (unsigned long long)w.lower);
  for (const std::string &b : w.built) printf("# %s\n", b.c_str());
  if (w.optimal) printf("# optimal: the exact solve proved that no wheel has fewer covers\n");
  printf("# proved: every %d-set of 1..%d shares at least %d %s with a cover\n", s.k, s.n, s.t,
         s.t == 1 ? "number" : "numbers");
  for (const auto &v : lines) printf("%s\n", line(v).c_str());
  if (fflush(stdout) != 0 || ferror(stdout))
    return error(std::string("cannot write the wheel: ") + strerror(errno));
  return 0;
}
