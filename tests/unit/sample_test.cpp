// The statistic generator: the generator, the unbiased draw, the two set
// draws, the common-number count, and the reading of the number of rounds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "capture.h"
#include "k.h"

static void params(int n, int k, int x, int t) {
  vorlank_n = n, vorlank_k = k, vorlank_x = x, vorlank_t = t;
}

// randi(32768) skips nothing and scales by 1: the raw generator value plus 1.
static int raw() { return randi(32768) - 1; }

// Runs f with standard input reading text; freopen also drops whatever stdin
// still holds from an earlier run.
template <class F> static void with_input(const std::string &text, F f) {
  char path[] = "/tmp/sample_test_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
  close(fd);
  ASSERT_TRUE(freopen(path, "r", stdin));
  f();
  ASSERT_TRUE(freopen("/dev/null", "r", stdin));
  unlink(path);
}

static std::string run3(const std::string &input) {
  std::string out;
  with_input(input, [&] { out = capture(vorlank3); });
  return out;
}

TEST(Generator, FirstValuesFromSeed721) {
  // The ISO C example generator from 721, worked out independently:
  //   s = 721; s = (s * 1103515245 + 12345) % 2**32; s // 65536 % 32768
  const int want[] = {16259, 32720, 2340, 14000, 12007, 29106, 24540, 15615, 11935, 4032};
  raw();  // seeding must not depend on what came before
  rand_init();
  for (int w : want) EXPECT_EQ(raw(), w);
}

// Every m: the draws are exactly those of the rejection rule, stay in 1..m
// and reach every number of the pool; a power of two skips nothing.
TEST(Randi, UnbiasedDrawsStayInThePool) {
  for (int m : {3, 10, 100, 200, 255, 64, 32767}) {
    const int q = 32768 / m, draws = 200000;
    rand_init();
    std::vector<int> r(draws * 2);
    for (int &v : r) v = raw();
    rand_init();
    std::vector<int> seen(m + 2);
    size_t at = 0;
    for (int i = 0; i < draws; i++) {
      while (r[at] >= q * m) at++;
      int v = randi(m);
      ASSERT_EQ(v, r[at++] / q + 1) << "m = " << m << ", draw " << i;
      ASSERT_TRUE(v >= 1 && v <= m) << "m = " << m;
      seen[v]++;
    }
    EXPECT_TRUE(m != 64 || at == (size_t)draws) << "randi(64) skipped a value";
    if (m > 255) continue;
    for (int v = 1; v <= m; v++) EXPECT_GT(seen[v], 0) << "m = " << m << ", v = " << v;
  }
}

// The k-set is drawn first, then the x-set, from one stream of randi(n): a
// position is drawn again until its number differs from the earlier ones.
static std::vector<int> model_set(int n, int m) {
  std::vector<int> s;
  while ((int)s.size() < m) {
    int v = randi(n);
    bool again = false;
    for (int e : s) again |= e == v;
    if (!again) s.push_back(v);
  }
  return s;
}

TEST(Sets, DistinctNumbersInDrawingOrder) {
  for (auto [n, k, x] : {std::array{49, 6, 6}, {10, 9, 9}, {300, 99, 60}, {32768, 40, 99}}) {
    params(n, k, x, 1);
    c1 = (unsigned char *)malloc((size_t)n * 4);
    for (int round = 0; round < 200; round++) {
      rand_init();
      for (int i = 0; i < round; i++) raw();  // a different stretch of the stream each time
      std::vector<int> wk = model_set(n, k), wx = model_set(n, x);
      int after = raw();
      rand_init();
      for (int i = 0; i < round; i++) raw();
      gen_nk();
      gen_nx();
      const int *ks = (const int *)c1;
      ASSERT_EQ(std::vector<int>(ks + 1, ks + 1 + k), wk) << "n = " << n;
      ASSERT_EQ(std::vector<int>(szt + 1, szt + 1 + x), wx) << "n = " << n;
      ASSERT_EQ(raw(), after);  // no value taken beyond the two sets
      ASSERT_EQ(std::set<int>(wk.begin(), wk.end()).size(), (size_t)k);
      ASSERT_EQ(std::set<int>(wx.begin(), wx.end()).size(), (size_t)x);
      for (int v : wk) ASSERT_TRUE(v >= 1 && v <= n);
      for (int v : wx) ASSERT_TRUE(v >= 1 && v <= n);
    }
    free(c1);
    c1 = nullptr;
  }
}

