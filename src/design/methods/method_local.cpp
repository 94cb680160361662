// The local search method: simulated annealing (anneal.h) from the best
// wheel known, several runs side by side, the smallest wheel kept; the
// runs side by side of any local search (side_by_side).
#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "design/methods/anneal.h"
#include "design/methods/method.h"

namespace design::inline VORLANK_SETS {

namespace {

// Runs side by side on a wheel, each with its own seed (on as many threads;
// where the run ends by moves, always this many, so that its wheel does not
// depend on the threads there are).
constexpr size_t kParallelRuns = 2;

class LocalSearch : public Method {
public:
  const char *name() const override { return "local search"; }
  Role role() const override { return Role::Improve; }
  bool applies(const Shape &s) const override {
    return s.t >= 1 && s.k < s.n && s.x < s.n && binom()(s.n, s.k) <= kMaxAnnealKsets;
  }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override { return side_by_side(in, anneal); }
};

}  // namespace

// Runs with seeds seed, seed + 1 * golden, ..., the smallest wheel of the
// first run on ties; the moves of the longest run count as used.
MethodResult side_by_side(const MethodInput &in, LocalSearchRun search) {
  size_t runs = in.runs > 0              ? (size_t)in.runs
                : in.moves == UINT64_MAX ? std::min<size_t>(kParallelRuns, in.threads)
                                         : kParallelRuns;
  std::vector<std::vector<Set>> got(runs);
  std::vector<uint64_t> moves(runs, 0);
  std::exception_ptr failed;
  std::mutex lock;
  auto one = [&](size_t r) {
    try {
      got[r] = search(in.s, *in.best, in.lower, {in.end, in.moves, in.stop},
                      in.seed + r * 0x9e3779b97f4a7c15, &moves[r], [&](size_t b) {
                        std::lock_guard<std::mutex> hold(lock);
                        if (in.progress) in.progress(b);
                      });
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock);
      failed = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  for (size_t r = 1; r < runs; r++) {
    // A run whose thread cannot start (no memory for its stack) runs here.
    if ((int)pool.size() + 1 < in.threads) try {
        pool.emplace_back(one, r);
        continue;
      } catch (const std::system_error &) {
      }
    one(r);
  }
  one(0);
  for (auto &th : pool) th.join();
  if (failed) std::rethrow_exception(failed);
  size_t best = 0;
  for (size_t r = 1; r < runs; r++)
    if (got[r].size() < got[best].size()) best = r;
  return {std::move(got[best]), "", false, *std::max_element(moves.begin(), moves.end())};
}

const Method &local_search_method() {
  static const LocalSearch m;
  return m;
}

}  // namespace design
