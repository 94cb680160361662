// vorlank-check: proves a wheel for L(n,k,x,t), lists its holes and redundant
// covers, and compares its size with the lower bounds; for players it also
// puts the wheel on their own picks, checks it against a draw, profiles its
// matches over every possible draw and exports it.
//
// Exit status: 0 every k-set covered, 1 holes, 2 usage or input error. The
// whole input is read and checked before anything is printed, so a report
// is always about the complete wheel.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/cli.h"
#include "base/sysmem.h"
#include "check/wheel.h"

using wheel::Cover;
using wheel::Params;

static const char *const kUse =
    "Use: vorlank-check [--holes] [--reduce] [--map PICKS [--on-picks]] [--draw NUMBERS]\n"
    "                   [--profile] [--csv] n k x t [FILE]\n";

// Holes listed without --holes.
static const int kFirstHoles = 10;
// Width of a profile bar for a share of 100%.
static const int kBarWidth = 50;

static const char *const kHelp =
    "Checks a wheel for L(n,k,x,t): the covers are x-sets of 1..n, and a cover\n"
    "covers a k-set when the two share at least t numbers.\n"
    "\n"
    "The covers come from FILE, or standard input without FILE or with -, either\n"
    "as a vorlank transcript (told by its \"left:\" lines; the cover lines are\n"
    "taken, everything else is ignored) or as plain lines of x numbers separated\n"
    "by blanks, commas or tabs (empty lines and lines starting with # are\n"
    "ignored).\n"
    "\n"
    "Prints the number of covers, whether every k-set is covered, the holes (the\n"
    "first %d), the covers that could go one at a time (redundant), the lower\n"
    "bounds (counting; Schoenheim's where k = t; Turan's where t < k; Caro-Wei's\n"
    "where t = 2 < k) and the ratio of covers to the largest.\n"
    "\n"
    "  --holes          list every hole\n"
    "  --reduce         remove redundant covers one at a time from the last line\n"
    "                   up; the report becomes # lines, followed by the reduced\n"
    "                   wheel\n"
    "  --map a,b,...    n distinct numbers, your picks: cover number i stands for\n"
    "                   the i-th pick, and every number printed is a pick\n"
    "  --on-picks       the wheel read is written on the picks of --map (as\n"
    "                   --map with --csv or --reduce prints it), not on 1..n\n"
    "  --draw d1,...    the k numbers drawn (picks with --map): list the covers\n"
    "                   that share at least t numbers with the draw\n"
    "  --profile        over every k-set of the pool: how many share at best m\n"
    "                   numbers with a cover, and how many covers cover each\n"
    "  --csv            the covers alone on standard output, comma-separated;\n"
    "                   the report goes to standard error\n"
    "  -h, --help       show this text\n"
    "  --version        show the version\n"
    "\n"
    "--draw and --profile look at the wheel after --reduce.\n"
    "\n"
    "Limits: n up to %d, at most %zu covers, and the memory for two bytes per\n"
    "k-set (one more with --profile).\n"
    "\n"
    "Exit status: 0 every k-set is covered, 1 there are holes, 2 usage or input\n"
    "error.\n";

static int usage_error(const std::string &what) { return cli::fail(what, kUse); }
static int input_error(const std::string &what) { return cli::fail(what); }

// A number of a --map or --draw list; "" or what is wrong.
static std::string number(const std::string &name, const std::string &s, int64_t &v) {
  uint64_t u;
  std::string err = cli::decimal(name, s, 9, u);
  v = (int64_t)u;
  return err;
}

static std::string plural(uint64_t v, const char *one, const char *many) {
  return std::to_string(v) + " " + (v == 1 ? one : many);
}

// The player's picks; empty without --map.
using wheel::Picks;

static std::string join(const std::vector<int64_t> &v, const char *sep = " ") {
  std::string s;
  for (int64_t a : v) {
    if (!s.empty()) s += sep;
    s += std::to_string(a);
  }
  return s;
}