TEST(Sets, EmptySetsTakeNoValues) {
  for (int k : {0, -1}) {
    params(10, k, k, 0);
    c1 = (unsigned char *)malloc(40);
    rand_init();
    gen_nk();
    gen_nx();
    EXPECT_EQ(raw(), 16259);
    EXPECT_EQ(comp_us(), 0);
    free(c1);
    c1 = nullptr;
  }
}

TEST(CompUs, CountsCommonNumbers) {
  int buf[10];
  c1 = (unsigned char *)buf;
  auto count = [&](std::vector<int> ks, std::vector<int> xs) {
    params(400, (int)ks.size(), (int)xs.size(), 1);
    for (size_t j = 0; j < ks.size(); j++) buf[j + 1] = ks[j];
    for (size_t i = 0; i < xs.size(); i++) szt[i + 1] = xs[i];
    return comp_us();
  };
  EXPECT_EQ(count({5, 1, 300, 7}, {7, 2, 5, 301, 9}), 2);
  EXPECT_EQ(count({5, 1, 300}, {300, 5, 1}), 3);
  EXPECT_EQ(count({44, 300}, {1, 2, 3}), 0);
  EXPECT_EQ(count({256, 44}, {256, 300}), 1);  // whole numbers: 300 is not 44 in a byte
  EXPECT_EQ(count({3}, {3}), 1);
  // The marks of one count do not leak into the next.
  EXPECT_EQ(count({8}, {3}), 0);
  EXPECT_EQ(count({}, {3}), 0);
  EXPECT_EQ(count({3}, {}), 0);
  c1 = nullptr;
}

// "3 ..." on the menu line arrives here without the digit; only the counts
// line (or the error) after the prompt is compared.
TEST(Vorlank3, ReadsTheRoundsLikeScanfD) {
  params(10, 3, 3, 0);
  const std::string head = "Statistic for: L(10,3,3,0)\nPlease enter the number of round:";
  const std::string none = "\nError: no number of rounds was entered.\n";
  const std::string big = "\nError: the number of rounds does not fit in 32 bits "
                          "(-2147483648 to 2147483647).\n";
  const std::pair<std::string, std::string> cases[] = {
      {" \t\n\v\f\r 7\n", "7 - 7\n"},
      {"+12x", "12 - 12\n"},
      {"0005", "5 - 5\n"},
      {"-0", "0 - 0\n"},
      {"-2147483648", "-2147483648 - 0\n"},
      {"-2147483649", big},
      {"2147483648", big},
      {"18446744073709551621", big},  // 2^64 + 5: would wrap to 5 in 64 bits
      {"4294967301", big},            // 2^32 + 5: would wrap to 5 in 32 bits
      {"", none},
      {"\n\n", none},
      {"-", none},
      {"- 5", none},
      {"+-5", none},
      {"x5", none},
  };
  for (auto &[in, want] : cases) {
    std::string out = run3(in);
    ASSERT_EQ(out.substr(0, head.size()), head) << in;
    std::string rest = out.substr(head.size());
    EXPECT_EQ(rest.substr(0, want.size()), want) << "input " << in;
    if (want[0] == '\n') {
      EXPECT_EQ(rest, want) << "input " << in;  // nothing after the error
    }
  }
}

// The generator is seeded anew in every run: a second run in the same
// process prints the same as the first.
TEST(Vorlank3, SameInputSameOutput) {
  params(49, 6, 6, 3);
  std::string first = run3("2000\n");
  EXPECT_EQ(first, "Statistic for: L(49,6,6,3)\nPlease enter the number of round:2000 - 33\n"
                   "\n** 60.606061 **  aproximately needed..\n");
  EXPECT_EQ(run3("2000\n"), first);
  EXPECT_TRUE(c1 == nullptr);  // the buffer is gone after the run
}
