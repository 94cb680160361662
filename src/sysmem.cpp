// Reading the memory available to a run.
#include "sysmem.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

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

// Bytes left under the control group's memory limit, or -1 when no limit is set.
static double cgroup_left() {
  std::ifstream max_file("/sys/fs/cgroup/memory.max"), used_file("/sys/fs/cgroup/memory.current");
  double max, used;
  if (!(max_file >> max) || !(used_file >> used)) return -1;  // "max" reads as no number
  return max > used ? max - used : 0;
}

double available_mb() {
  std::ifstream f("/proc/meminfo");
  double mb = meminfo_available_mb(f);
  if (mb < 0) mb = 1e12;
  if (double left = cgroup_left(); left >= 0) mb = std::min(mb, left / 1048576);
  return mb;
}

std::string memory_refusal(const char *who, double need_mb, double avail_mb) {
  if (need_mb <= avail_mb) return "";
  char buf[200];
  snprintf(buf, sizeof buf,
           "Error: %s needs %.0f MB of memory; this machine has %.0f MB available.", who,
           std::ceil(need_mb), std::floor(avail_mb));
  return buf;
}
