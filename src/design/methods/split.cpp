// The split by dynamic programming, and composing part wheels.
#include "design/methods/split.h"

#include <set>

namespace design::inline VORLANK_SETS {

// Bottom-up over pool sizes: each entry is the direct wheel or the best pair
// of smaller entries with k1 + k2 = j + 1 (a split with smaller k_i would
// also be valid, but only wastes covers). On equal sizes the direct wheel
// wins, then the split found first.
SplitTable::SplitTable(const Shape &s, const std::function<int64_t(int, int)> &direct)
    : n(s.n), k(s.k), x(s.x), t(s.t), size((size_t)(s.n + 1) * (s.k + 1), kNoWheel),
      how(size.size(), kImpossible) {
  for (int m = 0; m <= n; m++)
    for (int j = 0; j <= k; j++) {
      size_t here = at(m, j);
      if (j > m) {
        size[here] = 0, how[here] = kEmpty;
        continue;
      }
      if (j < t) continue;
      if (m <= x) {
        size[here] = 1, how[here] = kSingle;
        continue;
      }
      if (int64_t d = direct(m, j); d >= 0) size[here] = d, how[here] = kDirect;
      for (int m1 = 1; m1 < m; m1++)
        for (int j1 = 1; j1 <= j; j1++) {
          int64_t v = size[at(m1, j1)] + size[at(m - m1, j + 1 - j1)];
          if (v < size[here]) size[here] = v, how[here] = m1 * (k + 1) + j1;
        }
      // The fringe where a k-set short of k - t + 2 numbers in A has t - 1
      // or more in F (t >= 3 keeps A's k below j) and then two in A (j > t).
      if (t >= 3 && j > t && x - 1 >= t && m > x) {
        int64_t v = size[at(m - x + 1, j - t + 2)] + (m - x);
        if (v < size[here]) size[here] = v, how[here] = kFringe;
      }
    }
}

void SplitTable::parts(int m, int j, int offset, std::vector<Part> &out) const {
  int h = how[at(m, j)];
  if (h == kEmpty) out.push_back({offset, m, j, Part::Empty});
  if (h == kSingle) out.push_back({offset, m, j, Part::Single});
  if (h == kDirect) out.push_back({offset, m, j, Part::Direct});
  if (h == kFringe) {
    parts(m - x + 1, j - t + 2, offset, out);
    out.push_back({offset, m, t - 1, Part::Fringe});
  }
  if (h >= 0) {
    int m1 = h / (k + 1), j1 = h % (k + 1);
    parts(m1, j1, offset, out);
    parts(m - m1, j + 1 - j1, offset + m1, out);
  }
}

std::vector<Part> best_split(const Shape &s, const std::function<int64_t(int, int)> &direct) {
  SplitTable tb(s, direct);
  std::vector<Part> parts;
  if (tb.best(s.n, s.k) < kNoWheel) tb.parts(s.n, s.k, 0, parts);
  return parts;
}

std::vector<Set> compose(const Shape &s, const std::vector<Part> &parts,
                         const std::vector<std::vector<Set>> &wheels) {
  std::vector<Set> covers;
  std::set<Set> seen;
  auto add = [&](Set c) {
    if (seen.insert(c).second) covers.push_back(c);
  };
  for (size_t i = 0; i < parts.size(); i++) {
    const Part &p = parts[i];
    if (p.kind == Part::Single) {
      // The whole part, padded with the lowest numbers outside it.
      Set c = low_bits(p.n) << p.offset;
      for (int a = 0; count(c) < s.x; a++) c |= bit(a);
      add(c);
    }
    if (p.kind == Part::Direct)
      for (Set c : wheels[i]) add(c << p.offset);
    if (p.kind == Part::Fringe) {
      int a_size = p.n - s.x + 1;
      for (int a = 0; a + 1 < a_size; a++)
        add((low_bits(s.x - 1) << (p.offset + a_size)) | bit(p.offset + a));
    }
  }
  return covers;
}

}  // namespace design
