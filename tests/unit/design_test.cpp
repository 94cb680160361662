// vorlank-design's pieces a transcript cannot isolate: every split the
// search can choose composes into a wheel, the local search keeps its
// multiplicities exact, seeds reproduce, --from never grows, and known
// optimal wheels are reached.
#include <gtest/gtest.h>

#include <bit>

#include "anneal.h"
#include "compose.h"
#include "partgreedy.h"

using namespace design;

static const Deadline kNever = Deadline::max();

// Whether every k-set of the pool shares at least t numbers with a cover,
// by brute force (independent of the check walk behind proved()).
static bool covers_all(const Shape &s, const std::vector<Set> &w) {
  for (Set k = low_bits(s.k); k < bit(s.n); k = next_set(k)) {
    bool hit = false;
    for (Set c : w) hit |= std::popcount(c & k) >= s.t;
    if (!hit) return false;
  }
  return true;
}

TEST(DesignSplit, EverySplitComposesIntoAWheel) {
  // The direct sizes steer the table towards different splits: the real
  // greedy sizes, sizes from a fixed scramble, and direct wheels too large
  // where k > t, so that fringes pay.
  int composed = 0, fringes = 0;
  for (int n = 7; n <= 14; n++)
    for (int x = 2; x <= 5 && x < n; x++)
      for (int k = 1; k <= 6 && k < n; k++)
        for (int t = 1; t <= std::min(k, x); t++)
          for (int variant = 0; variant < 4; variant++) {
            Shape s{n, k, x, t};
            auto direct = [&](int m, int j) -> int64_t {
              if (variant == 0) return (int64_t)colex_greedy({m, j, x, t}, kNever).size();
              if (variant == 1) return (m * 7 + j * 13) % 11 + 1;
              if (variant == 3) return j > t ? 1000 : (m * 7 + j * 13) % 11 + 1;  // fringes
              return m == n && j == k ? -1 : (m * 5 + j * 3) % 7 + 1;
            };
            std::vector<Part> parts = best_split(s, direct);
            if (parts.empty()) continue;  // nothing but the whole, refused in variant 2
            std::vector<std::vector<Set>> wheels;
            int ks = 0;
            for (const Part &p : parts) {
              ASSERT_TRUE(p.kind == Part::Empty || p.k >= t ||
                          (p.kind == Part::Fringe && p.k == t - 1));
              fringes += p.kind == Part::Fringe;
              wheels.push_back(p.kind == Part::Direct ? colex_greedy({p.n, p.k, x, t}, kNever)
                                                      : std::vector<Set>());
              ks += p.k;
            }
            // Each split adds one to the sum of the parts' k.
            EXPECT_EQ(ks, k + (int)parts.size() - 1);
            std::vector<Set> w = compose(s, parts, wheels);
            for (Set c : w) ASSERT_EQ(std::popcount(c), x);
            ASSERT_TRUE(covers_all(s, w)) << "L(" << n << "," << k << "," << x << "," << t << ")";
            EXPECT_TRUE(proved(s, w));
            composed += parts.size() > 1;
          }
  EXPECT_GT(composed, 500);
  EXPECT_GT(fringes, 5);
}

TEST(DesignAnneal, MultiplicitiesMatchARecountAfterEveryMove) {
  for (Shape s : {Shape{12, 4, 5, 3}, Shape{11, 3, 4, 2}, Shape{10, 2, 3, 2}}) {
    std::vector<Set> start = colex_greedy(s, kNever);
    Annealer<uint8_t> a(s, start, 7);
    for (int step = 0; step < 3000; step++) {
      if (a.holes() == 0)
        a.drop_cheapest();
      else
        a.move(step % 2 ? 0.5 : 3.0);
      uint64_t holes = 0;
      for (Set k = low_bits(s.k); k < bit(s.n); k = next_set(k)) {
        int m = 0;
        for (Set c : a.covers()) m += std::popcount(c & k) >= s.t;
        ASSERT_EQ(a.multiplicity(rank(k)), m) << "step " << step;
        holes += m == 0;
      }
      ASSERT_EQ(a.holes(), holes);
    }
  }
}

TEST(DesignSearch, SameSeedSameWheelAndFromNeverGrows) {
  Shape s{14, 4, 5, 3};
  DesignOptions o;
  o.seconds = 1000, o.moves = 50000, o.seed = 5;
  Design a, b;
  ASSERT_TRUE(design_wheel(s, {}, o, a));
  ASSERT_TRUE(design_wheel(s, {}, o, b));
  EXPECT_EQ(a.covers, b.covers);
  EXPECT_TRUE(covers_all(s, a.covers));

  // A wheel with redundant covers in front: the search starts from it.
  std::vector<Set> from = colex_greedy(s, kNever);
  for (int i = 0; i < 5; i++) from.insert(from.begin(), low_bits(5) << i);
  Design c;
  o.moves = 20000;
  ASSERT_TRUE(design_wheel(s, from, o, c));
  EXPECT_LE(c.covers.size(), from.size() - 5);
  EXPECT_TRUE(covers_all(s, c.covers));
}

TEST(DesignSearch, ReachesKnownOptima) {
  // Fano plane, projective plane of order 3, S(3,4,8), S(3,6,22), and
  // L(10,2,6,2) = 4 (the greedy finds 5): each meets its lower bound, where
  // the search stops, so the time given is never used up.
  for (auto [s, size] : {std::pair{Shape{7, 2, 3, 2}, 7},
                         {Shape{13, 2, 4, 2}, 13},
                         {Shape{8, 3, 4, 3}, 14},
                         {Shape{22, 3, 6, 3}, 77},
                         {Shape{10, 2, 6, 2}, 4}}) {
    DesignOptions o;
    o.seconds = 60;
    Design d;
    ASSERT_TRUE(design_wheel(s, {}, o, d));
    EXPECT_EQ(d.covers.size(), (size_t)size) << "L(" << s.n << "," << s.k << ")";
    EXPECT_TRUE(covers_all(s, d.covers));
  }
}
