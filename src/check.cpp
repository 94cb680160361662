// vorlank-check: proves a wheel for L(n,k,x,t), lists its holes and redundant
// covers, and compares its size with the lower bounds.
//
// Exit status: 0 every k-set covered, 1 holes, 2 usage or input error. The
// whole input is read and checked before anything is printed, so a report
// on standard output is always about the complete wheel.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "k.h"
#include "sysmem.h"
#include "wheel.h"

using wheel::Cover;
using wheel::Params;

static const char *const kUse = "Use: vorlank-check [--holes] [--reduce] n k x t [FILE]\n";

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
    "first 10), the covers that could go one at a time (redundant), the lower\n"
    "bound and the ratio of covers to it.\n"
    "\n"
    "  --holes     list every hole\n"
    "  --reduce    remove redundant covers one at a time from the last line up;\n"
    "              the report becomes # lines, followed by the reduced wheel\n"
    "  -h, --help  show this text\n"
    "\n"
    "Exit status: 0 every k-set is covered, 1 there are holes, 2 usage or input\n"
    "error.\n";

static const int kFirstHoles = 10;

static int usage_error(const std::string &what) {
  fprintf(stderr, "Error: %s\n%s", what.c_str(), kUse);
  return 2;
}

static int input_error(const std::string &what) {
  fprintf(stderr, "Error: %s\n", what.c_str());
  return 2;
}

// A parameter: plain decimal digits only; a sign, a blank or a word is a
// usage error rather than a number read from its leading digits.
static bool parameter(const char *name, const std::string &s, int &v, std::string &err) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) {
    err = std::string(name) + " must be a plain decimal number (here '" + s + "')";
    return false;
  }
  size_t nz = s.find_first_not_of('0');
  if (nz != std::string::npos && s.size() - nz > 9) {
    err = std::string(name) + " is too large (here " + s + ")";
    return false;
  }
  v = std::stoi(s);
  return true;
}

static std::string numbers(const Cover &c) {
  std::string s;
  for (int v : c) {
    if (!s.empty()) s += ' ';
    s += std::to_string(v);
  }
  return s;
}

static std::string plural(uint64_t v, const char *one, const char *many) {
  return std::to_string(v) + " " + (v == 1 ? one : many);
}

struct Options {
  bool all_holes = false, reduce = false;
  std::vector<std::string> pos;  // n k x t [FILE]
};

// Returns -1 to go on, or the exit status.
static int parse_args(int argc, char **argv, Options &o) {
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      printf("%s\n%s", kUse, kHelp);
      return 0;
    }
    if (a == "--holes")
      o.all_holes = true;
    else if (a == "--reduce")
      o.reduce = true;
    else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9'))
      return usage_error("unknown option '" + a + "'");
    else
      o.pos.push_back(a);  // "-3" too: a signed parameter is refused below
  }
  if (o.pos.size() != 4 && o.pos.size() != 5)
    return usage_error("expected n k x t and at most one FILE, got " +
                       plural(o.pos.size(), "argument", "arguments"));
  return -1;
}

// Returns -1 when the parameters are fine, or the exit status.
static int check_params(const std::vector<std::string> &pos, Params &p) {
  int *field[] = {&p.n, &p.k, &p.x, &p.t};
  const char *names[] = {"n", "k", "x", "t"};
  for (int i = 0; i < 4; i++)
    if (std::string err; !parameter(names[i], pos[i], *field[i], err)) return usage_error(err);
  // The checks of vorlank itself, in its order.
  auto is = [](const char *name, int v) { return std::string(name) + " = " + std::to_string(v); };
  if (p.n <= 1) return input_error("n must be greater than 1 (here " + is("n", p.n) + ")");
  if (p.k >= p.n)
    return input_error("k must be less than n (here " + is("k", p.k) + ", " + is("n", p.n) + ")");
  if (p.x >= p.n)
    return input_error("x must be less than n (here " + is("x", p.x) + ", " + is("n", p.n) + ")");
  if (p.t > p.x)
    return input_error("t must be at most x (here " + is("t", p.t) + ", " + is("x", p.x) + ")");
  // Then the limits of the greedy run, whose wheels this checks; memory is
  // judged for this program's own count table instead.
  std::string no = greedy_refusal(p.n, p.k, p.x, p.t, 1e18);
  if (no.empty()) no = wheel::memory_refusal(p, available_mb());
  if (no.empty()) return -1;
  fprintf(stderr, "%s%s", no.c_str(), no.back() == '\n' ? "" : "\n");
  return 2;
}

