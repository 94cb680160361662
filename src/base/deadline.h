// The clock of vorlank-design's search: points in time a number of seconds
// from now, as every phase and method reads them. Plain functions.
#pragma once

#include <algorithm>
#include <chrono>

namespace design {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// The point `seconds` after t (t itself for seconds <= 0; never for
// infinity or anything past a century).
inline Deadline after(Deadline t, double seconds) {
  if (!(seconds < 3e9)) return Deadline::max();
  return t + std::chrono::duration_cast<Clock::duration>(
                 std::chrono::duration<double>(std::max(0.0, seconds)));
}
inline Deadline from_now(double seconds) { return after(Clock::now(), seconds); }

// The point `share` of the way from now to end.
inline Deadline share_until(Deadline end, double share) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>((end - Clock::now()) * share);
}

// Seconds from now to t, negative once t has passed.
inline double seconds_until(Deadline t) {
  return std::chrono::duration<double>(t - Clock::now()).count();
}

}  // namespace design
