#include "overview/OverviewFile.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "core/Text.h"

namespace overview {

namespace {

// A few hundred objects need some tens of kilobytes; a larger file was not written by the program.
constexpr size_t kMaxFileBytes = 1 << 20;

bool escaped(unsigned char b) {
  return b < 0x20 || b == '%' || b == '|' || b == '=' || b == '[' || b == ']' || b == ';';
}

std::string escape(const std::string& s) {
  return text::percentEscape(s, escaped);
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  for (size_t at = s.find(sep); at != std::string_view::npos; at = s.find(sep)) {
    out.push_back(s.substr(0, at));
    s.remove_prefix(at + 1);
  }
  out.push_back(s);
  return out;
}

bool validTime(const fsys::CalendarTime& t) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12) return false;
  const bool leap = t.year % 4 == 0 && (t.year % 100 != 0 || t.year % 400 == 0);
  const int days = kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
  return t.day >= 1 && t.day <= days && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
         t.second >= 0 && t.second <= 59;
}

// "YYYY-MM-DD HH:MM:SS" naming a real calendar time; nothing otherwise.
std::optional<fsys::CalendarTime> parseTime(std::string_view s) {
  static constexpr std::string_view kShape = "0000-00-00 00:00:00";
  if (s.size() != kShape.size()) return std::nullopt;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool digit = s[i] >= '0' && s[i] <= '9';
    if (kShape[i] == '0' ? !digit : s[i] != kShape[i]) return std::nullopt;
  }
  const auto num = [&](size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; ++i) v = v * 10 + (s[i] - '0');
    return v;
  };
  const fsys::CalendarTime t{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2)};
  if (!validTime(t)) return std::nullopt;
  return t;
}

std::string formatTime(const fsys::CalendarTime& t) {
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return out;
}

enum class Section : uint8_t { None, Options, Seen };

}  // namespace

void OverviewFile::load(std::string path) {
  path_ = std::move(path);
  staleHours_ = kDefaultStaleHours;
  seen_.clear();
  const auto bytes = fsys::readFile(path_, kMaxFileBytes + 1);
  // Missing, unreadable or too large: the defaults, and the next save() writes the file anew.
  if (!bytes || bytes->size() > kMaxFileBytes) return;
  Section section = Section::None;
  for (std::string_view line : split(*bytes, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::string name = text::trimBlanks(line);
      section = name == "[overview]" ? Section::Options : name == "[seen]" ? Section::Seen : Section::None;
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string value = text::trimBlanks(line.substr(eq + 1));
    if (section == Section::Options) {
      const auto hours = text::parseInteger(value);
      if (text::trimBlanks(line.substr(0, eq)) == "stale_hours" && hours && *hours >= kMinStaleHours &&
          *hours <= kMaxStaleHours) {
        staleHours_ = *hours;
      }
    } else if (section == Section::Seen) {
      // The key is taken as it stands: blanks may begin or end a name.
      const auto f = split(line.substr(0, eq), '|');
      if (f.size() != 4) continue;
      const auto host = text::percentUnescape(f[0]), user = text::percentUnescape(f[2]),
                 object = text::percentUnescape(f[3]);
      const auto port = text::parseInteger(f[1]);
      const auto time = parseTime(value);
      if (!host || !user || !object || !port || *port < 0 || *port > 65535 || !time) continue;
      seen_[{*host, static_cast<unsigned>(*port), *user, *object}] = *time;
    }
  }
}

bool OverviewFile::save() const {
  std::string out = "[overview]\r\nstale_hours=" + std::to_string(staleHours_) + "\r\n[seen]\r\n";
  for (const auto& [k, t] : seen_) {
    if (!validTime(t)) continue;  // it could not be read back
    out += escape(std::get<0>(k)) + '|' + std::to_string(std::get<1>(k) & 0xFFFFu) + '|' +
           escape(std::get<2>(k)) + '|' + escape(std::get<3>(k)) + '=' + formatTime(t) + "\r\n";
  }
  return fsys::writeFileAtomic(path_, out, false);
}

void OverviewFile::setStaleHours(int hours) {
  staleHours_ = std::clamp(hours, kMinStaleHours, kMaxStaleHours);
}

const fsys::CalendarTime* OverviewFile::seen(const Key& k) const {
  const auto at = seen_.find(k);
  return at == seen_.end() ? nullptr : &at->second;
}

}  // namespace overview
