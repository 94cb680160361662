// The store of proved wheels: reading back and proving, replacing under a
// lock, listing.
#include "design/store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>
#include <tuple>

#include "design/methods/bound.h"
#include "base/cli.h"
#include "check/wheel.h"

namespace store::inline VORLANK_SETS {

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
                     design::lower_bound_text(s) + "\n";
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
                             bool *missing, size_t most, std::string *all) const {
  *missing = false;
  std::string bytes;
  if (std::string err = read_regular(path, most_bytes(s), bytes, missing); !err.empty()) return err;
  if (all) *all = bytes;
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

// Held around the record lock of keep: the threads of this process replace
// one at a time (any Store, any directory). Written by keep alone.
static std::mutex replacing;

// Temporary files of s are made only under the lock, so one found while it
// is held was left by a run that died writing it: removed.
static void remove_stale(const std::string &dir, const Shape &s) {
  std::string prefix = "." + file_name(s) + ".";
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename();
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
      unlink(it->path().c_str());
  }
}

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
  // A record lock is the process's: the mutex first, or two threads would
  // both hold it. It goes with the lock file's descriptor, so nothing else
  // opens or closes that file in this process while the mutex is held.
  std::lock_guard<std::mutex> one_thread(replacing);
  Fd lock(open((dir_ + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.fd < 0) return failed("cannot open the lock file");
  struct flock whole = {};
  whole.l_type = F_WRLCK, whole.l_whence = SEEK_SET;  // l_start = l_len = 0: the whole file
  while (fcntl(lock.fd, F_SETLKW, &whole) != 0)
    if (errno != EINTR) return failed("cannot lock the store");
  remove_stale(dir_, s);

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

// The instance a file name tells, where it is one the store writes
// ("L49-6-6-3.txt", no leading zeros); e.wrong says where those four
// numbers are no instance vorlank-design takes.
static bool named_as_wheel(const std::string &name, Entry &e) {
  if (name.size() < 5 || name[0] != 'L' || name.compare(name.size() - 4, 4, ".txt") != 0)
    return false;
  std::vector<std::string> words;
  std::stringstream middle(name.substr(1, name.size() - 5));
  for (std::string w; std::getline(middle, w, '-');) words.push_back(w);
  cli::Instance in;
  bool usage;
  if (words.size() != 4) return false;
  std::string err = cli::instance(words, in, &usage);
  if (usage) return false;
  if (err.empty()) err = design::pool_refusal({in.n, in.k, in.x, in.t});
  e.n = in.n, e.k = in.k, e.x = in.x, e.t = in.t, e.name = name;
  if (file_name({in.n, in.k, in.x, in.t}) != name) return false;
  e.wrong = err;
  return true;
}

// The file's modification time, UTC, as 2026-12-07T13:45:00Z; "" unknown.
static std::string mtime(const std::string &path) {
  struct stat st;
  struct tm utc;
  char text[32];
  if (stat(path.c_str(), &st) != 0 || !gmtime_r(&st.st_mtime, &utc) ||
      strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
    return "";
  return text;
}

// Proves the wheel in `file` for e's instance and reads its # lines: the
// covers or what is wrong, and how it was built. Optimal only where the
// wheel meets the lower bound computed here: a comment proves nothing.
void Store::list_one(const std::string &file, Entry &e) const {
  Shape s{e.n, e.k, e.x, e.t};
  std::vector<Set> covers;
  std::string text;
  bool missing;
  try {
    e.wrong = read_file(s, file, covers, &missing, SIZE_MAX, &text);
  } catch (const std::bad_alloc &) {
    e.unproved = "out of memory for its proof";
    return;
  }
  if (!e.wrong.empty()) return;
  e.covers = covers.size(), e.optimal = e.covers == e.bound;
  // The # lines after the first: how it was built. A run that started from
  // the stored wheel says so first.
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  while (e.how.empty() && std::getline(lines, line) && line.rfind("# ", 0) == 0)
    if (line.rfind("# from the store:", 0) != 0 && line.rfind("# proved:", 0) != 0 &&
        line.rfind("# optimal:", 0) != 0)
      e.how = line.substr(2);
}

std::string Store::list(std::vector<Entry> &entries,
                        const std::function<std::string(const Shape &)> &too_large) const {
  entries.clear();
  if (!enabled()) return "";
  std::error_code ec;
  std::filesystem::directory_iterator it(dir_, ec), end;
  if (ec == std::errc::no_such_file_or_directory) return "";  // nothing stored yet
  for (; !ec && it != end; it.increment(ec)) {
    Entry e;
    if (!named_as_wheel(it->path().filename(), e)) continue;
    std::string file = dir_ + "/" + e.name;
    e.stored = mtime(file);
    if (e.wrong.empty()) e.bound = design::lower_bound({e.n, e.k, e.x, e.t});
    if (e.wrong.empty() && too_large) e.unproved = too_large({e.n, e.k, e.x, e.t});
    if (e.wrong.empty() && e.unproved.empty()) list_one(file, e);
    const std::string wheel = "not a wheel, ";  // read_proved's words for holes
    if (e.wrong.rfind(wheel, 0) == 0) e.wrong.erase(0, wheel.size());
    entries.push_back(std::move(e));
  }
  if (ec) return "cannot read the store " + dir_ + ": " + ec.message();
  std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
    return std::tie(a.n, a.k, a.x, a.t) < std::tie(b.n, b.k, b.x, b.t);
  });
  return "";
}

// A CSV field, quoted where it holds a comma, a quote or a line end.
static std::string csv_field(const std::string &f) {
  if (f.find_first_of(",\"\r\n") == std::string::npos) return f;
  std::string q = "\"";
  for (char c : f) q += c == '"' ? "\"\"" : std::string(1, c);
  return q + "\"";
}

std::string listing(const std::vector<Entry> &entries, bool csv) {
  std::vector<std::vector<std::string>> rows = {
      {"instance", "covers", "bound", "ratio", "optimal", "stored", "built"}};
  for (const Entry &e : entries) {
    bool ok = e.wrong.empty() && e.unproved.empty();
    char ratio[32] = "-";
    if (ok && e.bound) snprintf(ratio, sizeof ratio, "%.3f", (double)e.covers / (double)e.bound);
    rows.push_back({design::instance({e.n, e.k, e.x, e.t}), ok ? std::to_string(e.covers) : "-",
                    e.bound ? std::to_string(e.bound) : "-", ratio,
                    !ok         ? "-"
                    : e.optimal ? "yes"
                                : "unknown",
                    e.stored.empty() ? "-" : e.stored,
                    ok                   ? (e.how.empty() ? "-" : e.how)
                    : !e.unproved.empty() ? "too large to prove here: " + e.unproved
                                          : "not a wheel: " + e.wrong});
  }
  const size_t columns = rows[0].size();
  std::vector<size_t> width(columns, 0);
  for (const auto &r : rows)
    for (size_t c = 0; c < columns; c++) width[c] = std::max(width[c], r[c].size());
  std::string out;
  for (const auto &r : rows) {
    for (size_t c = 0; c < columns; c++) {
      if (c) out += csv ? "," : "  ";
      if (csv) {
        out += csv_field(r[c]);
        continue;
      }
      // Counts right-aligned; the last column runs on, no blanks after it.
      std::string pad(width[c] - r[c].size(), ' ');
      bool number = c >= 1 && c <= 3;
      out += number ? pad + r[c] : c + 1 < columns ? r[c] + pad : r[c];
    }
    out += '\n';
  }
  return out;
}

}  // namespace store
