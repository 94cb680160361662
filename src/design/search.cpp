// One run of vorlank-design: the search and its output, or the listing.
#include "design/search.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "design/methods/bound.h"
#include "base/cli.h"
#include "design/methods/exact.h"
#include "design/footprint.h"
#include "design/schedule.h"
#include "design/store.h"
#include "base/sysmem.h"

namespace design::inline VORLANK_SETS {

static int error(const std::string &what) { return cli::fail(what); }

std::string memory_refusal(const Shape &s) {
  double avail = available_mb();
  uint64_t covers = kCoversPerBound * std::min<uint64_t>(counting_bound(s), UINT32_MAX);
  return ::memory_refusal("vorlank-design", run_bytes(s, covers, avail) / 1048576.0, avail);
}

// The wheel of --from, proved; "" or what is wrong.
static std::string read_from(const std::string &path, const Shape &s, std::vector<Set> &covers) {
  if (path == "-") {
    std::string err = store::read_proved(std::cin, s, covers);
    return err.empty() ? "" : "standard input: " + err;
  }
  std::ifstream f(path, std::ios::binary);
  if (!f) return "cannot open " + path + ": " + strerror(errno);
  std::string err = store::read_proved(f, s, covers);
  return err.empty() ? "" : path + ": " + err;
}

static const char *signal_name(int sig) { return sig == SIGINT ? "SIGINT" : "SIGTERM"; }

// The search's options from the command line's, with the store and the
// progress line where there are.
static DesignOptions search_options(const Run &r, const store::Store &st) {
  DesignOptions d;
  d.seconds = r.o.seconds, d.seed = r.o.seed, d.moves = r.o.moves;
  d.stop = r.stop;
  if (st.enabled()) {
    d.stored = [&st](const Shape &ps) { return st.load(ps); };
    d.keep = [&st](const Shape &ps, const std::vector<Set> &w,
                   const std::vector<std::string> &how) { st.keep(ps, w, how); };
  }
  d.progress = r.progress;
  return d;
}

// The Error line of a search that gave no wheel; the exit status.
static int no_wheel(const Run &r, const Shape &s, const Design &w) {
  std::string inst = instance(s);
  char secs[64];
  snprintf(secs, sizeof secs, "--seconds %g", r.o.seconds);
  if (!w.needs.empty()) return error("no wheel for " + inst + " within " + secs + ": " + w.needs);
  if (int sig = *r.signal) {
    error("interrupted by " + std::string(signal_name(sig)) + " before any wheel for " + inst +
          " was found");
    return 128 + sig;
  }
  return error("no wheel for " + inst + " within reach of this program");
}

// The wheel with its # lines on standard output, then into the store; the
// exit status.
static int print_wheel(const Run &r, const Shape &s, Design &w, const store::Store &st) {
  if (w.from_store)
    w.built.insert(w.built.begin(),
                   "from the store: " + covers_text(w.from_store) + " (" + st.path(s) + ")");
  if (w.optimal)
    w.built.push_back(w.proof.empty()
                          ? "optimal: the exact solve proved that no wheel has fewer covers"
                          : "optimal: no wheel has fewer covers: " + w.proof);
  int sig = *r.signal;
  if (sig) {
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - r.start).count();
    char text[160];
    snprintf(text, sizeof text, "interrupted by %s after %.1f s, with %s", signal_name(sig), secs,
             covers_text(w.covers.size()).c_str());
    w.built.push_back(text);
  }
  FILE *out = own_stdout();
  fputs(store::wheel_text(s, w.covers, w.built).c_str(), out);
  if (fflush(out) != 0 || ferror(out))
    return error(std::string("cannot write the wheel: ") + strerror(errno));
  st.keep(s, w.covers, w.built);
  return sig ? 128 + sig : 0;
}

// --list: the store's wheels, each proved again, as a table or CSV; the
// exit status.
int list_store(const Options &o) {
  std::vector<store::Entry> entries;
  // A file is proved only where a search of its instance would fit memory.
  auto too_large = [](const Shape &s) {
    std::string no = memory_refusal(s);
    const std::string error_word = "Error: ";
    return no.rfind(error_word, 0) == 0 ? no.substr(error_word.size()) : no;
  };
  if (std::string err = store::Store(o.store).list(entries, too_large); !err.empty())
    return error(err);
  fputs(store::listing(entries, o.csv).c_str(), stdout);
  if (fflush(stdout) != 0 || ferror(stdout))
    return error(std::string("cannot write the list: ") + strerror(errno));
  return 0;
}

int search(const Run &r, const Shape &s) {
  std::vector<Set> from;
  if (!r.o.from.empty())
    if (std::string err = read_from(r.o.from, s, from); !err.empty()) return error(err);
  store::Store st(r.o.store);
  Design w;
  bool ok = design_wheel(s, from, search_options(r, st), w);
  if (r.progress_done) r.progress_done();
  if (!ok) return no_wheel(r, s, w);
  return print_wheel(r, s, w, st);
}

}  // namespace design::inline VORLANK_SETS
