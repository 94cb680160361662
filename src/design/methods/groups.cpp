// Candidate groups of the pool: generators by family, closure, finite fields.
#include "design/methods/groups.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace design::inline VORLANK_SETS {

Set apply(const Perm &g, Set s) {
  Set out = 0;
  for (; s; s = drop_first(s)) out |= bit(g[first(s)]);
  return out;
}

static Perm identity(int n) {
  Perm p{};
  for (int i = 0; i < n; i++) p[i] = (uint8_t)i;
  return p;
}

bool close_group(Group &g, Deadline end) {
  auto key = [&](const Perm &p) { return std::string((const char *)p.data(), g.n); };
  g.elements = {identity(g.n)};
  std::unordered_set<std::string> seen = {key(g.elements[0])};
  for (size_t at = 0; at < g.elements.size(); at++)
    for (const Perm &gen : g.gens) {
      Perm h{};
      for (int i = 0; i < g.n; i++) h[i] = gen[g.elements[at][i]];
      if (!seen.insert(key(h)).second) continue;
      if (g.elements.size() == kMaxGroupOrder) return false;
      if (g.elements.size() % 1024 == 0 && Clock::now() >= end) return false;
      g.elements.push_back(h);
    }
  return true;
}

// ---- finite fields -------------------------------------------------------------

static int pow_int(int b, int e) {
  int r = 1;
  while (e--) r *= b;
  return r;
}

int Field::neg(int a) const {
  for (int b = 0; b < q; b++)
    if (plus(a, b) == 0) return b;
  return 0;
}

int Field::inverse(int a) const {
  for (int b = 1; b < q; b++)
    if (times(a, b) == 1) return b;
  return 0;
}

bool make_field(int q, Field &f) {
  int p = 0, e = 0;
  for (int d = 2; d <= q && !p; d++)
    if (q % d == 0) p = d;
  if (q < 2) return false;
  for (int r = q; r > 1; r /= p, e++)
    if (r % p) return false;
  f.q = q, f.p = p;
  f.add.assign((size_t)q * q, 0), f.mul.assign((size_t)q * q, 0);
  // Digits of an element: the coefficients of its polynomial, base p.
  for (int a = 0; a < q; a++)
    for (int b = 0; b < q; b++) {
      int s = 0;
      for (int i = 0, w = 1, x = a, y = b; i < e; i++, w *= p, x /= p, y /= p)
        s += (x % p + y % p) % p * w;
      f.add[a * q + b] = (uint8_t)s;
    }
  // Powers of x modulo a monic polynomial of degree e whose low
  // coefficients are the digits of cand (for e = 1, powers of the number
  // cand); the first whose x has order q - 1 is primitive.
  std::vector<int> power(q);
  for (int cand = 1; cand < q; cand++) {
    power[0] = 1;
    bool ok = true;
    for (int i = 1; i < q && ok; i++) {
      int prev = power[i - 1], next = 0;
      if (e == 1) {
        next = prev * cand % p;
      } else {
        // x * prev, with x^e replaced by minus the low coefficients.
        int digit[8], top = prev / (q / p);
        for (int j = 0, v = prev; j < e; j++, v /= p) digit[j] = v % p;
        for (int j = e - 1, c = cand; j >= 0; j--) {
          int low = j ? digit[j - 1] : 0, cj = c / pow_int(p, j) % p;
          next = next * p + ((low - top * cj) % p + p) % p;
        }
      }
      power[i] = next;
      if (next == 0 || (next == 1 && i < q - 1)) ok = false;
    }
    if (!ok || power[q - 1] != 1) continue;
    std::vector<int> log(q);
    for (int i = 0; i < q - 1; i++) log[power[i]] = i;
    for (int a = 1; a < q; a++)
      for (int b = 1; b < q; b++) f.mul[a * q + b] = (uint8_t)power[(log[a] + log[b]) % (q - 1)];
    f.primitive = power[1];
    return true;
  }
  return false;
}

// ---- the families ---------------------------------------------------------------

static std::string fixed_text(int f) {
  if (f == 0) return "";
  return ", " + std::to_string(f) + (f == 1 ? " fixed point" : " fixed points");
}