// The numbers of a set as the player reads them, ascending.
static std::string numbers(const Cover &c, const Picks &picks, const char *sep = " ") {
  std::vector<int64_t> v(c.begin(), c.end());
  if (!picks.empty()) {
    for (int64_t &a : v) a = picks[a - 1];
    std::sort(v.begin(), v.end());
  }
  return join(v, sep);
}

struct Options {
  bool all_holes = false, reduce = false, profile = false, csv = false, on_picks = false;
  bool mapped = false, drawn = false;
  std::string map, draw;         // the option values as given
  std::vector<std::string> pos;  // n k x t [FILE]
};

// Returns -1 to go on, or the exit status.
static int parse_args(int argc, char **argv, Options &o) {
  static const std::vector<cli::Option> options = {
      {"--holes", nullptr},    {"--reduce", nullptr},          {"--profile", nullptr},
      {"--csv", nullptr},      {"--map", "a list of numbers"}, {"--draw", "a list of numbers"},
      {"--on-picks", nullptr}, {"--version", nullptr}};
  cli::Args a;
  if (std::string err = cli::parse_args(argc, argv, options, a); !err.empty())
    return usage_error(err);
  if (a.help) {
    printf("%s\n", kUse);
    printf(kHelp, kFirstHoles, wheel::kMaxN, wheel::kMaxCovers);
    return 0;
  }
  if (a.has("--version")) {
    printf("vorlank-check (vorlank) %s\n", VORLANK_VERSION);
    return 0;
  }
  o.all_holes = a.has("--holes"), o.reduce = a.has("--reduce");
  o.profile = a.has("--profile"), o.csv = a.has("--csv");
  o.mapped = a.has("--map"), o.drawn = a.has("--draw");
  if (o.mapped) o.map = a.given["--map"];
  if (o.drawn) o.draw = a.given["--draw"];
  o.on_picks = a.has("--on-picks");
  o.pos = a.pos;
  if (o.on_picks && !o.mapped)
    return usage_error("--on-picks needs --map, the picks the wheel is written on");
  if (o.pos.size() != 4 && o.pos.size() != 5)
    return usage_error("expected n k x t and at most one FILE, got " +
                       plural(o.pos.size(), "argument", "arguments"));
  return -1;
}

// Returns -1 when the parameters are fine, or the exit status.
static int check_params(const Options &o, Params &p) {
  cli::Instance in;
  bool usage;
  if (std::string err = cli::instance(o.pos, in, &usage); !err.empty())
    return usage ? usage_error(err) : input_error(err);
  p = {in.n, in.k, in.x, in.t};
  // Then what the check itself needs.
  if (p.n > wheel::kMaxN)
    return input_error("the check takes n up to " + std::to_string(wheel::kMaxN) +
                       " (here n = " + std::to_string(p.n) + ")");
  // The profile keeps each k-set's best match in a byte beside its count.
  std::string no = wheel::memory_refusal(p, available_mb(), o.profile ? 1 : 0);
  if (no.empty()) return -1;
  fprintf(stderr, "%s\n", no.c_str());
  return 2;
}

// The numbers of a --map or --draw value, separated by commas or blanks.
static std::string number_list(const char *option, const std::string &value,
                               std::vector<int64_t> &v) {
  std::string word;
  for (size_t i = 0; i <= value.size(); i++) {
    if (i < value.size() && !strchr(", \t", value[i])) {
      word += value[i];
      continue;
    }
    if (word.empty()) continue;
    int64_t a;
    if (std::string err = number(std::string("each number of ") + option, word, a); !err.empty())
      return err;
    if (std::find(v.begin(), v.end(), a) != v.end())
      return std::string(option) + ": " + word + " appears twice";
    v.push_back(a);
    word.clear();
  }
  return "";
}

static std::string count_error(const char *option, size_t got, const char *what, int want) {
  return std::string(option) + " needs " + std::to_string(want) + " numbers (" + what + "), got " +
         std::to_string(got);
}

