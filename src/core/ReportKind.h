#pragma once
// The five report kinds. Each code is both the name of the kind folder of a line and the kind token in
// report file names.

#include <array>
#include <cstdint>
#include <string_view>

enum class ReportKind : uint8_t {
  Hourly = 0,
  DailyShort = 1,
  DailyCommercial = 2,
  MonthlyShort = 3,
  MonthlyCommercial = 4
};

inline constexpr int kReportKindCount = 5;

inline constexpr std::array<std::string_view, kReportKindCount> kReportKindCodes = {"chakr", "sutkr", "sutko",
                                                                                    "meskr", "mesko"};

// The kinds in list order, for the loops over all five.
inline constexpr std::array<ReportKind, kReportKindCount> kReportKinds = {
    ReportKind::Hourly, ReportKind::DailyShort, ReportKind::DailyCommercial, ReportKind::MonthlyShort,
    ReportKind::MonthlyCommercial};

// The kind's place in the five lists and tables.
constexpr int kindIndex(ReportKind k) {
  return static_cast<int>(k);
}
constexpr std::string_view kindCode(ReportKind k) {
  return kReportKindCodes[static_cast<size_t>(k)];
}