// c cycles of m on the first c * m points, the rest fixed.
static void cycles(int n, int m, int c, std::vector<Group> &out) {
  int f = n - m * c;
  auto on_cycles = [&](auto map) {
    Perm p = identity(n);
    for (int i = 0; i < c; i++)
      for (int j = 0; j < m; j++) {
        auto [i2, j2] = map(i, j);
        p[i * m + j] = (uint8_t)(i2 * m + j2);
      }
    return p;
  };
  Perm sigma = on_cycles([&](int i, int j) { return std::pair{i, (j + 1) % m}; });
  Perm tau = on_cycles([&](int i, int j) { return std::pair{(i + 1) % c, j}; });
  std::string base = c == 1 ? "a cycle of " + std::to_string(m)
                            : std::to_string(c) + " cycles of " + std::to_string(m);
  // Multipliers: one generator a of each cyclic subgroup of the units mod m.
  std::vector<std::pair<int, int>> mult;  // a, its order
  std::vector<std::vector<int>> subgroups;
  for (int a = 2; a < m; a++) {
    if (std::gcd(a, m) != 1) continue;
    std::vector<int> sub;
    for (int v = a; v != 1; v = v * a % m) sub.push_back(v);
    sub.push_back(1);
    std::sort(sub.begin(), sub.end());
    if (std::find(subgroups.begin(), subgroups.end(), sub) != subgroups.end()) continue;
    subgroups.push_back(sub);
    mult.push_back({a, (int)sub.size()});
  }
  for (int rotate = 0; rotate <= (c > 1); rotate++)
    for (size_t mu = 0; mu <= mult.size(); mu++) {
      Group g;
      g.n = n;
      g.gens = {sigma};
      g.name = base;
      if (rotate) g.gens.push_back(tau), g.name += ", rotated onto each other";
      if (mu < mult.size()) {
        int a = mult[mu].first;
        g.gens.push_back(on_cycles([&](int i, int j) { return std::pair{i, j * a % m}; }));
        g.name += ", multiplied by " + std::to_string(a);
      }
      g.name += fixed_text(f);
      out.push_back(std::move(g));
    }
}

// x -> ax + b on GF(q), a in the subgroup of order d of the units.
static void affine(int n, const Field &fd, std::vector<Group> &out) {
  int q = fd.q, f = n - q;
  std::vector<Perm> translations;
  for (int u = 1; u < q; u *= fd.p) {
    Perm p = identity(n);
    for (int a = 0; a < q; a++) p[a] = (uint8_t)fd.plus(a, u);
    translations.push_back(p);
  }
  for (int d = 1; d < q; d++) {
    if ((q - 1) % d) continue;
    Group g;
    g.n = n;
    g.gens = translations;
    int w = 1;
    for (int i = 0; i < (q - 1) / d; i++) w = fd.times(w, fd.primitive);
    if (d > 1) {
      Perm p = identity(n);
      for (int a = 0; a < q; a++) p[a] = (uint8_t)fd.times(w, a);
      g.gens.push_back(p);
    }
    g.name =
        (d == 1 ? "x -> x+b on GF(" + std::to_string(q) + ")"
                : "x -> ax+b on GF(" + std::to_string(q) + "), a of order " + std::to_string(d)) +
        fixed_text(f);
    out.push_back(std::move(g));
  }
}

// PGL(2,q) and PSL(2,q) on GF(q) and infinity (the point q).
static void projective(int n, const Field &fd, std::vector<Group> &out) {
  int q = fd.q, f = n - q - 1;
  auto map = [&](auto fn) {
    Perm p = identity(n);
    for (int a = 0; a <= q; a++) p[a] = (uint8_t)fn(a);
    return p;
  };
  Perm shift = map([&](int a) { return a == q ? q : fd.plus(a, 1); });
  auto scale = [&](int w) { return map([&](int a) { return a == q ? q : fd.times(w, a); }); };
  auto flip = [&](bool negate) {
    return map([&](int a) {
      if (a == q) return 0;
      if (a == 0) return q;
      int inv = fd.inverse(a);
      return negate ? fd.neg(inv) : inv;
    });
  };
  std::string pts = std::to_string(q);
  out.push_back(
      {"PGL(2," + pts + ")" + fixed_text(f), n, {shift, scale(fd.primitive), flip(false)}, {}});
  if (q % 2)
    out.push_back({"PSL(2," + pts + ")" + fixed_text(f),
                   n,
                   {shift, scale(fd.times(fd.primitive, fd.primitive)), flip(true)},
                   {}});
}

std::vector<Group> candidate_groups(int n, size_t min_order, Deadline end) {
  std::vector<Group> gens;
  for (int f = 0; f <= kMaxFixed && f < n - 1; f++) {
    int moved = n - f;
    for (int m = 2; m <= moved; m++)
      if (moved % m == 0) cycles(n, m, moved / m, gens);
    Field fd;
    if (make_field(moved, fd)) affine(n, fd, gens);
    if (make_field(moved - 1, fd)) projective(n, fd, gens);
  }
  // Close each; one group of each set of elements (the families overlap:
  // GF(p)'s translations are a cycle of p).
  std::vector<Group> out;
  std::vector<std::pair<size_t, uint64_t>> seen;
  for (Group &g : gens) {
    if (Clock::now() >= end) break;
    if (!close_group(g, end) || g.elements.size() < std::max<size_t>(min_order, 2)) continue;
    uint64_t print = 0;
    for (const Perm &p : g.elements) {
      uint64_t h = 0xcbf29ce484222325;
      for (int i = 0; i < n; i++) h = (h ^ p[i]) * 0x100000001b3;
      print += h * 0x9e3779b97f4a7c15 ^ (h >> 29);
    }
    std::pair<size_t, uint64_t> id{g.elements.size(), print};
    if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    out.push_back(std::move(g));
  }
  // Largest first, in the order generated on ties.
  std::vector<size_t> order(out.size());
  for (size_t i = 0; i < order.size(); i++) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    size_t sa = out[a].elements.size(), sb = out[b].elements.size();
    return sa != sb ? sa > sb : a < b;
  });
  std::vector<Group> sorted;
  for (size_t i : order) sorted.push_back(std::move(out[i]));
  return sorted;
}

}  // namespace design
