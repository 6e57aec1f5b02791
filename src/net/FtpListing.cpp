#include "net/FtpListing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace ftp {
namespace {

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

template <typename T>
bool toNumber(std::string_view s, T& out) {
  if (!allDigits(s)) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int digits(std::string_view s, size_t pos, size_t n) {
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

bool validDate(const fsys::CalendarTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour >= 0 && t.hour <= 23 &&
         t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60 && t.year >= 1601;
}

}  // namespace

bool parseUtcTime(std::string_view v, fsys::CalendarTime& out) {
  if (v.size() < 14 || !allDigits(v.substr(0, 14))) return false;
  const fsys::CalendarTime utc{digits(v, 0, 4), digits(v, 4, 2),  digits(v, 6, 2),
                               digits(v, 8, 2), digits(v, 10, 2), digits(v, 12, 2)};
  const auto local = fsys::utcToLocal(utc);
  if (!local) return false;
  out = *local;
  return true;
}

namespace {

struct Token {
  std::string_view text;
  size_t end;  // position just after the token in the line
};

// Up to nine whitespace-separated tokens of a line with their end positions, without allocating.
struct Tokens {
  static constexpr size_t kMax = 9;
  std::array<Token, kMax> at;
  size_t size = 0;
};

void tokens(std::string_view line, size_t maxTokens, Tokens& out) {
  out.size = 0;
  size_t i = 0;
  while (i < line.size() && out.size < maxTokens) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    out.at[out.size++] = {line.substr(start, i - start), i};
  }
}

int monthIndex(std::string_view s) {
  if (s.size() != 3) return 0;
  // The three letters, lower-cased, as one number compared against the twelve month names.
  const auto key = [](char a, char b, char c) {
    return static_cast<uint32_t>(static_cast<unsigned char>(lower(a))) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(lower(b))) << 8 |
           static_cast<unsigned char>(lower(c));
  };
  static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
  const uint32_t k = key(s[0], s[1], s[2]);
  for (size_t m = 0; m < kMonths.size(); ++m) {
    if (key(kMonths[m][0], kMonths[m][1], kMonths[m][2]) == k) return static_cast<int>(m) + 1;
  }
  return 0;
}

// "HH:MM" -> hour, minute.
bool parseClock(std::string_view s, int& hour, int& minute) {
  const size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() - colon - 1 != 2) return false;
  return toNumber(s.substr(0, colon), hour) && toNumber(s.substr(colon + 1), minute) && hour <= 23 &&
         minute <= 59;
}

bool parseUnixLine(std::string_view line, const std::optional<fsys::CalendarTime>& today, FindData& out) {
  if (line.size() < 10) return false;
  const char type = line[0];
  if (std::string_view("-dlcbps").find(type) == std::string_view::npos) return false;
  // perms links owner [group] size month day time-or-year name: the month token is the anchor, so
  // listings without a group column and names with spaces both parse.
  Tokens tk;
  tokens(line, Tokens::kMax, tk);
  const auto& t = tk.at;
  for (size_t m = 3; m + 2 < tk.size; ++m) {
    const int month = monthIndex(t[m].text);
    int day = 0;
    if (!month || !toNumber(t[m + 1].text, day) || day < 1 || day > 31) continue;
    uint64_t size = 0;
    if (!toNumber(t[m - 1].text, size)) continue;
    fsys::CalendarTime when{0, month, day, 0, 0, 0};
    const std::string_view yt = t[m + 2].text;
    if (yt.size() == 4 && allDigits(yt)) {
      when.year = digits(yt, 0, 4);
    } else if (parseClock(yt, when.hour, when.minute)) {
      // No year: the date is within the last months, so it is this year unless that lies ahead.
      if (!today) continue;
      when.year = today->year;
      if (month * 32 + day > today->month * 32 + today->day + 1) --when.year;
    } else {
      continue;
    }
    const size_t nameStart = t[m + 2].end + 1;
    if (nameStart >= line.size()) return false;
    std::string_view name = line.substr(nameStart);
    if (type == 'l') {
      const size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    }
    if (name.empty()) return false;  // a link without a name of its own
    out = FindData{};
    out.name = std::string(name);
    out.size = size;
    out.lastWrite = when;
    out.lastWriteValid = validDate(when);
    out.attributes = type == 'd'   ? kAttrDirectory
                     : type == '-' ? kAttrNormal
                     : type == 'l' ? kAttrLink
                                   : kAttrDevice;
    return true;
  }
  return false;
}