// The picks of --map; "" or what is wrong with them.
static std::string parse_map(const Options &o, const Params &p, Picks &picks) {
  if (!o.mapped) return "";
  if (std::string e = number_list("--map", o.map, picks); !e.empty()) return e;
  if ((int)picks.size() != p.n) return count_error("--map", picks.size(), "n", p.n);
  return "";
}

// The draw of --draw in the wheel's numbers (0 for a number that is none of
// the picks, so that it meets nothing); "" or what is wrong with it.
static std::string parse_draw(const Options &o, const Params &p, const Picks &picks,
                              std::vector<int64_t> &given, Cover &draw) {
  if (!o.drawn) return "";
  if (std::string e = number_list("--draw", o.draw, given); !e.empty()) return e;
  if ((int)given.size() != p.k) return count_error("--draw", given.size(), "k", p.k);
  for (int64_t d : given) {
    if (picks.empty() && (d < 1 || d > p.n))
      return "--draw: " + std::to_string(d) + " is outside 1.." + std::to_string(p.n);
    auto at = std::find(picks.begin(), picks.end(), d);
    draw.push_back(picks.empty() ? (int)d : at == picks.end() ? 0 : int(at - picks.begin()) + 1);
  }
  std::sort(given.begin(), given.end());
  return "";
}

// The wheel from FILE or standard input; on the picks under --on-picks.
static std::string read_input(const std::vector<std::string> &pos, const Params &p,
                              const Picks &picks, wheel::Wheel &w) {
  bool file = pos.size() == 5 && pos[4] != "-";
  std::string err;
  if (file) {
    std::ifstream f(pos[4], std::ios::binary);
    if (!f) return "cannot open " + pos[4] + ": " + strerror(errno);
    err = wheel::read_wheel(f, p, w, picks);
    if (err.empty() && f.bad()) return "cannot read " + pos[4];
  } else {
    // Standard input is read through std::cin alone: unbuffered reads in step
    // with stdio would cost a call per byte.
    std::ios::sync_with_stdio(false);
    err = wheel::read_wheel(std::cin, p, w, picks);
    if (err.empty() && std::cin.bad()) return "cannot read standard input";
  }
  // Most likely the command before a pipe failed: a wheel of no covers would
  // only list every k-set as a hole.
  if (err.empty() && w.covers.empty())
    return "no covers read from " + (file ? pos[4] : std::string("standard input"));
  // Reading stopped at the first cover too many: how many more follow is
  // not known.
  if (err.empty() && w.more)
    return "the check takes at most " + std::to_string(wheel::kMaxCovers) +
           " covers, as it counts them per k-set in 16 bits (here more: cover " +
           std::to_string(w.covers.size()) + " is on line " + std::to_string(w.lines.back()) + ")";
  return err;
}

// Everything computed before the report is printed.
struct Result {
  std::unique_ptr<wheel::Coverage> cov;
  std::vector<size_t> redundant;  // against the whole wheel
  std::vector<size_t> removed;    // by --reduce, in the order removed
  uint64_t holes = 0;
  std::vector<uint64_t> best, multiplicity;  // --profile
};

// Where the report goes and how its lines begin: under --reduce it is comments,
// so that the output reads back as a wheel; under --csv it goes to standard
// error, leaving standard output to the covers.
struct Out {
  FILE *f;
  const char *c;
};

