// Timers through the clock seam: stamps, date lines and elapsed seconds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "capture.h"
#include "k.h"

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
    sec_start = sec_end = sec_start2 = sec_end2 = 0;
  }
  void TearDown() override { k_clock = time; }
};

TEST_F(Timers, DateLinesHaveNoPadding) {
  readings = {at(2026, 3, 1, 9, 5, 3), at(2026, 12, 5, 15, 6, 20)};
  EXPECT_EQ(capture(time_start), "Started at:    3.1 9.5.3\n");
  EXPECT_EQ(sec_start, 86400 + 9 * 3600 + 5 * 60 + 3);
  EXPECT_EQ(capture(time_stop), "Finished at:    12.5 15.6.20.\n");
  EXPECT_EQ(sec_end, 5 * 86400 + 15 * 3600 + 6 * 60 + 20);
}

TEST_F(Timers, StepSecondsAcrossHourAndMidnight) {
  readings = {at(2026, 5, 4, 10, 59, 59), at(2026, 5, 4, 11, 0, 1)};
  time_start2();
  time_stop2();
  EXPECT_EQ(capture(time_run2), "        2 sec\n");

  readings = {at(2026, 5, 4, 23, 59, 59), at(2026, 5, 5, 0, 0, 1)};
  sec_start2 = sec_end2 = 0;
  time_start2();
  time_stop2();
  EXPECT_EQ(capture(time_run2), "        2 sec\n");
}

TEST_F(Timers, RunAcrossTheEndOfAMonthKeepsItsTrueLength) {
  readings = {at(2026, 1, 31, 23, 59, 59), at(2026, 2, 1, 0, 0, 1)};
  capture(time_start);
  capture(time_stop);
  // The stamps restart with the month; the printed length does not.
  EXPECT_EQ(sec_end - sec_start, -2678398);
  EXPECT_EQ(capture(time_run), "running time: 2 sec\n");

  readings = {at(2026, 1, 31, 23, 59, 59), at(2026, 2, 1, 0, 0, 1)};
  time_start2();
  time_stop2();
  EXPECT_EQ(capture(time_run2), "        2 sec\n");
}

TEST_F(Timers, StampsAddUpWithoutAReset) {
  readings = {at(2026, 1, 2, 0, 0, 0), at(2026, 1, 2, 0, 0, 5)};
  time_start2();
  time_start2();
  EXPECT_EQ(sec_start2, 2 * 2 * 86400 + 5);
}
