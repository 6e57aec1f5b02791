#include "overview/OverviewText.h"

#include <gtest/gtest.h>

#include "support/TimeZone.h"

namespace {

using overview::ReportHour;

TEST(OverviewText, HourOfAnHourlyEntry) {
  const struct {
    const char* entry;
    std::optional<ReportHour> hour;
  } cases[] = {
      {" 2026.12.10  09:00", ReportHour{2026, 12, 10, 9}},
      {" 2026.12.10  23:00*", ReportHour{2026, 12, 10, 23}},
      {"2026.01.01  00:00", ReportHour{2026, 1, 1, 0}},
      {" 2026.12.10", std::nullopt},
      {" 2026.12.10  24:00", std::nullopt},
      {" 2026.13.10  09:00", std::nullopt},
      {" 2026.12.10 09:00", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(overview::hourOfEntry(c.entry), c.hour) << c.entry;
}

// Stale past the threshold or without any hourly report, only once the reports were listed and the
// object has lines; a new alarm only against an earlier time seen.
TEST(OverviewText, Marks) {
  useTestTimeZone();
  const std::time_t noon = utcSeconds(2026, 12, 10, 9, 0, 0);  // 12:00 here
  const fsys::CalendarTime alarm{2026, 12, 10, 11, 30, 0}, earlier{2026, 12, 10, 11, 29, 59};
  const struct {
    bool listed, lines;
    std::optional<ReportHour> hourly;
    const fsys::CalendarTime* seen;
    int hours;
    bool stale, newAlarm;
  } cases[] = {
      {true, true, ReportHour{2026, 12, 10, 10}, nullptr, 2, false, false},  // exactly 2 h
      {true, true, ReportHour{2026, 12, 10, 9}, nullptr, 2, true, false},    // 3 h
      {true, true, ReportHour{2026, 12, 10, 9}, nullptr, 3, false, false},   // 3 h, threshold 3
      {true, true, std::nullopt, &alarm, 2, true, false},                    // no hourly report, alarm seen
      {false, true, std::nullopt, &earlier, 2, false, true},                 // not listed yet; newer alarm
      {true, false, std::nullopt, nullptr, 2, false, false},                 // no lines
      {true, true, ReportHour{2026, 12, 11, 0}, &earlier, 2, false, true},   // report ahead of the clock
  };
  for (const auto& c : cases) {
    overview::ObjectRow row;
    row.reportsListed = c.listed;
    if (c.lines) row.lines.push_back({"v0001n1", {}});
    row.newestHourly = c.hourly;
    row.alarm = alarm;
    const auto m = overview::marksOf(row, c.hours, noon, c.seen);
    EXPECT_EQ(m.stale, c.stale) << &c - cases;
    EXPECT_EQ(m.newAlarm, c.newAlarm) << &c - cases;
  }
  EXPECT_EQ(overview::ageText({2026, 12, 10, 9}, noon), "3 \xf7 00 \xec\xe8\xed");
  EXPECT_EQ(overview::ageText({2026, 12, 8, 10}, noon), "2 \xf1\xf3\xf2 2 \xf7");
  EXPECT_EQ(overview::ageText({2026, 12, 11, 0}, noon), "0 \xf7 00 \xec\xe8\xed");
}

}  // namespace