static void draw_report(Out o, const Params &p, const Picks &picks, const wheel::Wheel &w,
                        const Result &r, const std::vector<int64_t> &given, const Cover &draw) {
  fprintf(o.f, "%sdraw: %s\n", o.c, join(given).c_str());
  int top = std::min(p.k, p.x), best = 0;
  std::vector<size_t> meet(top + 1);
  for (size_t i = 0; i < w.covers.size(); i++) {
    if (!r.cov->active(i)) continue;
    int m = 0;
    for (int d : draw) m += std::binary_search(w.covers[i].begin(), w.covers[i].end(), d);
    best = std::max(best, m);
    meet[m]++;
    if (m >= p.t)
      fprintf(o.f, "%s  line %d: %s (%d matched)\n", o.c, w.lines[i],
              numbers(w.covers[i], picks).c_str(), m);
  }
  size_t hits = 0;
  std::string each;
  for (int m = p.t; m <= top; m++) {
    hits += meet[m];
    each += (m == p.t ? "" : ", ") + std::to_string(m) + ": " + std::to_string(meet[m]);
  }
  fprintf(o.f, "%sdraw result: best match %d; %s %d or more (%s)\n", o.c, best,
          plural(hits, "cover matches", "covers match").c_str(), p.t, each.c_str());
}

static void profile_report(Out o, const Params &p, const std::string &pool, size_t active,
                           const Result &r) {
  uint64_t all = wheel::ksets(p);
  auto share = [&](uint64_t v) { return 100.0 * (double)v / (double)all; };
  auto row = [&](const std::string &label, uint64_t v) {
    int bar = (int)std::lround(share(v) * kBarWidth / 100);
    if (v > 0 && bar == 0) bar = 1;  // present, however rare
    fprintf(o.f, "%s  %-9s %12llu %8.3f%%%s%s\n", o.c, label.c_str(), (unsigned long long)v,
            share(v), bar ? "  " : "", std::string(bar, '#').c_str());
  };
  fprintf(o.f, "%sprofile: the best match of each of the %llu %d-sets%s with the %s\n", o.c,
          (unsigned long long)all, p.k, pool.c_str(), plural(active, "cover", "covers").c_str());
  fprintf(o.f, "%s  %-9s %12s %9s\n", o.c, "match", (std::to_string(p.k) + "-sets").c_str(),
          "share");
  uint64_t covered = 0;
  for (size_t m = 0; m < r.best.size(); m++) {
    row(std::to_string(m), r.best[m]);
    if ((int)m >= p.t) covered += r.best[m];
  }
  row(std::to_string(p.t) + " or more", covered);
  const std::vector<uint64_t> &h = r.multiplicity;
  uint64_t least = 0, sum = 0;
  while (h[least] == 0) least++;
  for (size_t c = 0; c < h.size(); c++) sum += c * h[c];
  fprintf(o.f,
          "%scovers per %d-set: min %llu, mean %.3f, max %zu; met by exactly one: %.3f%% of the "
          "%d-sets\n",
          o.c, p.k, (unsigned long long)least, (double)sum / (double)all, h.size() - 1,
          h.size() > 1 ? share(h[1]) : 0.0, p.k);
}