// "MM-DD-YY  hh:mmAM  <DIR>  name", "MM-DD-YYYY hh:mmPM size name", "YYYY-MM-DD hh:mm size name".
bool parseDosLine(std::string_view line, FindData& out) {
  Tokens tk;
  tokens(line, 3, tk);
  if (tk.size < 3) return false;
  const auto& t = tk.at;
  const std::string_view d = t[0].text;
  fsys::CalendarTime when;
  if (d.size() == 10 && d[4] == '-' && d[7] == '-' && allDigits(d.substr(0, 4)) &&
      allDigits(d.substr(5, 2)) && allDigits(d.substr(8, 2))) {
    when.year = digits(d, 0, 4), when.month = digits(d, 5, 2), when.day = digits(d, 8, 2);
  } else if ((d.size() == 8 || d.size() == 10) && d[2] == '-' && d[5] == '-' && allDigits(d.substr(0, 2)) &&
             allDigits(d.substr(3, 2)) && allDigits(d.substr(6))) {
    when.month = digits(d, 0, 2), when.day = digits(d, 3, 2);
    when.year = digits(d, 6, d.size() - 6);
    if (d.size() == 8) when.year += when.year < 70 ? 2000 : 1900;
  } else {
    return false;
  }
  std::string_view clock = t[1].text;
  bool pm = false, am = false;
  if (clock.size() > 2 && (equalsNoCase(clock.substr(clock.size() - 2), "pm") ||
                           equalsNoCase(clock.substr(clock.size() - 2), "am"))) {
    pm = equalsNoCase(clock.substr(clock.size() - 2), "pm");
    am = !pm;
    clock.remove_suffix(2);
  }
  if (!parseClock(clock, when.hour, when.minute)) return false;
  if (am || pm) {
    if (when.hour < 1 || when.hour > 12) return false;
    when.hour = when.hour % 12 + (pm ? 12 : 0);
  }
  out = FindData{};
  if (t[2].text == "<DIR>") {
    out.attributes = kAttrDirectory;
  } else if (toNumber(t[2].text, out.size)) {
    out.attributes = kAttrNormal;
  } else {
    return false;
  }
  size_t nameStart = t[2].end;
  while (nameStart < line.size() && (line[nameStart] == ' ' || line[nameStart] == '\t')) ++nameStart;
  if (nameStart >= line.size()) return false;
  out.name = std::string(line.substr(nameStart));
  out.lastWrite = when;
  out.lastWriteValid = validDate(when);
  return true;
}

}  // namespace

void forEachLine(std::string_view data, const std::function<void(std::string_view)>& f) {
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    const size_t next = end == std::string_view::npos ? data.size() : end + 1;
    if (end == std::string_view::npos) end = data.size();
    size_t stop = end;
    if (stop > start && data[stop - 1] == '\r') --stop;
    f(data.substr(start, stop - start));
    start = next;
  }
}

