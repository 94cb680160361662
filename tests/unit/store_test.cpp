// The store of proved wheels: where it lives, that nothing unproved comes
// back from it, that only a smaller wheel replaces a stored one, and that
// keeps from several threads at once leave the smallest wheel, whole (a
// store that cannot be written: test_design_store.py).
#include "design/store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

using design::Set;
using design::Shape;
namespace fs = std::filesystem;

namespace {
struct TempDir {
  std::string path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "vorlank-store-XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

// Warnings caught instead of printed.
struct Warnings {
  std::mutex m;
  std::vector<std::string> lines;
  store::Store::Warn sink() {
    return [this](const std::string &w) {
      std::lock_guard<std::mutex> l(m);
      lines.push_back(w);
    };
  }
};

Set cover(std::initializer_list<int> numbers) {
  Set c = 0;
  for (int a : numbers) c |= design::bit(a - 1);
  return c;
}

const Shape kFano{7, 2, 3, 2};
// The Fano plane: every pair of 1..7 in exactly one line.
const std::vector<Set> kPlane = {cover({1, 2, 3}), cover({1, 4, 5}), cover({1, 6, 7}),
                                 cover({2, 4, 6}), cover({2, 5, 7}), cover({3, 4, 7}),
                                 cover({3, 5, 6})};

std::vector<Set> plus(std::vector<Set> w, std::initializer_list<Set> more) {
  w.insert(w.end(), more);
  return w;
}

std::string slurp(const std::string &path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void write(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

// Whether f returns within 10 s. Where it does not, a writer opens the FIFO
// at fifo, which lets a reader waiting on it go on.
bool returns_soon(const std::function<void()> &f, const std::string &fifo) {
  std::promise<void> done;
  std::thread th([&] {
    f();
    done.set_value();
  });
  bool soon = done.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!soon) close(open(fifo.c_str(), O_WRONLY));
  th.join();
  return soon;
}
}  // namespace

// Set, unset and relative XDG_DATA_HOME: test_design_store.py.
TEST(Store, DirectoryFromTheEnvironment) {
  EXPECT_EQ(store::default_dir("", "/home/a"), "/home/a/.local/share/vorlank/wheels");
  EXPECT_EQ(store::default_dir(nullptr, nullptr), "");
  EXPECT_EQ(store::default_dir(nullptr, ""), "");
}

TEST(Store, KeepsOnlyASmallerProvedWheel) {
  TempDir t;
  Warnings w;
  store::Store st(t.path + "/a/b", w.sink());  // created when first written
  EXPECT_TRUE(st.load(kFano).empty());

  std::vector<Set> nine = plus(kPlane, {cover({1, 2, 4}), cover({5, 6, 7})});
  EXPECT_TRUE(st.keep(kFano, nine, {"greedy 9"}));
  EXPECT_EQ(slurp(st.path(kFano)), store::wheel_text(kFano, nine, {"greedy 9"}));
  EXPECT_EQ(st.load(kFano).size(), 9u);
  EXPECT_FALSE(st.keep(kFano, nine, {}));                                // as large
  EXPECT_FALSE(st.keep(kFano, plus(nine, {cover({1, 2, 5})}), {}));      // larger
  EXPECT_FALSE(st.keep(kFano, {kPlane.begin(), kPlane.end() - 1}, {}));  // holes
  ASSERT_EQ(w.lines.size(), 1u);
  EXPECT_EQ(w.lines[0],
            "not keeping a wheel for L7-2-3-2.txt in the store: not a wheel, 3 of the 21 k-sets "
            "are not covered");
  EXPECT_EQ(st.load(kFano).size(), 9u);
  EXPECT_TRUE(st.keep(kFano, kPlane, {}));
  EXPECT_EQ(st.load(kFano), (std::vector<Set>{kPlane[0], kPlane[1], kPlane[2], kPlane[3], kPlane[4],
                                              kPlane[5], kPlane[6]}));
  // Nothing left behind but the wheel and the lock file.
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(st.dir())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".lock", "L7-2-3-2.txt"}));

  // Another instance beside it.
  Shape pairs{7, 2, 6, 1};  // a cover of six numbers meets every pair
  EXPECT_TRUE(st.keep(pairs, {cover({1, 2, 3, 4, 5, 6}), cover({2, 3, 4, 5, 6, 7})}, {}));
  EXPECT_EQ(st.load(kFano).size(), 7u);
  EXPECT_EQ(st.load(pairs).size(), 2u);
  EXPECT_EQ(w.lines.size(), 1u);

  store::Store none("");
  EXPECT_FALSE(none.enabled());
  EXPECT_FALSE(none.keep(kFano, kPlane, {}));
  EXPECT_TRUE(none.load(kFano).empty());
}

