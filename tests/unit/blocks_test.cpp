// The symmetric search by base blocks: a base block's k-orbits against the
// listed orbits' coverage, and the small projective planes as the orbit of
// one block under a cycle.
#include <gtest/gtest.h>

#include <algorithm>

#include "design/methods/blocks.h"
#include "design/methods/bound.h"

using namespace design;

TEST(Blocks, BaseBlockCoversWhatItsListedOrbitCovers) {
  EXPECT_TRUE(blocks_apply({57, 2, 8, 2}) && blocks_apply({49, 2, 7, 2}));
  // The listed ones, a k-table too large, t = 0 and t above x.
  for (Shape s : {Shape{21, 2, 5, 2}, Shape{60, 5, 8, 2}, Shape{57, 2, 8, 0}, Shape{57, 3, 2, 3}})
    EXPECT_FALSE(blocks_apply(s)) << instance(s);
  for (Shape s : {Shape{10, 3, 5, 2}, Shape{11, 4, 5, 3}, Shape{9, 2, 3, 2}})
    for (const Group &g : candidate_groups(s.n, 2)) {
      OrbitCover oc;
      ASSERT_TRUE(build_orbit_cover(s, g, {100000, 100000, 100000000}, oc));
      std::vector<uint8_t> mark(oc.k.rep.size());
      std::vector<uint32_t> got;
      // Any set of each x-orbit, not only the first.
      Set b = low_bits(s.x);
      for (uint64_t r = 0; r < oc.x.id.size(); r += 7, b = unrank(r, s.x)) {
        block_covers(s, oc.k, b, mark, got);
        std::vector<uint32_t> want = oc.cover[oc.x.id[r]];
        std::sort(got.begin(), got.end()), std::sort(want.begin(), want.end());
        ASSERT_EQ(got, want) << instance(s) << " " << g.name;
        ASSERT_EQ(std::count(mark.begin(), mark.end(), 1), 0);
      }
    }
}

TEST(Blocks, SmallProjectivePlanesAreOneOrbitOfACycle) {
  BlockOptions o;
  o.end = from_now(60);
  o.threads = 2;
  o.moves = 20000;  // by the seed alone
  // PG(2,2), PG(2,3), PG(2,4): a planar difference set mod n, at the lower bound.
  for (Shape s : {Shape{7, 2, 3, 2}, Shape{13, 2, 4, 2}, Shape{21, 2, 5, 2}}) {
    o.lower = lower_bound(s);
    BlockWheel w = block_wheel(s, o);
    EXPECT_EQ(w.covers.size(), (size_t)s.n) << instance(s);
    EXPECT_EQ(w.order, (size_t)s.n) << w.group;
    EXPECT_EQ(w.base_blocks, 1u);
    EXPECT_TRUE(proved(s, w.covers));
  }
  // Only wheels below beat count: none below the Fano plane.
  o.beat = 7, o.lower = 7;
  EXPECT_TRUE(block_wheel({7, 2, 3, 2}, o).covers.empty());
  // A wheel where k > t (the plain greedy takes 37).
  o.beat = UINT64_MAX, o.lower = lower_bound({16, 4, 5, 3});
  BlockWheel w = block_wheel({16, 4, 5, 3}, o);
  EXPECT_TRUE(proved({16, 4, 5, 3}, w.covers));
  EXPECT_LE(w.covers.size(), 40u);
}
