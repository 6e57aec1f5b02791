#include "core/Formats.h"

#include <clocale>
#include <cstdio>

namespace formats {

DateTimeFormats& current() {
  static DateTimeFormats formats;
  return formats;
}

void useDotDecimalSeparator() {
  std::setlocale(LC_NUMERIC, "C");
}

namespace {

// Appends value with at least `width` digits.
void put(std::string& out, int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}

size_t runLength(std::string_view p, size_t i) {
  size_t n = 1;
  while (i + n < p.size() && (p[i + n] | 0x20) == (p[i] | 0x20)) ++n;
  return n;
}

}  // namespace

std::string formatDate(const fsys::CalendarTime& t, std::string_view pattern) {
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(pattern[i] | 0x20);
    const size_t n = (c == 'd' || c == 'm' || c == 'y') ? runLength(pattern, i) : 1;
    if (c == 'd') {
      put(out, t.day, n >= 2 ? 2 : 1);
    } else if (c == 'm') {
      put(out, t.month, n >= 2 ? 2 : 1);
    } else if (c == 'y') {
      if (n >= 3) {
        put(out, t.year, 4);
      } else {
        put(out, t.year % 100, 2);
      }
    } else {
      out += pattern[i];
    }
    i += n;
  }
  return out;
}

std::string formatTime(const fsys::CalendarTime& t, std::string_view pattern) {
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(pattern[i] | 0x20);
    const bool token = c == 'h' || c == 'm' || c == 'n' || c == 's';
    const size_t n = token ? runLength(pattern, i) : 1;
    const int width = n >= 2 ? 2 : 1;
    if (c == 'h') {
      put(out, t.hour, width);
    } else if (c == 'm' || c == 'n') {
      put(out, t.minute, width);
    } else if (c == 's') {
      put(out, t.second, width);
    } else {
      out += pattern[i];
    }
    i += n;
  }
  return out;
}

std::string formatDateTime(const fsys::CalendarTime& t) {
  return formatDate(t, current().shortDate) + " " + formatTime(t, current().longTime);
}

std::string listedTime(const fsys::CalendarTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%02d  %02d:%02d:%02d", t.day, t.month, t.year - 2000, t.hour,
                t.minute, t.second);
  return buf;
}

}  // namespace formats
