// The store of proved wheels vorlank-design keeps between runs: one plain
// file per instance (L49-6-6-3.txt) in a directory, in the format
// vorlank-design prints (its # lines, then one cover a line), so that
// vorlank-check reads a stored wheel as it is.
//
// Nothing read from the store is trusted: a wheel comes back only after the
// check walk has proved it again for its instance. A wheel is replaced only
// by a smaller proved one, written to a temporary file in the same directory,
// synced and renamed over the old one while an exclusive lock on the
// directory's lock file is held, so that runs at once never leave a damaged
// or larger wheel. The lock is a POSIX record lock (fcntl), which the lock
// managers of NFS hold across machines too; as such a lock belongs to the
// process, not to a thread, one mutex of store.cpp (its only process-wide
// state) keeps the threads of a process from replacing at once. A Store may
// be used from several threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "base/masks.h"

namespace store::inline VORLANK_SETS {

// The lock file beside the wheels, taken around every replacement.
inline constexpr const char *kLockName = ".lock";

// A file of the store named as a wheel, as the listing shows it.
struct Entry {
  int n = 0, k = 0, x = 0, t = 0;
  std::string name;      // "L49-6-6-3.txt"
  size_t covers = 0;     // 0: not a proved wheel, `wrong` tells why
  uint64_t bound = 0;    // the lower bound (0 for a name that is no instance)
  bool optimal = false;  // the covers at the lower bound: what the listing can prove
  std::string unproved;  // "" or why the wheel could not be proved here (memory)
  std::string stored;    // the file's mtime, "2026-12-07T13:45:00Z" ("" unknown)
  std::string how;       // its first # line after the first, "" where none
  std::string wrong;     // "" or what is wrong with it
};

// The listing of vorlank-design --list: a header row, then a row per entry,
// as an aligned table or as CSV (RFC 4180 quoting, lines ending in \n).
std::string listing(const std::vector<Entry> &entries, bool csv);

// The directory of the store by default, from the environment values of
// XDG_DATA_HOME and HOME (nullptr where unset): $XDG_DATA_HOME/vorlank/wheels
// where it is an absolute path, else $HOME/.local/share/vorlank/wheels; ""
// (no store) where neither tells a place.
std::string default_dir(const char *xdg_data_home, const char *home);

// The file name of an instance's wheel: "L49-6-6-3.txt".
std::string file_name(const design::Shape &s);

// The text vorlank-design prints for a proved wheel: "# L(n,k,x,t): N covers,
// lower bound B", a # line for each line of `how`, "# proved: ...", then the
// covers, numbers ascending, lines in ascending order.
std::string wheel_text(const design::Shape &s, const std::vector<design::Set> &covers,
                       const std::vector<std::string> &how);

// Reads a wheel (a vorlank transcript or plain lines, as vorlank-check reads
// them) and proves it by the check walk: "" with its covers, or what is wrong
// (a line that does not read, no covers, too many to count, holes).
std::string read_proved(std::istream &in, const design::Shape &s, std::vector<design::Set> &covers);

class Store {
public:
  // Receives each warning, one line without its line end; it must be safe to
  // call from several threads where the store is.
  using Warn = std::function<void(const std::string &)>;

  // dir "": no store (load finds nothing, keep keeps nothing). Without warn,
  // warnings go to standard error as "Warning: ...".
  explicit Store(std::string dir, Warn warn = nullptr);

  bool enabled() const { return !dir_.empty(); }
  const std::string &dir() const { return dir_; }
  std::string path(const design::Shape &s) const;  // dir/L49-6-6-3.txt

  // The stored wheel of s, proved again; none where there is no file. A file
  // that does not read, names another instance or count of covers than it
  // holds, or leaves a hole is reported (one warning naming the file and
  // what is wrong) and ignored.
  std::vector<design::Set> load(const design::Shape &s) const;

  // Stores covers, a wheel for s, with the # lines of `how`, where the store
  // holds no proved wheel of s as small, after proving covers. True where the
  // file now holds them; a failure to write is a warning, never an error.
  bool keep(const design::Shape &s, const std::vector<design::Set> &covers,
            const std::vector<std::string> &how) const;

  // Every file of the store named as a wheel (L49-6-6-3.txt; the lock and
  // temporary files are not), each proved again, sorted by n, k, x, t; none
  // where there is no store or no directory. A wheel whose proof `too_large`
  // (where given) refuses, saying why, is listed unproved. "" or what keeps the directory
  // from being read.
  std::string list(std::vector<Entry> &entries,
                   const std::function<std::string(const design::Shape &)> &too_large = {}) const;

private:
  // The proved wheel in the file at path, or what is wrong with it (more
  // than `most` covers by its first line, not proved then); *missing tells
  // that there is no file at all. *all, where given, gets the text read.
  std::string read_file(const design::Shape &s, const std::string &path,
                        std::vector<design::Set> &covers, bool *missing, size_t most = SIZE_MAX,
                        std::string *all = nullptr) const;
  void warn(const std::string &what) const;
  void list_one(const std::string &file, Entry &e) const;

  std::string dir_;
  Warn warn_;
};

}  // namespace store
