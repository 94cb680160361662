// The store of proved wheels: reading back and proving, replacing under a lock.
#include "store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bound.h"
#include "wheel.h"

namespace store {

using design::Set;
using design::Shape;

std::string default_dir(const char *xdg_data_home, const char *home) {
  // A relative XDG_DATA_HOME is to be ignored, by the XDG convention.
  if (xdg_data_home && xdg_data_home[0] == '/')
    return std::string(xdg_data_home) + "/vorlank/wheels";
  if (home && home[0]) return std::string(home) + "/.local/share/vorlank/wheels";
  return "";
}

std::string file_name(const Shape &s) {
  char name[64];
  snprintf(name, sizeof name, "L%d-%d-%d-%d.txt", s.n, s.k, s.x, s.t);
  return name;
}

// The first line of a wheel's text, up to its number of covers.
static std::string head(const Shape &s) { return "# " + design::instance(s) + ": "; }

std::string wheel_text(const Shape &s, const std::vector<Set> &covers,
                       const std::vector<std::string> &how) {
  std::vector<std::vector<int>> lines;
  for (Set c : covers) lines.push_back(design::numbers(c));
  std::sort(lines.begin(), lines.end());
  std::string text = head(s) + design::covers_text(lines.size()) + ", lower bound " +
                     std::to_string(design::lower_bound(s)) + "\n";
  for (const std::string &h : how) text += "# " + h + "\n";
  text += "# proved: every " + std::to_string(s.k) + "-set of 1.." + std::to_string(s.n) +
          " shares at least " + std::to_string(s.t) + (s.t == 1 ? " number" : " numbers") +
          " with a cover\n";
  for (const std::vector<int> &v : lines) {
    for (size_t i = 0; i < v.size(); i++) {
      if (i) text += ' ';
      text += std::to_string(v[i]);
    }
    text += '\n';
  }
  return text;
}

std::string read_proved(std::istream &in, const Shape &s, std::vector<Set> &covers) {
  wheel::Params p{s.n, s.k, s.x, s.t};
  wheel::Wheel w;
  if (std::string err = wheel::read_wheel(in, p, w); !err.empty()) return err;
  if (in.bad()) return "cannot be read";
  if (w.covers.empty()) return "no covers";
  if (w.covers.size() > wheel::kMaxCovers)
    return "more than " + std::to_string(wheel::kMaxCovers) + " covers, more than the check counts";
  if (uint64_t holes = wheel::Coverage(p, w.covers).holes())
    return "not a wheel, " + std::to_string(holes) + " of the " + std::to_string(wheel::ksets(p)) +
           " k-sets are not covered";
  covers.clear();
  for (const wheel::Cover &c : w.covers) {
    Set m = 0;
    for (int a : c) m |= design::bit(a - 1);
    covers.push_back(m);
  }
  return "";
}

Store::Store(std::string dir, Warn warn) : dir_(std::move(dir)), warn_(std::move(warn)) {}

std::string Store::path(const Shape &s) const { return dir_ + "/" + file_name(s); }

void Store::warn(const std::string &what) const {
  if (warn_)
    warn_(what);
  else
    fprintf(stderr, "Warning: %s\n", what.c_str());
}

// The most bytes a file of the store may hold: the longest wheel the check
// counts (kMaxCovers lines of x numbers of 1..n, as wheel_text writes them)
// and its # lines, with room to spare for the lines of `how`.
static size_t most_bytes(const Shape &s) {
  const size_t comments = 1 << 20;
  size_t digits = std::to_string(s.n).size();
  return wheel::kMaxCovers * ((size_t)s.x * (digits + 1)) + comments;
}

// Up to cap + 1 bytes of the file at path into text, the file opened without
// waiting and read only where it is a regular file (through a symbolic link
// too): a FIFO, a device or a directory put where a wheel belongs is never
// read, so that it can neither hold a run up nor feed it without end. ""
// or what is wrong; *missing tells that there is no file at all.
static std::string read_regular(const std::string &path, size_t cap, std::string &text,
                                bool *missing) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *missing = errno == ENOENT || errno == ENOTDIR;  // no file, or no directory
    return std::string("cannot be opened: ") + strerror(errno);
  }
  std::string err, too_large = "over " + std::to_string(cap) + " bytes, more than a wheel of " +
                               std::to_string(wheel::kMaxCovers) + " covers takes";
  struct stat st;
  if (fstat(fd, &st) != 0)
    err = std::string("cannot be read: ") + strerror(errno);
  else if (!S_ISREG(st.st_mode))
    err = "not a regular file";
  else if ((uint64_t)st.st_size > cap)
    err = too_large;
  // The size may yet grow while it is read: no more than cap + 1 bytes.
  text.resize(err.empty() ? (size_t)st.st_size + 1 : 0);
  size_t got = 0;
  while (err.empty() && got <= cap) {
    if (got == text.size()) text.resize(std::min(cap + 1, 2 * text.size()));
    ssize_t r = read(fd, text.data() + got, text.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) err = std::string("cannot be read: ") + strerror(errno);
    if (r <= 0) break;
    got += (size_t)r;
  }
  close(fd);
  text.resize(got);
  return err.empty() && got > cap ? too_large : err;
}

