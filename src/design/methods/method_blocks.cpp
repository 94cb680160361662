// The symmetric method by base blocks: wheels that a group of the pool maps
// onto themselves (blocks.h), where the x-sets are too many to list their
// orbits, within the share of the time it is given.
#include "design/methods/blocks.h"
#include "design/methods/method.h"

namespace design::inline VORLANK_SETS {

namespace {

// What the wheel came from, for its # line.
std::string detail(const BlockWheel &w) {
  return w.group + ": order " + std::to_string(w.order) + ", " + std::to_string(w.base_blocks) +
         (w.base_blocks == 1 ? " base block" : " base blocks") + ", annealing";
}

class Blocks : public Method {
public:
  const char *name() const override { return "symmetric"; }
  Role role() const override { return Role::Search; }
  bool applies(const Shape &s) const override { return blocks_apply(s); }
  double seconds(const Shape &) const override { return 0; }
  MethodResult run(const MethodInput &in) const override {
    BlockOptions bo;
    bo.beat = in.beat;
    bo.lower = in.lower;
    bo.end = in.end;
    bo.moves = in.moves;
    bo.seed = in.seed;
    bo.threads = in.threads;
    bo.halt = in.stop;
    bo.progress = in.progress;
    BlockWheel w = block_wheel(in.s, bo);
    if (w.covers.empty()) return {};
    return {std::move(w.covers), detail(w), false, 0};
  }
};

}  // namespace

const Method &block_method() {
  static const Blocks m;
  return m;
}

}  // namespace design
