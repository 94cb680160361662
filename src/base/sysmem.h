// The memory a run may take: what the machine can give now, the one
// refusal every program prints when a run would need more, and what it
// takes to end a run cleanly when memory runs out after all.
#pragma once

#include <exception>
#include <istream>
#include <string>

// MemAvailable of a /proc/meminfo text, in MB; -1 when the text has none.
double meminfo_available_mb(std::istream &meminfo);

// What is left under a control group's memory limit, in MB, from the texts
// of its memory.max and memory.current; -1 where no limit is set ("max") or
// the texts are no numbers.
double cgroup_left_mb(std::istream &memory_max, std::istream &memory_current);

// The memory this process can take now, in MB: MemAvailable, lowered to
// what is left under the control group's limit where one is set; 1e12 when
// the texts tell nothing.
double available_mb(std::istream &meminfo, std::istream &memory_max, std::istream &memory_current);
// The same from /proc/meminfo and /sys/fs/cgroup/memory.{max,current}.
double available_mb();

// "" when need_mb fits into avail_mb; otherwise the refusal, without a line
// end: "Error: WHO needs N MB of memory; this machine has M MB available."
// The need is rounded up and what is available rounded down, so the two
// figures never contradict the refusal.
std::string memory_refusal(const char *who, double need_mb, double avail_mb);

// Whether an exception is memory running out: an allocation that failed, or a
// thread that could not start (its stack could not be mapped).
bool out_of_memory(const std::exception_ptr &e);

// Loads now what glibc otherwise loads at the first exception that passes one
// of its own frames (std::call_once's, for one): libgcc_s, for their
// cleanups. Where memory has run out by then, that load fails and glibc
// aborts the program instead of letting the exception reach its handler.
void load_unwinder();