std::string Store::read_file(const Shape &s, const std::string &path, std::vector<Set> &covers,
                             bool *missing, size_t most) const {
  *missing = false;
  std::string bytes;
  if (std::string err = read_regular(path, most_bytes(s), bytes, missing); !err.empty()) return err;
  std::istringstream text(std::move(bytes));
  // The first line names the instance and the number of covers, so that a
  // file renamed, cut short at a line end or edited is not taken.
  std::string first;
  std::getline(text, first);
  std::string want = head(s);
  if (first.compare(0, want.size(), want) != 0)
    return "its first line is not \"" + want + "N covers, ...\"";
  size_t said = 0, i = want.size();
  for (; i < first.size() && first[i] >= '0' && first[i] <= '9' && said < 1000000; i++)
    said = said * 10 + (size_t)(first[i] - '0');
  if (said > most) return "more than " + std::to_string(most) + " covers";  // not worth proving
  text.seekg(0);
  if (std::string err = read_proved(text, s, covers); !err.empty()) return err;
  if (said != covers.size())
    return "its first line counts " + first.substr(want.size(), i - want.size()) +
           " covers, the file holds " + std::to_string(covers.size());
  return "";
}

std::vector<Set> Store::load(const Shape &s) const {
  if (!enabled()) return {};
  std::vector<Set> covers;
  bool missing;
  std::string err = read_file(s, path(s), covers, &missing);
  if (err.empty()) return covers;
  if (!missing) warn(path(s) + ": " + err + "; ignored");
  return {};
}

namespace {
// A file descriptor closed when it goes (which also drops a lock on it).
struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};
}  // namespace

static bool write_all(int fd, const std::string &text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t w = write(fd, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += (size_t)w;
  }
  return true;
}

bool Store::keep(const Shape &s, const std::vector<Set> &covers,
                 const std::vector<std::string> &how) const {
  if (!enabled() || covers.empty()) return false;
  std::string file = path(s);
  auto failed = [&](const std::string &what) {
    warn("cannot keep the wheel in " + file + ": " + what + ": " + strerror(errno));
    return false;
  };
  std::error_code ec;
  std::filesystem::create_directories(dir_, ec);
  if (ec) {
    errno = ec.value();
    return failed("cannot create " + dir_);
  }
  Fd lock(open((dir_ + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.fd < 0) return failed("cannot open the lock file");
  while (flock(lock.fd, LOCK_EX) != 0)
    if (errno != EINTR) return failed("cannot lock the store");

  // What is stored now, read under the lock: it stays where it proves and is
  // as small (a file that does not prove is replaced without a word).
  std::vector<Set> stored;
  bool missing;
  if (read_file(s, file, stored, &missing, covers.size()).empty()) return false;
  // Only a proved wheel goes in, read back from the very text written.
  std::string text = wheel_text(s, covers, how);
  {
    std::istringstream in(text);
    std::vector<Set> back;
    if (std::string err = read_proved(in, s, back); !err.empty()) {
      warn("not keeping a wheel for " + file_name(s) + " in the store: " + err);
      return false;
    }
  }

  std::string temp = dir_ + "/." + file_name(s) + ".XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return failed("cannot create a temporary file");
  bool ok = write_all(fd, text) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  int was = errno;
  if (close(fd) != 0 && ok) ok = false, was = errno;
  errno = was;
  if (!ok || rename(temp.c_str(), file.c_str()) != 0) {
    was = errno;
    unlink(temp.c_str());
    errno = was;
    return failed("cannot write " + temp);
  }
  // The rename itself lasts once the directory is synced.
  if (Fd d(open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); d.fd >= 0) fsync(d.fd);
  return true;
}

}  // namespace store
