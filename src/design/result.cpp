// The end of one vorlank-design search: the wheel at hand an interrupt
// prints, the # lines of the split, the parts kept in the store, and the
// wheel of the whole, improved and proved.
#include <algorithm>
#include <cmath>

#include "design/budget.h"
#include "design/methods/anneal.h"
#include "design/phases.h"  // first of its own: the state these phases end

namespace design::inline VORLANK_SETS {
namespace schedule {

void Search::keep_at_hand(bool first) {
  bool cheap = proof <= std::max(kCheapProof, kCheapProofShare * opt.seconds);
  if (halted() ||
      !(cheap || (first && at_hand.covers.empty() && 2 * proof <= seconds_until(hard_end) + proof)))
    return;
  int64_t size;
  std::vector<Part> parts = split(kKnown, &size);
  if (parts.empty() || (!at_hand.covers.empty() && (uint64_t)size >= at_hand.covers.size())) return;
  Proved p;
  p.covers = compose(s, parts, wheels_of(parts));
  if (!at_hand.covers.empty() && p.covers.size() >= at_hand.covers.size()) return;
  describe(parts, size, p.built);
  progress(p.covers.size(), "proof");
  if (!proved(s, p.covers)) return;
  // The final proof, of a wheel no larger, is now known to take longer
  // where the wheel is above the guess (L(90,6,6,3): 1713 covers, not 900).
  if (double need = proof_seconds(s, (double)p.covers.size()); need > proof) {
    proof = need;
    end = std::min(end, after(start, opt.seconds - proof));
    hard_end = std::min(hard_end, after(start, run_limit(opt.seconds) - proof));
  }
  at_hand = std::move(p);
}

void Search::describe(const std::vector<Part> &parts, int64_t size,
                      std::vector<std::string> &built) {
  if (parts.size() > 1)
    built.push_back("split into " + std::to_string(parts.size()) + " parts (" +
                    std::to_string(size) + " covers):");
  for (const Part &p : parts) {
    std::string line = parts.size() > 1 ? "  " + std::to_string(p.offset + 1) + ".." +
                                              std::to_string(p.offset + p.n) + " as "
                                        : "";
    line += instance(shape(p.n, p.k)) + ": ";
    if (p.kind == Part::Empty) line += "no cover (k > n)";
    if (p.kind == Part::Single) line += "1 cover, the whole part, padded";
    if (p.kind == Part::Fringe) {
      int a_size = p.n - s.x + 1;
      line = "  " + std::to_string(p.offset + a_size + 1) + ".." + std::to_string(p.offset + p.n) +
             " with each of " + std::to_string(p.offset + 1) + ".." +
             std::to_string(p.offset + a_size - 1) + ": " + covers_text(a_size - 1);
    }
    if (p.kind == Part::Direct) line += at(p.n, p.k).text();
    built.push_back(line);
  }
}

bool Search::finish(const std::vector<Part> &parts, int64_t size, Design &out) {
  std::vector<Set> composed = compose(s, parts, wheels_of(parts));
  if (halted() && !at_hand.covers.empty() &&
      (at_hand.covers.size() <= composed.size() || proof > kCheapProof)) {
    out.covers = std::move(at_hand.covers), out.built = std::move(at_hand.built);
    return true;
  }
  describe(parts, size, out.built);
  uint64_t rest =
      opt.moves == UINT64_MAX ? UINT64_MAX : opt.moves - std::min(opt.moves, moves_used);
  out.covers = improve_whole(composed, rest, 1);
  // The local search keeps its wheels without holes; the check walk proves it.
  progress(std::min(out.covers.size(), composed.size()), "proof");
  if (out.covers.size() >= composed.size() || !proved(s, out.covers)) {
    out.covers = composed;
    // The wheel at hand was proved once already.
    if (composed != at_hand.covers && !proved(s, out.covers)) return false;
  }
  std::string gain = std::string(whole_by ? whole_by->name() : "local search") +
                     " of the whole wheel: " + covers_text(out.covers.size());
  // A whole too large for local search is left as its split composed it, and says so.
  uint64_t ksets = binom()(s.n, s.k);
  bool too_large = ksets > kMaxAnnealKsets;
  if (too_large)
    gain = "too many " + std::to_string(s.k) + "-sets (" + std::to_string(ksets) +
           ") for local search of the whole";
  if (parts.size() > 1)
    out.built.push_back("composed: " + covers_text(composed.size()) +
                        (out.covers.size() < composed.size() || too_large ? "; " + gain : ""));
  else if (out.covers.size() < composed.size())
    out.built.push_back(gain);
  return true;
}

}  // namespace schedule
}  // namespace design::inline VORLANK_SETS
