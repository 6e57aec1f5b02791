#include "browse/ReportNames.h"

#include <cstdio>

#include "core/FileSys.h"

namespace {

// Reads the date text like the C conversions %Nd (optional blanks, an optional sign and digits, at most
// N characters in all) and %c (any one character).
class DateScanner {
  // The white space that %d skips: blank, tab, newline, carriage return, vertical tab, form feed.
  static bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

 public:
  explicit DateScanner(std::string_view s) : s_(s) {}
  bool number(size_t width, int& out) {
    while (i_ < s_.size() && isBlank(s_[i_])) ++i_;
    size_t used = 0;
    bool negative = false;
    if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) {
      negative = s_[i_] == '-';
      ++i_, ++used;
    }
    int v = 0;
    size_t digits = 0;
    while (i_ < s_.size() && used < width && s_[i_] >= '0' && s_[i_] <= '9') {
      v = v * 10 + (s_[i_++] - '0');
      ++used, ++digits;
    }
    if (digits == 0) return false;
    out = negative ? -v : v;
    return true;
  }
  bool character() {
    if (i_ >= s_.size()) return false;
    ++i_;
    return true;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

bool isComputerDirectory(const std::string& name) {
  return name.size() >= 6 && name.size() <= 9 && name[0] == 'v' && name[5] == 'n' && fsys::safeName(name);
}

std::optional<std::string> objectNamePart(std::string_view fileName, std::string_view line, ReportKind kind) {
  const std::string needle = "-" + std::string(line) + "-" + std::string(kindCode(kind)) + "-";
  const size_t at = fileName.find(needle);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(fileName.substr(0, at));
}

bool usableObjectName(const std::string& name) {
  return fsys::safeName(name) && name.size() <= 49;
}

bool IsValidReportDate(int32_t month, int32_t day, int32_t hour) {
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 && hour <= 23;
}

std::optional<std::string> catalogueEntry(std::string_view name, uint32_t size, ReportKind reportKind,
                                          std::string_view searchText) {
  const int kind = kindIndex(reportKind);
  const size_t at = name.find(searchText);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t dateStart = at + searchText.size() + 1;  // the separator after the code is not checked
  if (dateStart >= name.size()) return std::nullopt;
  DateScanner sc(name.substr(dateStart));
  int year = 0, month = 0, day = 1, hour = 0;
  bool ok = sc.number(4, year) && sc.character() && sc.number(2, month);
  if (kind <= 2) ok = ok && sc.character() && sc.number(2, day);
  if (kind == 0) ok = ok && sc.character() && sc.number(2, hour);
  if (!ok) return std::nullopt;
  if (!IsValidReportDate(month, kind <= 2 ? day : 1, kind == 0 ? hour : 0)) return std::nullopt;
  const char* star = size < 20 ? "*" : "";
  char buf[64];
  if (kind == 0) {
    std::snprintf(buf, sizeof buf, " %4d.%02d.%02d  %02d:00%s", year, month, day, hour, star);
  } else if (kind <= 2) {
    std::snprintf(buf, sizeof buf, " %4d.%02d.%02d%s", year, month, day, star);
  } else {
    std::snprintf(buf, sizeof buf, " %4d.%02d%s", year, month, star);
  }
  return std::string(buf);
}

std::optional<std::string> reportFileName(std::string_view entry, ReportKind reportKind,
                                          std::string_view objectName, std::string_view computerDir) {
  const int kind = kindIndex(reportKind);
  while (!entry.empty() && static_cast<unsigned char>(entry.front()) <= ' ') entry.remove_prefix(1);
  DateScanner sc(entry);
  int year = 0, month = 0, day = 0, hour = 0;
  bool ok = sc.number(4, year) && sc.character() && sc.number(2, month);
  if (kind <= 2) ok = ok && sc.character() && sc.number(2, day);
  // The hour follows two separating characters: "2005.03.15  10:00".
  if (kind == 0) ok = ok && sc.character() && sc.character() && sc.number(2, hour);
  if (!ok) return std::nullopt;
  const std::string prefix = std::string(objectName) + "-" + std::string(computerDir) + "-";
  char date[64];
  if (kind == 0) {
    std::snprintf(date, sizeof date, "chakr-%04d.%02d.%02d-%02d.txt", year, month, day, hour);
  } else if (kind <= 2) {
    std::snprintf(date, sizeof date, "%s-%04d.%02d.%02d.txt", kind == 1 ? "sutkr" : "sutko", year, month,
                  day);
  } else {
    std::snprintf(date, sizeof date, "%s-%04d.%02d.txt", kind == 3 ? "meskr" : "mesko", year, month);
  }
  return prefix + date;
}