TEST(Store, DamagedOrEditedFilesAreIgnoredAndTold) {
  TempDir t;
  Warnings w;
  store::Store st(t.path, w.sink());
  std::string good = store::wheel_text(kFano, kPlane, {"by hand"});
  std::string file = st.path(kFano);
  std::string holed = good.substr(0, good.rfind("3 5 6\n"));  // the last cover gone
  std::string other = good;
  other.replace(other.find("L(7,2,3,2)"), 10, "L(7,2,3,1)");
  // A wheel of nine with a redundant cover taken out: still a wheel, but edited.
  std::string nine =
      store::wheel_text(kFano, plus(kPlane, {cover({1, 2, 4}), cover({5, 6, 7})}), {});
  std::string eight = nine;
  eight.erase(eight.find("5 6 7\n"), 6);
  struct Bad {
    std::string text, why;
  } cases[] = {
      {good.substr(0, good.size() - 3), "line 10: 2 numbers, but a cover has 3"},  // cut short
      {holed, "not a wheel, 3 of the 21 k-sets are not covered; ignored"},
      {eight, "its first line counts 9 covers, the file holds 8"},
      {other, "its first line is not \"# L(7,2,3,2): N covers, ...\""},
      {holed.substr(0, holed.find("1 6 7\n")) + "1 6 8\n" + holed.substr(holed.find("2 4 6\n")),
       "line 6: '8' is outside 1..7"},
      {"", "its first line is not \"# L(7,2,3,2): N covers, ...\""},
  };
  for (const Bad &b : cases) {
    write(file, b.text);
    w.lines.clear();
    EXPECT_TRUE(st.load(kFano).empty()) << b.why;
    ASSERT_EQ(w.lines.size(), 1u) << b.why;
    EXPECT_EQ(w.lines[0].rfind(file + ": ", 0), 0u) << w.lines[0];
    EXPECT_NE(w.lines[0].find(b.why), std::string::npos) << w.lines[0] << "\n  want " << b.why;
  }

  // A damaged file gives way to any proved wheel, without a word.
  w.lines.clear();
  EXPECT_TRUE(st.keep(kFano, plus(kPlane, {cover({1, 2, 4}), cover({5, 6, 7})}), {}));
  EXPECT_TRUE(w.lines.empty());
  EXPECT_EQ(st.load(kFano).size(), 9u);
}

TEST(Store, KeepsFromManyThreadsLeaveTheSmallest) {
  TempDir t;
  Warnings w;
  store::Store st(t.path, w.sink());
  // Wheels of 7 to 14 covers: the plane and redundant covers on top.
  std::vector<Set> extra = {cover({1, 2, 4}), cover({1, 2, 5}), cover({1, 2, 6}), cover({1, 2, 7}),
                            cover({1, 3, 4}), cover({1, 3, 5}), cover({1, 3, 6})};
  std::vector<std::thread> threads;
  for (int id = 0; id < 8; id++)
    threads.emplace_back([&, id] {
      for (int round = 0; round < 20; round++) {
        int more = 7 - (id + round) % 8;  // every size, the smallest late in some threads
        std::vector<Set> wheel = kPlane;
        if (more > 0) wheel.insert(wheel.end(), extra.begin(), extra.begin() + more);
        st.keep(kFano, wheel, {"thread " + std::to_string(id)});
        EXPECT_GE(st.load(kFano).size(), 7u);  // never a damaged file in between
      }
    });
  for (std::thread &th : threads) th.join();
  EXPECT_EQ(st.load(kFano).size(), 7u);
  EXPECT_TRUE(w.lines.empty()) << w.lines[0];
  int files = 0;
  for (const auto &e : fs::directory_iterator(st.dir())) files += e.path().filename() != ".lock";
  EXPECT_EQ(files, 1);
}

// Only a regular file of at most the size of a wheel the check counts is
// read: a FIFO, a device behind a symbolic link or a file padded far past
// any wheel is skipped at once with a warning, and keep puts a proved wheel
// in its place. A symbolic link to a regular file reads as that file.
TEST(Store, ReadsOnlyRegularFilesOfAWheelsSize) {
  TempDir t;
  Warnings w;
  store::Store st(t.path, w.sink());
  std::string file = st.path(kFano), good = store::wheel_text(kFano, kPlane, {});
  std::string padded = good;
  for (int i = 0; i < 4096; i++) padded += "# " + std::string(1000, '.') + "\n";  // 4 MB
  struct Odd {
    std::function<void()> make;
    std::string why;
  } cases[] = {
      {[&] { ASSERT_EQ(mkfifo(file.c_str(), 0644), 0); }, "not a regular file"},
      {[&] { fs::create_symlink("/dev/zero", file); }, "not a regular file"},
      {[&] { write(file, padded); }, "over 1441786 bytes, more than a wheel of 65535 covers takes"},
  };
  for (const Odd &o : cases) {
    o.make();
    w.lines.clear();
    std::vector<Set> got = kPlane;
    EXPECT_TRUE(returns_soon([&] { got = st.load(kFano); }, file)) << o.why;
    EXPECT_TRUE(got.empty()) << o.why;
    EXPECT_EQ(w.lines, std::vector<std::string>{file + ": " + o.why + "; ignored"});
    bool kept = false;
    EXPECT_TRUE(returns_soon([&] { kept = st.keep(kFano, kPlane, {}); }, file)) << o.why;
    EXPECT_TRUE(kept) << o.why;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << o.why;
    EXPECT_EQ(st.load(kFano).size(), 7u) << o.why;
    EXPECT_LE(w.lines.size(), 1u) << o.why;
    fs::remove(file);
  }

  write(t.path + "/elsewhere", good);
  fs::create_symlink(t.path + "/elsewhere", file);
  EXPECT_EQ(st.load(kFano).size(), 7u);
  EXPECT_EQ(w.lines.size(), 1u);
}

// A run killed while it writes leaves a temporary file; as they are made
// only under the lock, the next keep of that instance removes its own (the
// listing that skips them: test_store_sharing.py).
TEST(Store, KeepRemovesWhatAKilledRunLeft) {
  TempDir t;
  store::Store st(t.path);
  write(t.path + "/.L7-2-3-2.txt.Ab12Cd", "1 2 3\n");
  write(t.path + "/.L10-2-6-1.txt.Ab12Cd", "");
  EXPECT_TRUE(st.keep({10, 2, 6, 1}, {cover({1, 2, 3, 4, 5, 6}), cover({5, 6, 7, 8, 9, 10})}, {}));
  EXPECT_TRUE(st.keep(kFano, kPlane, {}));
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(st.dir())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".lock", "L10-2-6-1.txt", "L7-2-3-2.txt"}));
}
