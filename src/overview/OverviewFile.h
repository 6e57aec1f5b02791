#pragma once
// INI/overview.ini: what the station overview remembers between runs, apart from the settings file.
// A text file of lines (CR LF or LF), Windows-1251, written whole and atomically, read tolerantly: a
// line it cannot read is passed over, a missing or unreadable file gives the defaults (so does one past
// 1 MiB, which the program never writes; the next save() replaces it).
//
//   [overview]                      the section of the options
//   stale_hours=<1..240>            rows whose newest hourly report is older stand out (default 2)
//   [seen]                          the last alarm time the overview showed, per object
//   <host>|<port>|<user>|<object>=<YYYY-MM-DD HH:MM:SS>
//
// In a [seen] key "%", "|", "=", "[", "]", ";" and bytes below 0x20 are written as "%XX" (two upper-case
// hex digits), so that any host, user or object name reads back as it was. Lines starting with ";" are
// comments. Entries of objects no longer checked are kept. Of duplicate keys the last line counts; a
// stale_hours out of range or not a number is passed over like any line it cannot read.

#include <map>
#include <string>
#include <tuple>

#include "core/FileSys.h"

namespace overview {

class OverviewFile {
 public:
  static constexpr int kDefaultStaleHours = 2;
  static constexpr int kMinStaleHours = 1;
  static constexpr int kMaxStaleHours = 240;

  // host, port (low 16 bits), user, object.
  using Key = std::tuple<std::string, unsigned, std::string, std::string>;

  // Reads path (Windows-1251 bytes); the path is kept for save().
  void load(std::string path);
  // Writes every entry atomically (one whose time is not a valid calendar time is left out: it could not
  // be read back); false when the file cannot be written (the previous one stays whole).
  [[nodiscard]] bool save() const;

  [[nodiscard]] int staleHours() const { return staleHours_; }
  // Kept within kMinStaleHours..kMaxStaleHours.
  void setStaleHours(int hours);

  [[nodiscard]] const fsys::CalendarTime* seen(const Key& k) const;
  void setSeen(const Key& k, const fsys::CalendarTime& t) { seen_[k] = t; }
  [[nodiscard]] size_t size() const { return seen_.size(); }

 private:
  std::string path_;
  int staleHours_ = kDefaultStaleHours;
  std::map<Key, fsys::CalendarTime> seen_;
};

}  // namespace overview
