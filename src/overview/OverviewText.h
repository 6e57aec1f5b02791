#pragma once
// The overview's rows as texts (Windows-1251): the cells of the window's table, the marks that make a
// row stand out, and the pages it prints.

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "overview/Station.h"

namespace overview {

// Why a row stands out; also written into its first cell, so that print and screen readers tell it.
struct Marks {
  bool stale = false;     // the newest hourly report is older than the threshold (or there is none)
  bool newAlarm = false;  // the alarm time is newer than the last overview saw
};

// Stale: a line's hourly reports were listed and the newest is more than staleHours old at now (local
// time), or there is none. New alarm: seen holds an earlier time for the object (null: never seen).
[[nodiscard]] Marks marksOf(const ObjectRow& row, int staleHours, std::time_t now,
                            const fsys::CalendarTime* seen);

// The columns, what an operator reads first on the left; the five kinds last, in the report lists' order.
enum class Column : uint8_t {
  Mark,
  Connection,
  Object,
  State,
  Alarm,
  Age,
  Gas,
  Lines,
  Hourly,
  DailyShort,
  DailyCommercial,
  MonthlyShort,
  MonthlyCommercial
};
inline constexpr int kColumns = 13;

// What a row's check has come to.
enum class Progress : uint8_t { Checking, Done, Stopped };

struct ShownRow {
  std::array<std::string, kColumns> cells;  // lines of a cell separated by "\n"
  Marks marks;
  bool failed = false;
};

[[nodiscard]] std::string columnTitle(Column c);
[[nodiscard]] std::string failureText(Failure f, const std::string& detail);
// "3 ч 05 мин", "2 сут 4 ч".
[[nodiscard]] std::string ageText(const ReportHour& newest, std::time_t now);
[[nodiscard]] ShownRow showRow(const std::string& connection, const ObjectRow& row, Progress progress,
                               const Marks& marks, std::time_t now);

// The whole overview as the text that prints: a title, then a block of lines per row.
[[nodiscard]] std::string printedOverview(const std::vector<ShownRow>& rows, int staleHours, std::time_t now);

}  // namespace overview
