// Orbits of sets under a group and the covering problem between orbits.
#include "design/methods/orbits.h"

#include <algorithm>
#include <map>

namespace design::inline VORLANK_SETS {

bool find_orbits(const Group &g, int m, size_t max_orbits, Orbits &out) {
  uint64_t total = binom()(g.n, m);
  if (total > kMaxOrbitTable) return false;
  out.id.assign(total, -1), out.rep.clear(), out.size.clear();
  Set s = low_bits(m);
  for (uint64_t r = 0; r < total; r++, s = r < total ? next_set(s) : s) {
    if (out.id[r] >= 0) continue;
    if (out.rep.size() == max_orbits) return false;
    int32_t o = (int32_t)out.rep.size();
    uint32_t size = 0;
    for (const Perm &p : g.elements)
      if (int32_t &id = out.id[rank(apply(p, s))]; id < 0) id = o, size++;
    out.rep.push_back(s), out.size.push_back(size);
  }
  return true;
}

// The t-orbits of the t-subsets of a set, each once.
static void t_orbits_of(const OrbitCover &oc, Set b, std::vector<Set> &scratch,
                        std::vector<uint32_t> &out) {
  scratch.clear(), out.clear();
  subsets(b, oc.s.t, 0, scratch);
  for (Set a : scratch) out.push_back((uint32_t)oc.t.id[rank(a)]);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
}

void covered_orbits(const OrbitCover &oc, Set b, std::vector<uint8_t> &mark,
                    std::vector<uint32_t> &out) {
  thread_local std::vector<Set> scratch;
  thread_local std::vector<uint32_t> ts;
  t_orbits_of(oc, b, scratch, ts);
  out.clear();
  for (uint32_t t : ts)
    for (uint32_t k : oc.k_of_t[t])
      if (!mark[k]) mark[k] = 1, out.push_back(k);
  for (uint32_t k : out) mark[k] = 0;
}

bool build_orbit_cover(const Shape &s, const Group &g, const OrbitLimits &most, OrbitCover &out) {
  out.s = s;
  if (s.t < 1 || s.k > s.n || s.x >= s.n || s.t > std::min(s.k, s.x)) return false;
  if (!find_orbits(g, s.k, most.k_orbits, out.k) || !find_orbits(g, s.x, most.x_orbits, out.x) ||
      !find_orbits(g, s.t, SIZE_MAX, out.t))
    return false;
  out.k_of_t.assign(out.t.rep.size(), {});
  std::vector<Set> scratch;
  std::vector<uint32_t> ts;
  for (uint32_t o = 0; o < out.k.rep.size(); o++) {
    t_orbits_of(out, out.k.rep[o], scratch, ts);
    for (uint32_t t : ts) out.k_of_t[t].push_back(o);
  }
  out.cover.assign(out.x.rep.size(), {});
  out.nonzeros = 0;
  std::vector<uint8_t> mark(out.k.rep.size());
  for (size_t o = 0; o < out.x.rep.size(); o++) {
    covered_orbits(out, out.x.rep[o], mark, out.cover[o]);
    if ((out.nonzeros += out.cover[o].size()) > most.nonzeros) return false;
  }
  return true;
}

std::vector<Set> expand(const OrbitCover &oc, const std::vector<uint32_t> &chosen) {
  std::vector<uint8_t> in(oc.x.rep.size());
  for (uint32_t o : chosen) in[o] = 1;
  std::vector<Set> covers;
  Set c = low_bits(oc.s.x);
  for (uint64_t r = 0; r < oc.x.id.size(); r++, c = r < oc.x.id.size() ? next_set(c) : c)
    if (in[oc.x.id[r]]) covers.push_back(c);
  return covers;
}

uint64_t least_total(const OrbitCover &oc, uint64_t from, uint64_t below) {
  // No total exceeds all x-sets.
  uint64_t cap = below;
  below = std::min<uint64_t>(below, oc.x.id.size() + 1);
  if (from >= below) return cap;
  std::map<uint32_t, uint64_t> sizes;  // size -> orbits of that size
  for (uint32_t z : oc.x.size) sizes[z]++;
  size_t words = (size_t)(below + 63) / 64;
  std::vector<uint64_t> can(words);  // bit v: a total of v is reachable
  can[0] = 1;
  // Each size as pieces of 1, 2, 4, ... orbits, so that every count up to
  // the orbits there are is a sum of pieces.
  for (auto [z, n] : sizes)
    for (uint64_t piece = 1; n > 0; piece *= 2) {
      uint64_t take = std::min(piece, n), shift = take * z;
      n -= take;
      if (shift >= below) break;
      size_t ws = (size_t)(shift / 64), bs = (size_t)(shift % 64);
      for (size_t w = words; w-- > ws;) {
        uint64_t v = can[w - ws] << bs;
        if (bs && w - ws > 0) v |= can[w - ws - 1] >> (64 - bs);
        can[w] |= v;
      }
    }
  for (uint64_t v = from; v < below; v++)
    if (can[v / 64] >> (v % 64) & 1) return v;
  return cap;
}

}  // namespace design
