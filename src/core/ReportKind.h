#pragma once
// The five report kinds. Each code is both the name of the kind folder of a line and the kind token in
// report file names.

#include <array>
#include <string_view>

enum class ReportKind : int {
  Hourly = 0,
  DailyShort = 1,
  DailyCommercial = 2,
  MonthlyShort = 3,
  MonthlyCommercial = 4
};

inline constexpr int kReportKindCount = 5;

inline constexpr std::array<std::string_view, kReportKindCount> kReportKindCodes = {"chakr", "sutkr", "sutko",
                                                                                    "meskr", "mesko"};
