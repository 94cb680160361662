// The schedule of vorlank-design's search: which method runs on which part
// of the split, and for how long.
#include "design/schedule.h"

#include <algorithm>
#include <cmath>

#include "design/budget.h"
#include "design/methods/bound.h"
#include "design/phases.h"

namespace design::inline VORLANK_SETS {

// Each defined in its own file (method_*.cpp).
const Method &colex_greedy_method(), &engine_greedy_method(), &gaps_method(), &unions_method(),
    &fringe_method(), &symmetric_method(), &block_method(), &larger_pool_method(),
    &local_search_method(), &weighted_method();

const std::vector<const Method *> &methods() {
  static const std::vector<const Method *> list = {
      &colex_greedy_method(), &engine_greedy_method(), &gaps_method(),      &unions_method(),
      &fringe_method(),       &larger_pool_method(),   &symmetric_method(), &block_method(),
      &local_search_method(), &weighted_method()};
  return list;
}

// The check walk of the final proof counts every cover's k-sets and then
// reads every k-set's count: about 5 ns each (the 322 covers of the greedy
// run's L(49,6,6,3) in 0.49 s). Wheels come to about kProofCovers times
// the counting bound until one is at hand.
constexpr double kProofCovers = 3;
double proof_seconds(const Shape &s, double covers) {
  if (covers <= 0) covers = kProofCovers * (double)std::max<uint64_t>(counting_bound(s), 1);
  return 5e-9 * ((double)binom()(s.n, s.k) + covers * (double)per_cover(s));
}

// A run may overrun --seconds by a quarter or a second and a half, the
// larger: a greedy step, an exact solve or the proof cannot stop at once.
double run_limit(double seconds) { return std::max(1.25 * seconds, seconds + 1.5); }

namespace schedule {

std::vector<const Method *> with_role(Role r) {
  std::vector<const Method *> out;
  for (const Method *m : methods())
    if (m->role() == r) out.push_back(m);
  return out;
}

}  // namespace schedule

using schedule::Known;
using schedule::Search;
using schedule::with_role;

bool design_wheel(const Shape &s, const std::vector<Set> &from, const DesignOptions &opt,
                  Design &out) {
  out = Design();
  out.lower = lower_bound(s);
  if (s.t == 0) {
    out.covers = {low_bits(s.x)};
    out.built = {"one cover: every k-set shares at least 0 numbers with any cover"};
    return true;
  }
  // The proof's time is kept from the start; where even it cannot fit the
  // limit, no search starts.
  double proof = proof_seconds(s), limit = run_limit(opt.seconds);
  if (proof > limit) {
    out.needs = Search::about(proof, "its proof alone would take about ");
    return false;
  }
  Search search(s, opt, proof);
  // A given wheel is one more candidate for the whole instance.
  if (!from.empty()) search.at(s.n, s.k).improve(from, "given", false);
  search.take_stored(s.n, s.k);
  // Without a wheel to start from, a run that cannot build one in time
  // tries the search methods on the whole (designs whose x-sets are too
  // many to list, PG(2,7) among them); where none applies, it is refused at
  // once, naming the time that would do.
  if (search.at(s.n, s.k).best.empty()) {
    double first = search.first_wheel_seconds();
    if (!std::isfinite(first) || proof + first > limit) search.fallback();
    if (search.at(s.n, s.k).best.empty() && (!std::isfinite(first) || proof + first > limit)) {
      std::vector<const Method *> searchers = with_role(Role::Search);
      bool can_search = search.next_search(s.n, s.k, searchers) < searchers.size();
      if (!can_search || !search.search_whole()) {
        if (std::isfinite(first) && (!can_search || !search.halted()))
          out.needs = Search::about(proof + first, "its quickest wheel would take about ");
        return false;
      }
    }
  }

  int64_t size;
  std::vector<Part> parts = search.first_split(&size);
  if (parts.empty()) {
    // The greedy searches took longer than their estimates and the time.
    if (!search.halted() && std::isfinite(search.first_wheel_seconds()))
      out.needs = "its greedy searches did not end in time";
    return false;
  }
  out.from_store = search.from_store;
  if (!search.halted()) search.derive_parts(s.n, s.k);
  search.keep_at_hand(false);
  search.prove(share_until(search.end, kProofShare));

  // The search methods take their share of the time left; where one proves
  // the whole instance's wheel optimal, the run ends there.
  if (search.search_parts(share_until(search.end, kSearchShare))) {
    Known &d = search.at(s.n, s.k);
    out.covers = d.best;
    out.optimal = true;
    out.built = {instance(s) + ": " + d.text()};
    search.progress(out.covers.size(), "proof");
    return proved(s, out.covers);
  }
  // A part the search moved the split to may be a fringe's.
  if (!search.halted()) search.derive_parts(s.n, s.k);
  search.keep_at_hand(false);

  uint64_t part_moves = opt.moves == UINT64_MAX ? UINT64_MAX : opt.moves / 2;
  search.improve_parts(share_until(search.end, kPartShare), part_moves);
  parts = search.split(Search::kKnown, &size);
  search.store_parts(parts);
  if (!search.finish(parts, size, out)) return false;
  // At a lower bound the proof raised, the wheel is optimal, and says why.
  if (!search.lower_how.empty() && out.covers.size() <= search.lower)
    out.optimal = true, out.proof = search.lower_how;
  return true;
}

}  // namespace design::inline VORLANK_SETS
