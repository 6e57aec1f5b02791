#pragma once
// Process-wide number and date/time formats. Numbers always use "." as the decimal separator. The short
// date and long time formats are switched by the main window while it is open ("dd.mm.yy", "hh:mm:ss")
// and put back when it closes. Patterns: in a date, d/dd = day, m/mm = month, yy/yyyy = year; in a time,
// h/hh = hour, m/mm or n/nn = minute, s/ss = second; anything else is copied.

#include <string>
#include <string_view>

#include "core/FileSys.h"

namespace formats {

struct DateTimeFormats {
  std::string shortDate = "dd.mm.yyyy";
  std::string longTime = "h:mm:ss";
  bool operator==(const DateTimeFormats&) const = default;
};

// The formats in force for the process.
DateTimeFormats& current();

// Makes "." the decimal separator of the C library for the whole process.
void useDotDecimalSeparator();

std::string formatDate(const fsys::CalendarTime& t, std::string_view pattern);
std::string formatTime(const fsys::CalendarTime& t, std::string_view pattern);
// Date in the current short format, one blank, time in the current long format.
std::string formatDateTime(const fsys::CalendarTime& t);
// A time a server's listing gave, as the main window shows it: "dd.mm.yy  hh:mm:ss".
std::string listedTime(const fsys::CalendarTime& t);

}  // namespace formats