static void report(const Options &opt, const Params &p, const Picks &picks, const wheel::Wheel &w,
                   const Result &r, const std::vector<int64_t> &given, const Cover &draw) {
  Out o{opt.csv ? stderr : stdout, opt.reduce && !opt.csv ? "# " : ""};
  size_t nc = w.covers.size();
  uint64_t all = wheel::ksets(p);
  std::string share = "at least " + plural(p.t, "number", "numbers");
  std::string pool =
      picks.empty() ? " of 1.." + std::to_string(p.n) : " of the " + std::to_string(p.n) + " picks";
  fprintf(o.f, "%scovers: %zu\n", o.c, nc);
  if (r.holes == 0)
    fprintf(o.f, "%scovered: yes (every %d-set%s shares %s with a cover)\n", o.c, p.k, pool.c_str(),
            share.c_str());
  else
    fprintf(o.f, "%scovered: no (%llu of the %llu %d-sets%s share %s with no cover)\n", o.c,
            (unsigned long long)r.holes, (unsigned long long)all, p.k, pool.c_str(), share.c_str());

  uint64_t listed = opt.all_holes ? r.holes : std::min<uint64_t>(r.holes, kFirstHoles);
  fprintf(o.f, "%sholes: %llu", o.c, (unsigned long long)r.holes);
  if (listed < r.holes) fprintf(o.f, " (the first %d below; --holes lists all)", kFirstHoles);
  fprintf(o.f, "\n");
  for (uint64_t i = 0, h = r.cov->next_hole(0); i < listed; i++, h = r.cov->next_hole(h + 1))
    fprintf(o.f, "%s  %s\n", o.c, numbers(r.cov->kset(h), picks).c_str());

  if (r.redundant.empty())
    fprintf(o.f, "%sredundant: none\n", o.c);
  else
    fprintf(o.f, "%sredundant: %zu (each alone can go without opening a hole)\n", o.c,
            r.redundant.size());
  for (size_t i : r.redundant)
    fprintf(o.f, "%s  line %d: %s\n", o.c, w.lines[i], numbers(w.covers[i], picks).c_str());

  fprintf(o.f, "%slower bound: ", o.c);
  const char *sep = "";
  uint64_t bound = 0;
  for (const wheel::Bound &b : wheel::lower_bounds(p)) {
    fprintf(o.f, "%s%llu (%s)", sep, (unsigned long long)b.value, b.name), sep = ", ";
    bound = std::max(bound, b.value);
  }
  fprintf(o.f, "\n%sratio: %.3f of the lower bound\n", o.c, (double)nc / (double)bound);

  if (opt.drawn) draw_report(o, p, picks, w, r, given, draw);
  if (opt.profile) profile_report(o, p, pool, nc - r.removed.size(), r);

  if (opt.reduce) {
    std::string removed;
    for (size_t i : r.removed)
      removed += (removed.empty() ? "" : ", ") + std::to_string(w.lines[i]);
    fprintf(o.f, "%sreduced wheel: %s (%s%s)\n", o.c,
            plural(nc - r.removed.size(), "cover", "covers").c_str(),
            r.removed.empty()       ? "nothing removed"
            : r.removed.size() == 1 ? "removed line "
                                    : "removed lines ",
            removed.c_str());
  }
  if (opt.reduce || opt.csv)
    for (size_t i = 0; i < nc; i++)
      if (r.cov->active(i))
        printf("%s\n", numbers(w.covers[i], picks, opt.csv ? "," : " ").c_str());
}

int main(int argc, char **argv) {
  Options o;
  Params p;
  Picks picks;
  std::vector<int64_t> given;
  Cover draw;
  wheel::Wheel w;
  if (int status = parse_args(argc, argv, o); status >= 0) return status;
  if (int status = check_params(o, p); status >= 0) return status;
  if (std::string err = parse_map(o, p, picks); !err.empty()) return input_error(err);
  if (std::string err = parse_draw(o, p, picks, given, draw); !err.empty()) return input_error(err);
  if (std::string err = read_input(o.pos, p, o.on_picks ? picks : Picks(), w); !err.empty())
    return input_error(err);

  Result r;
  try {
    r.cov = std::make_unique<wheel::Coverage>(p, w.covers);
    size_t nc = w.covers.size();
    for (size_t i = 0; i < nc; i++)
      if (r.cov->redundant(i)) r.redundant.push_back(i);
    // From the last line up: the greedy run's late covers are the likeliest to
    // be superseded. One pass suffices, since removals only lower the counts.
    if (o.reduce)
      for (size_t i = nc; i-- > 0;)
        if (r.cov->redundant(i)) {
          r.cov->drop(i);
          r.removed.push_back(i);
        }
    r.holes = r.cov->holes();
    if (o.profile) {
      r.best = r.cov->best_matches();
      r.multiplicity = r.cov->multiplicities();
    }
  } catch (const std::bad_alloc &) {
    return input_error("out of memory for the counts of " + std::to_string(wheel::ksets(p)) +
                       " k-sets");
  }

  report(o, p, picks, w, r, given, draw);
  if (fflush(stdout) != 0 || ferror(stdout) || fflush(stderr) != 0 || ferror(stderr))
    return input_error(std::string("cannot write the report: ") + strerror(errno));
  return r.holes == 0 ? 0 : 1;
}
