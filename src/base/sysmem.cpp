// Reading the memory available to a run.
#include "base/sysmem.h"

#include <execinfo.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <system_error>

double meminfo_available_mb(std::istream &meminfo) {
  // Lines of "Key:   value kB"; the unit is a word of its own.
  for (std::string line; std::getline(meminfo, line);) {
    std::istringstream words(line);
    std::string key, unit;
    double value;
    if (words >> key >> value && key == "MemAvailable:")
      return words >> unit && unit == "kB" ? value / 1024 : value / 1048576;
  }
  return -1;
}

double cgroup_left_mb(std::istream &memory_max, std::istream &memory_current) {
  double max, used;
  if (!(memory_max >> max) || !(memory_current >> used)) return -1;  // "max" reads as no number
  return max > used ? (max - used) / 1048576 : 0;
}

double available_mb(std::istream &meminfo, std::istream &memory_max, std::istream &memory_current) {
  double mb = meminfo_available_mb(meminfo);
  if (mb < 0) mb = 1e12;
  if (double left = cgroup_left_mb(memory_max, memory_current); left >= 0) mb = std::min(mb, left);
  return mb;
}

double available_mb() {
  std::ifstream meminfo("/proc/meminfo"), max("/sys/fs/cgroup/memory.max"),
      current("/sys/fs/cgroup/memory.current");
  return available_mb(meminfo, max, current);
}

std::string memory_refusal(const char *who, double need_mb, double avail_mb) {
  if (need_mb <= avail_mb) return "";
  char buf[200];
  snprintf(buf, sizeof buf,
           "Error: %s needs %.0f MB of memory; this machine has %.0f MB available.", who,
           std::ceil(need_mb), std::floor(avail_mb));
  return buf;
}

bool out_of_memory(const std::exception_ptr &e) {
  if (!e) return false;
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc &) {
    return true;
  } catch (const std::system_error &x) {
    // std::thread tells a stack it cannot map as EAGAIN.
    return x.code() == std::errc::resource_unavailable_try_again ||
           x.code() == std::errc::not_enough_memory;
  } catch (...) {
  }
  return false;
}

void load_unwinder() {
  // glibc's backtrace() takes the library that its cleanups take.
  void *frame;
  backtrace(&frame, 1);
}
