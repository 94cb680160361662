// Wheel checking: input, the coverage count per k-set, redundancy, bounds.
#include "check/wheel.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/sysmem.h"

namespace wheel {

// ---- input ------------------------------------------------------------------

static std::vector<std::string> split(const std::string &s, const char *seps) {
  std::vector<std::string> words;
  size_t i = 0;
  while ((i = s.find_first_not_of(seps, i)) != std::string::npos) {
    size_t j = s.find_first_of(seps, i);
    if (j == std::string::npos) j = s.size();
    words.push_back(s.substr(i, j - i));
    i = j;
  }
  return words;
}

static bool digits(const std::string &w) {
  return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A word as it appears in a message: quoted, short, and printable ASCII only.
static std::string quoted(const std::string &w, size_t most = 20) {
  std::string s = "'";
  for (char c : w.substr(0, most)) s += (c >= ' ' && c <= '~') ? c : '?';
  s += w.size() > most ? "...'" : "'";
  return s;
}

static std::string at(int line, const std::string &what) {
  return "line " + std::to_string(line) + ": " + what;
}

// Where a pick stands in the wheel: (pick, number of the wheel), by pick.
using PickIndex = std::vector<std::pair<int64_t, int>>;

// The numbers of one cover; "" or what is wrong with them. With picks, each
// word is a pick and becomes the number it stands for.
static std::string parse_cover(const std::vector<std::string> &words, int line, const Params &p,
                               const PickIndex &picks, Cover &c) {
  std::vector<bool> seen(p.n + 1);
  c.clear();
  for (const std::string &w : words) {
    if (!digits(w)) return at(line, quoted(w) + " is not a number");
    // Leading zeros are harmless; beyond 3 significant digits (9 for a pick)
    // the number is out of range anyway.
    size_t nz = w.find_first_not_of('0');
    size_t most = picks.empty() ? 3 : 9;
    int64_t a = nz == std::string::npos ? 0 : w.size() - nz > most ? -1 : std::stoll(w.substr(nz));
    int v;
    if (picks.empty()) {
      v = a < 0 ? p.n + 1 : (int)a;
      if (v < 1 || v > p.n) return at(line, quoted(w) + " is outside 1.." + std::to_string(p.n));
    } else {
      auto it = std::lower_bound(picks.begin(), picks.end(), std::pair<int64_t, int>(a, 0));
      if (a < 0 || it == picks.end() || it->first != a)
        return at(line, quoted(w) + " is not one of the picks");
      v = it->second;
    }
    if (seen[v]) return at(line, std::to_string(a) + " appears twice");
    seen[v] = true;
    c.push_back(v);
  }
  if ((int)c.size() != p.x)
    return at(line, std::to_string(c.size()) + (c.size() == 1 ? " number" : " numbers") +
                        ", but a cover has " + std::to_string(p.x));
  std::sort(c.begin(), c.end());
  return "";
}

static bool starts(const std::string &s, const char *prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

// A cover line of the greedy run: "left: ... cover_ a b c  S sec" or the
// same with "cover" (the progress field sits before the count, hence the
// backspaces among the separators).
static std::string cover_line(const std::string &s, int line, const Params &p,
                              const PickIndex &picks, Wheel &w) {
  std::vector<std::string> words = split(s, " \t\b");
  auto word = std::find_if(words.begin(), words.end(),
                           [](const std::string &v) { return v == "cover" || v == "cover_"; });
  if (word == words.end()) return "";
  std::vector<std::string> rest(word + 1, words.end());
  size_t m = rest.size();
  std::string secs = m >= 2 ? rest[m - 2] : "";
  if (!secs.empty() && secs[0] == '-') secs.erase(0, 1);
  if (m < 2 || rest[m - 1] != "sec" || !digits(secs))
    return at(line, "the cover line is cut short (it does not end with the step's seconds)");
  rest.resize(m - 2);
  Cover c;
  if (std::string e = parse_cover(rest, line, p, picks, c); !e.empty()) return e;
  w.covers.push_back(c);
  w.lines.push_back(line);
  return "";
}

namespace {
enum class Got { End, Line, TooLong };
}

// The next line of in, without its line end, into s. A line is read no
// further than kMaxLine bytes: TooLong, and the stream is left there.
static Got next_line(std::istream &in, std::string &s) {
  s.clear();
  std::istream::sentry ok(in, true);
  if (!ok) return Got::End;
  std::streambuf *buf = in.rdbuf();
  try {
    for (int c; (c = buf->sbumpc()) != std::char_traits<char>::eof();) {
      if (c == '\n') return Got::Line;
      if (s.size() == kMaxLine) return Got::TooLong;
      s += (char)c;
    }
  } catch (...) {
    in.setstate(std::ios::badbit);
    return Got::End;
  }
  in.setstate(std::ios::eofbit);
  return s.empty() ? Got::End : Got::Line;
}

// Any line of a transcript: "" or what is wrong with it; a cover line's cover
// goes to w. mine is the run's header line for p.
static std::string transcript_line(const std::string &s, int line, const char *mine,
                                   const Params &p, const PickIndex &picks, Wheel &w) {
  // An error line means the run stopped early; its covers are not a wheel.
  if (starts(s, "Error:")) return at(line, "the transcript reports " + quoted(s, 70));
  // A wheel built for other parameters proves nothing about these.
  if (starts(s, "Greedy: L(") && s != mine)
    return at(line,
              "the transcript is of " + s.substr(8) + ", not of " + std::string(mine).substr(8));
  return starts(s, "left:") ? cover_line(s, line, p, picks, w) : "";
}

std::string read_wheel(std::istream &in, const Params &p, Wheel &w, const Picks &picks,
                       size_t most) {
  PickIndex index;
  for (size_t i = 0; i < picks.size(); i++) index.emplace_back(picks[i], (int)i + 1);
  std::sort(index.begin(), index.end());
  char mine[80];
  snprintf(mine, sizeof mine, "Greedy: L(%d,%d,%d,%d)", p.n, p.k, p.x, p.t);
  w = Wheel();
  // A transcript is told by a line that may come late (after a shell prompt
  // saved with it, say), and the input is read once, line by line, keeping
  // no more than the covers. So until such a line every line is read both
  // ways, as a plain cover line and as a transcript's line, and the first
  // error each way is kept for the end or that line.
  bool transcript = false;
  std::string plain_error, transcript_error;
  std::string s;
  for (int line = 1;; line++) {
    Got got = next_line(in, s);
    if (got == Got::End) break;
    if (got == Got::TooLong || line == INT_MAX) {
      // The input ends here, with an error; an earlier one comes first.
      if (!transcript && !plain_error.empty()) return plain_error;
      return at(line, got == Got::Line ? "more lines than the check reads"
                                       : "over " + std::to_string(kMaxLine) +
                                             " bytes long, longer than any line of a wheel");
    }
    // Saved from a terminal (e.g. through script), lines end in CR or blanks.
    s.erase(s.find_last_not_of(" \t\r") + 1);
    if (!transcript &&
        (starts(s, "left:") || starts(s, "What kind of strategy would you like to solve the L("))) {
      transcript = true;
      if (!transcript_error.empty()) return transcript_error;
      w = Wheel();  // the lines before were no covers
    }
    if (transcript || transcript_error.empty()) {
      std::string e = transcript_line(s, line, mine, p, index, w);
      if (!e.empty()) {
        if (transcript) return e;
        transcript_error = e;
      }
    }
    if (!transcript && plain_error.empty()) {
      size_t first = s.find_first_not_of(" \t");
      if (first == std::string::npos || s[first] == '#') continue;
      Cover c;
      plain_error = parse_cover(split(s, " \t,"), line, p, index, c);
      if (!plain_error.empty()) continue;
      w.covers.push_back(c);
      w.lines.push_back(line);
    }
    if (w.covers.size() > most) {
      w.more = true;
      return "";
    }
  }
  if (!transcript) return plain_error;
  if (w.covers.empty())
    return "the vorlank transcript holds no cover lines (only the greedy run, choice 2, "
           "prints them)";
  return "";
}

// ---- bounds -------------------------------------------------------------------

// C(m,j) exactly, or 0 where it passes 2^120 (m <= kMaxN).
static unsigned __int128 binom128(int m, int j) {
  if (j < 0 || j > m) return 0;
  unsigned __int128 r = 1;
  for (int i = 1; i <= j; i++) {
    if (r >> 112) return 0;  // r * 255 must stay below 2^128
    r = r * (unsigned)(m - j + i) / (unsigned)i;  // C(m-j+i, i), exact at each step
  }
  return r;
}

// C(m,j) in floating point, for sizes beyond 128 bits (C(255,127) is about 2^251).
static long double binom_float(int m, int j) {
  if (j < 0 || j > m) return 0;
  long double r = 1;
  for (int i = 1; i <= j; i++) r = r * (m - j + i) / i;
  return r;
}

static uint64_t saturated(unsigned __int128 v) { return v > UINT64_MAX ? UINT64_MAX : (uint64_t)v; }

// The k-sets one cover covers, exactly; false where a term passes 2^120.
static bool per_cover128(const Params &p, unsigned __int128 &d) {
  d = 0;
  for (int i = p.t; i <= std::min(p.x, p.k); i++) {
    if (p.k - i > p.n - p.x) continue;  // no k-set has only i numbers of the cover
    unsigned __int128 a = binom128(p.x, i), b = binom128(p.n - p.x, p.k - i);
    if (!a || !b || (a >> 60) || (b >> 60)) return false;
    d += a * b;  // below 2^120 each, and at most 255 terms
    if (d >> 120) return false;
  }
  return true;
}

uint64_t ksets(const Params &p) { return saturated(binom128(p.n, p.k)); }

uint64_t per_cover(const Params &p) {
  unsigned __int128 d;
  return per_cover128(p, d) ? saturated(d) : UINT64_MAX;
}

uint64_t counting_bound(const Params &p) {
  unsigned __int128 all = binom128(p.n, p.k), d;
  if (all && per_cover128(p, d)) {
    assert(d > 0);
    return saturated((all + d - 1) / d);
  }
  // Beyond 128 bits the quotient is taken in floating point and lowered by
  // far more than its rounding, so that it stays a lower bound; past 2^64 the
  // largest count stands for it, still below the true bound.
  long double d_float = 0;
  for (int i = p.t; i <= std::min(p.x, p.k); i++)
    d_float += binom_float(p.x, i) * binom_float(p.n - p.x, p.k - i);
  long double q = binom_float(p.n, p.k) / d_float * (1 - 1e-12L);
  if (!(q < 0x1p64L)) return UINT64_MAX;
  return std::max<uint64_t>(1, (uint64_t)std::ceil(q));  // ceil(q) <= ceil(true quotient)
}

uint64_t schoenheim_bound(const Params &p) {
  // Each step multiplies by (n - i) / (x - i) >= 1: once past 2^64 the bound
  // stays there, and the largest count stands for it.
  unsigned __int128 b = 1;
  for (int i = p.t - 1; i >= 0; i--) {
    b = ((unsigned __int128)(p.n - i) * b + (p.x - i) - 1) / (p.x - i);
    if (b > UINT64_MAX) return UINT64_MAX;
  }
  return (uint64_t)b;
}

uint64_t turan_bound(const Params &p) {
  // C(n,t) / (n-t+1) = C(n,t-1) / t, so the bound is
  // ceil(C(n,t-1) (n-k+1) / (t C(k-1,t-1) C(x,t))).
  unsigned __int128 a = binom128(p.n, p.t - 1), b = binom128(p.k - 1, p.t - 1),
                    c = binom128(p.x, p.t);
  if (!a || !b || !c || (b >> 60) || (c >> 60)) return 0;
  unsigned __int128 num = a * (unsigned)(p.n - p.k + 1), den = b * c * (unsigned)p.t;
  unsigned __int128 v = (num + den - 1) / den;
  return v >> 63 ? 0 : (uint64_t)v;
}

uint64_t caro_wei_bound(const Params &p) {
  uint64_t n = p.n, k1 = p.k - 1, x1 = p.x - 1;
  for (uint64_t b = 1;; b++) {
    uint64_t q = b * p.x / n, s = b * p.x % n;  // n - s numbers in q covers, s in q + 1
    uint64_t d1 = q * x1 + 1, d2 = d1 + x1;
    if ((n - s) * d2 + s * d1 <= k1 * d1 * d2) return b;
  }
}

std::vector<Bound> lower_bounds(const Params &p) {
  std::vector<Bound> bs{{counting_bound(p), "counting"}};
  if (p.k == p.t) bs.push_back({schoenheim_bound(p), "Schoenheim"});
  if (p.t < p.k)
    if (uint64_t b = turan_bound(p)) bs.push_back({b, "Turán"});
  if (p.t == 2 && p.k > 2) bs.push_back({caro_wei_bound(p), "Caro-Wei"});
  return bs;
}

Bound best_bound(const Params &p) {
  std::vector<Bound> bs = lower_bounds(p);
  Bound best = bs[0];
  for (const Bound &b : bs)
    if (b.value > best.value) best = b;
  return best;
}

std::string memory_refusal(const Params &p, double avail_mb, int extra_per_kset) {
  // The counts dwarf the covers and the binomial table; wide ones are the most
  // they can take. C(n,k) in floating
  // point, since the refusal must also speak of pools beyond 64-bit counts.
  double sets = 1;
  for (int i = 1; i <= p.k; i++) sets = sets * (p.n - p.k + i) / i;
  double need = sets * (double)(sizeof(WideCount) + extra_per_kset) / 1048576.0;
  return ::memory_refusal("the check", need, avail_mb);
}

// ---- coverage -------------------------------------------------------------------
//
// A k-set's index is its position in lexicographic order. Mirroring every
// number (a -> n + 1 - a) turns lexicographic order into reversed colex
// order, and a colex rank is a plain sum, sum over j of C(b_j - 1, j) for
// the ascending numbers b_j of the mirrored set. So
//   index = C(n,k) - 1 - sum_j C(b_j - 1, j),
// and choosing the mirrored numbers from the largest down adds one term per
// choice. Once t numbers are shared, any j numbers below the last choice
// complete the k-set, and those completions have the colex ranks 0 ..
// C(lim,j) - 1 of the lower part: one run of consecutive indices. So the
// walk visits runs, not single k-sets, and the counting loops over a run
// are plain loops the compiler vectorizes.

namespace {
template <class F> struct Walk {
  int t;
  uint64_t top;
  const std::vector<uint64_t> &binom;
  int width;             // k + 1, the row length of binom
  bool in[kMaxN + 1];    // in[b]: mirrored number b is in the cover
  int below[kMaxN + 1];  // mirrored cover numbers in 1..b
  int xs[kMaxN];         // the mirrored cover numbers, ascending
  F &f;

  uint64_t C(int m, int j) const { return binom[(size_t)m * width + j]; }

  // Chooses the remaining j >= 1 mirrored numbers from 1..lim, having shared
  // s < t so far.
  bool go(int j, int lim, uint64_t sub, int s) {
    if (t - s == j) {
      // Only cover numbers can follow; visit just those (xs is ascending).
      for (int i = below[lim] - 1; i >= j - 1; i--) {
        int b = xs[i];
        uint64_t sub2 = sub + C(b - 1, j);
        if (j == 1 ? !f(top - sub2, 1) : !go(j - 1, b - 1, sub2, s + 1)) return false;
      }
      return true;
    }
    for (int b = lim; b >= j; b--) {
      // Cover numbers left below b bound what can still be shared; they only
      // get fewer as b falls.
      int reach = std::min(j - 1, below[b - 1]);
      if (s + 1 + reach < t) break;
      int s2 = s + in[b];
      if (s2 + reach < t) continue;
      uint64_t sub2 = sub + C(b - 1, j);
      if (s2 >= t) {
        uint64_t run = C(b - 1, j - 1);
        if (!f(top - sub2 - (run - 1), run)) return false;
      } else if (!go(j - 1, b - 1, sub2, s2)) {
        return false;
      }
    }
    return true;
  }
};
}  // namespace

// Calls f(first, count) for each run of indices of k-sets sharing at least t
// numbers with c, until f returns false; returns whether the walk went to its end.
template <class F> bool Coverage::walk(const Cover &c, int t, F &&f) const {
  Walk<F> w{t, top_, binom_, p_.k + 1, {}, {}, {}, f};
  for (int a : c) w.in[p_.n + 1 - a] = true;
  for (int b = 1; b <= p_.n; b++) {
    w.below[b] = w.below[b - 1] + w.in[b];
    if (w.in[b]) w.xs[w.below[b] - 1] = b;
  }
  return w.go(p_.k, p_.n, 0, 0);
}

Coverage::Coverage(const Params &p, const std::vector<Cover> &covers)
    : p_(p), top_(ksets(p) - 1), binom_((size_t)(p.n + 1) * (p.k + 1)), covers_(covers),
      active_(covers.size(), true) {
  assert(p.n <= kMaxN && covers.size() <= kMaxCovers);  // the walk's arrays, the wide counts
  // Saturating: entries beyond any index are never read, but must not overflow.
  const uint64_t cap = (uint64_t)1 << 62;
  for (int m = 0; m <= p.n; m++)
    for (int j = 0; j <= p.k; j++) {
      uint64_t v = j == 0 ? 1 : m == 0 ? 0 : binom(m - 1, j - 1) + binom(m - 1, j);
      binom_[(size_t)m * (p.k + 1) + j] = std::min(v, cap);
    }
  count_.resize(ksets(p));
  if (count_all(count_)) return;
  // A count reached 255: count again, wide (the byte counts go first, to
  // need no more memory than the wide ones).
  std::vector<uint8_t>().swap(count_);
  wide_ = true;
  wide_count_.resize(ksets(p));
  count_all(wide_count_);
}

// Counts every cover into count. Bytes stop at the first count to reach 255
// (returning false); 16 bits cannot overflow with at most kMaxCovers covers.
template <class T> bool Coverage::count_all(std::vector<T> &count) {
  for (const Cover &c : covers_) {
    bool below = true;
    walk(c, p_.t, [&](uint64_t first, uint64_t n) {
      T *q = count.data() + first;
      for (uint64_t i = 0; i < n; i++) below &= ++q[i] != 255;
      return below || sizeof(T) > 1;
    });
    if (!below && sizeof(T) == 1) return false;
  }
  return true;
}

uint64_t Coverage::holes() const {
  return counts([](auto &count) { return (uint64_t)std::count(count.begin(), count.end(), 0); });
}

uint64_t Coverage::next_hole(uint64_t from) const {
  return counts([&](auto &count) {
    auto z = std::find(count.begin() + std::min<uint64_t>(from, count.size()), count.end(), 0);
    return (uint64_t)(z - count.begin());
  });
}

Cover Coverage::kset(uint64_t index) const {
  Cover s(p_.k);
  uint64_t r = top_ - index;  // colex rank of the mirrored set
  int b = p_.n;
  for (int j = p_.k; j >= 1; j--) {
    while (binom(b - 1, j) > r) b--;
    r -= binom(b - 1, j);
    s[p_.k - j] = p_.n + 1 - b;
    b--;
  }
  return s;
}

bool Coverage::redundant(size_t i) const {
  return counts([&](auto &count) {
    return walk(covers_[i], p_.t, [&](uint64_t first, uint64_t n) {
      // No early exit inside a run, so that the loop vectorizes (runs are
      // short next to the whole walk).
      const auto *q = count.data() + first;
      bool ok = true;
      for (uint64_t j = 0; j < n; j++) ok &= q[j] >= 2;
      return ok;
    });
  });
}

void Coverage::drop(size_t i) {
  active_[i] = false;
  counts([&](auto &count) {
    walk(covers_[i], p_.t, [&](uint64_t first, uint64_t n) {
      auto *q = count.data() + first;
      for (uint64_t j = 0; j < n; j++) q[j]--;
      return true;
    });
  });
}

std::vector<uint64_t> Coverage::covered_by(const Cover &c) const {
  std::vector<uint64_t> v;
  walk(c, p_.t, [&](uint64_t first, uint64_t count) {
    for (uint64_t i = 0; i < count; i++) v.push_back(first + i);
    return true;
  });
  return v;
}

std::vector<uint64_t> Coverage::best_matches() const {
  // Level by level from 1 up, each level overwrites what the levels below
  // wrote, so a k-set ends at the highest m some cover shares with it; the
  // runs are filled, never compared. A k-set meets some cover iff it meets
  // their union, so level 1 is one walk of the union instead of one per cover.
  int top = std::min(p_.k, p_.x);
  std::vector<uint8_t> best(ksets(p_));
  Cover all;
  for (int a = 1; a <= p_.n; a++)
    for (size_t i = 0; i < covers_.size(); i++)
      if (active_[i] && std::binary_search(covers_[i].begin(), covers_[i].end(), a)) {
        all.push_back(a);
        break;
      }
  walk(all, 1, [&](uint64_t first, uint64_t count) {
    memset(best.data() + first, 1, count);
    return true;
  });
  for (int m = 2; m <= top; m++)
    for (size_t i = 0; i < covers_.size(); i++)
      if (active_[i])
        walk(covers_[i], m, [&](uint64_t first, uint64_t count) {
          memset(best.data() + first, m, count);
          return true;
        });
  std::vector<uint64_t> h(top + 1);
  for (uint8_t b : best) h[b]++;
  return h;
}

std::vector<uint64_t> Coverage::multiplicities() const {
  return counts([](auto &count) {
    std::vector<uint64_t> h(*std::max_element(count.begin(), count.end()) + 1);
    for (auto c : count) h[c]++;
    return h;
  });
}

}  // namespace wheel
