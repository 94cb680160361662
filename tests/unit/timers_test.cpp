// Timers through the clock seam: stamps, date lines and elapsed seconds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "capture.h"
#include "greedy/k.h"

static std::deque<time_t> readings;

static time_t fake_clock(time_t *t) {
  *t = readings.front();
  readings.pop_front();
  return *t;
}

// Seconds since the epoch of a UTC date.
static time_t at(int year, int mon, int day, int h, int m, int s) {
  struct tm tm = {};
  tm.tm_year = year - 1900, tm.tm_mon = mon - 1, tm.tm_mday = day;
  tm.tm_hour = h, tm.tm_min = m, tm.tm_sec = s;
  return timegm(&tm);
}

class Timers : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    k_clock = fake_clock;
  }
  void TearDown() override { k_clock = time; }
};

TEST_F(Timers, DateLinesHaveNoPadding) {
  readings = {at(2026, 3, 1, 9, 5, 3), at(2026, 12, 5, 15, 6, 20)};
  EXPECT_EQ(capture(time_start), "Started at:    3.1 9.5.3\n");
  EXPECT_EQ(capture(time_stop), "Finished at:    12.5 15.6.20.\n");
}

// Across an hour, midnight and the end of a month (where the stamps start
// again), the run and each step keep their true length.
TEST_F(Timers, ElapsedSecondsAreTheTrueLength) {
  const time_t pairs[][2] = {{at(2026, 5, 4, 10, 59, 59), at(2026, 5, 4, 11, 0, 1)},
                             {at(2026, 5, 4, 23, 59, 59), at(2026, 5, 5, 0, 0, 1)},
                             {at(2026, 1, 31, 23, 59, 59), at(2026, 2, 1, 0, 0, 1)}};
  for (auto [from, to] : pairs) {
    readings = {from, to, from, to};
    capture(time_start);
    capture(time_stop);
    EXPECT_EQ(capture(time_run), "running time: 2 sec\n");
    time_start2();
    time_stop2();
    EXPECT_EQ(capture(time_run2), "        2 sec\n");
  }
}
