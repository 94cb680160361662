// Exact decimal binomial coefficients for strategy 1, which must print the
// true C(n,k) for any 32-bit n and k.
//
// C(n,k) = (n-k+1)...(n) / k!: the numerator range is factored with the
// primes up to sqrt(n), whatever is left of each number is a prime above
// sqrt(n), and Legendre's formula takes k! away. The prime powers are then
// multiplied into a base-10^9 number a machine word at a time, so the work
// grows with the length of the result, not with k.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "greedy/k.h"

static const int max_digits = 100000;

// Exponent of p in k!.
static int64_t legendre(int64_t k, int64_t p) {
  int64_t e = 0;
  for (int64_t q = p; q <= k; q *= p) e += k / q;
  return e;
}

std::string binom_text(int n, int k) {
  if (k < 0 || k > n) return "0";
  if (k > n - k) k = n - k;
  double digits = (lgamma(n + 1.0) - lgamma(k + 1.0) - lgamma(n - k + 1.0)) / log(10.0);
  if (digits > max_digits) return "";

  // Numerator n-k+1..n (k of them, at most a few hundred thousand here).
  std::vector<uint32_t> rest(k);
  for (int i = 0; i < k; i++) rest[i] = (uint32_t)(n - k + 1 + i);
  int root = (int)std::sqrt((double)n) + 1;
  std::vector<char> composite(root + 1, 0);
  std::vector<std::pair<uint32_t, int64_t>> powers;  // prime, exponent
  for (int p = 2; p <= root; p++) {
    if (composite[p]) continue;
    for (int q = 2 * p; q <= root; q += p) composite[q] = 1;
    int64_t e = -legendre(k, p);
    int64_t first = ((int64_t)(n - k + 1) + p - 1) / p * p;
    for (int64_t m = first; m <= n; m += p) {
      uint32_t &v = rest[m - (n - k + 1)];
      while (v % p == 0) v /= p, e++;
    }
    if (e > 0) powers.push_back({(uint32_t)p, e});
  }
  // Leftovers are primes above the root; k! holds such a p floor(k/p) times.
  std::sort(rest.begin(), rest.end());
  for (size_t i = 0; i < rest.size();) {
    size_t j = i;
    while (j < rest.size() && rest[j] == rest[i]) j++;
    int64_t e = (int64_t)(j - i) - (rest[i] > 1 ? k / rest[i] : 0);
    if (rest[i] > 1 && e > 0) powers.push_back({rest[i], e});
    i = j;
  }

  // Multiply out, base 10^9, least significant limb first.
  const uint64_t base = 1000000000, word_max = 18000000000ull;
  std::vector<uint32_t> num{1};
  auto mul = [&](uint64_t m) {
    uint64_t carry = 0;
    for (uint32_t &d : num) {
      uint64_t v = d * m + carry;
      d = (uint32_t)(v % base);
      carry = v / base;
    }
    for (; carry; carry /= base) num.push_back((uint32_t)(carry % base));
  };
  uint64_t word = 1;
  for (auto [p, e] : powers)
    for (int64_t i = 0; i < e; i++) {
      if (word > word_max / p) mul(word), word = 1;
      word *= p;
    }
  mul(word);

  std::string s = std::to_string(num.back());
  char buf[16];
  for (size_t i = num.size() - 1; i-- > 0;) {
    snprintf(buf, sizeof buf, "%09u", num[i]);
    s += buf;
  }
  return s;
}