static std::string read_input(const std::vector<std::string> &pos, const Params &p,
                              wheel::Wheel &w) {
  if (pos.size() == 5 && pos[4] != "-") {
    std::ifstream f(pos[4], std::ios::binary);
    if (!f) return "cannot open " + pos[4] + ": " + strerror(errno);
    std::string err = wheel::read_wheel(f, p, w);
    return err.empty() && f.bad() ? "cannot read " + pos[4] : err;
  }
  std::string err = wheel::read_wheel(std::cin, p, w);
  return err.empty() && std::cin.bad() ? "cannot read standard input" : err;
}

// Everything computed before the report is printed.
struct Result {
  std::unique_ptr<wheel::Coverage> cov;
  std::vector<size_t> redundant;  // against the whole wheel
  std::vector<size_t> removed;    // by --reduce, in the order removed
  uint64_t holes = 0;
};

static void report(const Options &o, const Params &p, const wheel::Wheel &w, const Result &r) {
  // Under --reduce the report is comments, so the output reads back as a wheel.
  const char *c = o.reduce ? "# " : "";
  size_t nc = w.covers.size();
  uint64_t all = wheel::ksets(p);
  std::string share = "at least " + plural(p.t, "number", "numbers");
  std::string pool = " of 1.." + std::to_string(p.n);
  printf("%scovers: %zu\n", c, nc);
  if (r.holes == 0)
    printf("%scovered: yes (every %d-set%s shares %s with a cover)\n", c, p.k, pool.c_str(),
           share.c_str());
  else
    printf("%scovered: no (%llu of the %llu %d-sets%s share %s with no cover)\n", c,
           (unsigned long long)r.holes, (unsigned long long)all, p.k, pool.c_str(), share.c_str());

  uint64_t listed = o.all_holes ? r.holes : std::min<uint64_t>(r.holes, kFirstHoles);
  printf("%sholes: %llu%s\n", c, (unsigned long long)r.holes,
         listed < r.holes ? " (the first 10 below; --holes lists all)" : "");
  for (uint64_t i = 0, h = r.cov->next_hole(0); i < listed; i++, h = r.cov->next_hole(h + 1))
    printf("%s  %s\n", c, numbers(r.cov->kset(h)).c_str());

  if (r.redundant.empty())
    printf("%sredundant: none\n", c);
  else
    printf("%sredundant: %zu (each alone can go without opening a hole)\n", c, r.redundant.size());
  for (size_t i : r.redundant)
    printf("%s  line %d: %s\n", c, w.lines[i], numbers(w.covers[i]).c_str());

  uint64_t bound = wheel::counting_bound(p);
  printf("%slower bound: %llu (counting)", c, (unsigned long long)bound);
  if (p.k == p.t) {
    uint64_t s = wheel::schoenheim_bound(p);
    printf(", %llu (Schoenheim)", (unsigned long long)s);
    bound = std::max(bound, s);
  }
  printf("\n%sratio: %.3f of the lower bound\n", c, (double)nc / (double)bound);

  if (!o.reduce) return;
  std::string removed;
  for (size_t i : r.removed) removed += (removed.empty() ? "" : ", ") + std::to_string(w.lines[i]);
  printf("# reduced wheel: %s (%s%s)\n", plural(nc - r.removed.size(), "cover", "covers").c_str(),
         r.removed.empty()       ? "nothing removed"
         : r.removed.size() == 1 ? "removed line "
                                 : "removed lines ",
         removed.c_str());
  for (size_t i = 0; i < nc; i++)
    if (r.cov->active(i)) printf("%s\n", numbers(w.covers[i]).c_str());
}

int main(int argc, char **argv) {
  Options o;
  Params p;
  wheel::Wheel w;
  if (int status = parse_args(argc, argv, o); status >= 0) return status;
  if (int status = check_params(o.pos, p); status >= 0) return status;
  if (std::string err = read_input(o.pos, p, w); !err.empty()) return input_error(err);

  Result r;
  try {
    r.cov = std::make_unique<wheel::Coverage>(p, w.covers);
  } catch (const std::bad_alloc &) {
    return input_error("out of memory for the count table of " + std::to_string(wheel::ksets(p)) +
                       " k-sets");
  }
  size_t nc = w.covers.size();
  for (size_t i = 0; i < nc; i++)
    if (r.cov->redundant(i)) r.redundant.push_back(i);
  // From the last line up: the greedy run's late covers are the likeliest to be
  // superseded. One pass suffices, since removals only lower the counts.
  if (o.reduce)
    for (size_t i = nc; i-- > 0;)
      if (r.cov->redundant(i)) {
        r.cov->drop(i);
        r.removed.push_back(i);
      }
  r.holes = r.cov->holes();

  report(o, p, w, r);
  if (fflush(stdout) != 0 || ferror(stdout))
    return input_error(std::string("cannot write the report: ") + strerror(errno));
  return r.holes == 0 ? 0 : 1;
}