bool parseMlsxLine(std::string_view line, FindData& out) {
  std::string_view facts;
  std::string_view name;
  const size_t sep = line.find("; ");
  if (sep != std::string_view::npos) {
    facts = line.substr(0, sep + 1);
    name = line.substr(sep + 2);
  } else if (!line.empty() && line[0] == ' ') {
    name = line.substr(1);  // an entry without facts
  } else {
    return false;
  }
  if (name.empty()) return false;
  FindData e;
  e.attributes = kAttrNormal;
  while (!facts.empty()) {
    const size_t semi = facts.find(';');
    const std::string_view fact = facts.substr(0, semi);
    facts = semi == std::string_view::npos ? std::string_view{} : facts.substr(semi + 1);
    const size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = fact.substr(0, eq);
    const std::string_view value = fact.substr(eq + 1);
    if (equalsNoCase(key, "type")) {
      if (equalsNoCase(value, "cdir") || equalsNoCase(value, "pdir")) return false;
      if (equalsNoCase(value, "dir")) {
        e.attributes = kAttrDirectory;
      } else if (equalsNoCase(value, "file")) {
        e.attributes = kAttrNormal;
      } else if (startsWithNoCase(value, "os.unix=slink") || startsWithNoCase(value, "os.unix=symlink")) {
        e.attributes = kAttrLink;
      } else {
        e.attributes = kAttrDevice;
      }
    } else if (equalsNoCase(key, "size") || equalsNoCase(key, "sizd")) {
      uint64_t size = 0;
      if (toNumber(value, size)) e.size = size;
    } else if (equalsNoCase(key, "modify")) {
      e.lastWriteValid = parseUtcTime(value, e.lastWrite);
    }
  }
  e.name = std::string(name);
  out = std::move(e);
  return true;
}

namespace {

bool parseListLineOn(std::string_view line, const std::optional<fsys::CalendarTime>& today, FindData& out) {
  if (line.empty()) return false;
  if (line[0] >= '0' && line[0] <= '9') return parseDosLine(line, out);
  return parseUnixLine(line, today, out);
}

}  // namespace

bool parseListLine(std::string_view line, std::time_t now, FindData& out) {
  return parseListLineOn(line, fsys::localTime(now), out);
}

namespace {

// "total 123", the first line of ls -l.
bool isTotalLine(std::string_view line) {
  Tokens tk;
  tokens(line, 3, tk);
  uint64_t n = 0;
  return tk.size == 2 && tk.at[0].text == "total" && toNumber(tk.at[1].text, n);
}

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

// The entries grow with what is parsed: reserving by the line count would ask for the size of an entry
// per line end before a single entry is known.
std::vector<FindData> parseMlsd(std::string_view data) {
  std::vector<FindData> out;
  FindData e;
  forEachLine(data, [&](std::string_view line) {
    if (parseMlsxLine(line, e)) out.push_back(std::move(e));
  });
  return out;
}

std::vector<FindData> parseList(std::string_view data, std::time_t now, bool* errorText) {
  std::vector<FindData> out;
  FindData e;
  bool text = false;
  const auto today = fsys::localTime(now);
  forEachLine(data, [&](std::string_view line) {
    if (parseListLineOn(line, today, e)) {
      out.push_back(std::move(e));
    } else if (out.empty() && !text) {
      text = !isBlank(line) && !isTotalLine(line);
    }
  });
  if (errorText) *errorText = out.empty() && text;
  return out;
}

std::optional<std::vector<FindData>> parseStatListing(const std::vector<std::string>& replies,
                                                      std::time_t now) {
  // "213 End of status", and back to its opening "213-".
  if (replies.empty()) return std::nullopt;
  const std::string& last = replies.back();
  if (last.size() < 4 || last[0] != '2' || !allDigits(std::string_view(last).substr(0, 3)) || last[3] != ' ')
    return std::nullopt;
  const std::string open = last.substr(0, 3) + "-";
  size_t first = replies.size() - 1;
  while (first > 0 && replies[first - 1].compare(0, 4, open) != 0) --first;
  if (first == 0) return std::nullopt;
  std::vector<FindData> out;
  const auto today = fsys::localTime(now);
  FindData e;
  bool self = false;
  for (size_t i = first; i + 1 < replies.size(); ++i) {
    std::string_view line = replies[i];
    if (!line.empty() && line[0] == ' ') line.remove_prefix(1);
    if (isBlank(line) || isTotalLine(line)) continue;
    if (!parseListLineOn(line, today, e) || e.name.find('/') != std::string::npos) return std::nullopt;
    if (e.name == "." || e.name == "..")
      self = true;
    else
      out.push_back(std::move(e));
  }
  if (out.empty() && !self) return std::nullopt;
  return out;
}

}  // namespace ftp
