#pragma once
// Directory listings of FTP servers: MLSD (RFC 3659) and LIST in the Unix "ls -l" and the MS-DOS/IIS
// forms, turned into directory entries with the attribute values the callers test (0x10 = directory and
// nothing else). A line that cannot be parsed is skipped, never fatal.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileSys.h"

namespace ftp {

// The same attribute values as local entries; symbolic links are never exactly a directory.
inline constexpr uint32_t kAttrReadOnly = fsys::kAttrReadOnly;
inline constexpr uint32_t kAttrDirectory = fsys::kAttrDirectory;
inline constexpr uint32_t kAttrDevice = 0x40;  // devices, pipes, sockets and other non-files
inline constexpr uint32_t kAttrNormal = fsys::kAttrNormal;
inline constexpr uint32_t kAttrLink = 0x400;

// One directory entry.
struct FindData {
  uint32_t attributes = 0;
  uint64_t size = 0;
  bool lastWriteValid = false;   // the listing gave a time that converts to a calendar time
  fsys::CalendarTime lastWrite;  // as the listing shows it (MLSD's UTC already turned into local time)
  std::string name;              // Windows-1251 bytes as the server sent them

  bool operator==(const FindData&) const = default;
};

// Calls f for every line of data (LF or CR LF ends a line; the last line may lack it).
void forEachLine(std::string_view data, const std::function<void(std::string_view)>& f);

// "YYYYMMDDHHMMSS[.sss]" in UTC (MLSD's modify fact, MDTM's reply) as local time.
[[nodiscard]] bool parseUtcTime(std::string_view v, fsys::CalendarTime& out);

// One MLSD/MLST entry line ("fact=value;...; name"). false for cdir/pdir entries and malformed lines.
bool parseMlsxLine(std::string_view line, FindData& out);

// One LIST line in the Unix or MS-DOS form; now gives the year of Unix dates shown without one.
bool parseListLine(std::string_view line, std::time_t now, FindData& out);

std::vector<FindData> parseMlsd(std::string_view data);
// errorText (when given) is set when no line is an entry but some line is text other than "total N": the
// error message of a server that hands LIST's argument to ls and answers 226 whatever ls said.
std::vector<FindData> parseList(std::string_view data, std::time_t now, bool* errorText = nullptr);

// The listing in the reply lines of a request that ended with "STAT <folder>" (the lines between the
// reply's first and last line, in the "ls -l" form; ProFTPD indents them by a blank). "." and ".." are
// dropped, but they prove an empty folder there. Nothing when the answer is no listing to trust: no
// entry at all (a missing folder, or a server that lists nothing for a path with blanks, also an empty
// folder where the server shows no "."), a line that is neither an entry nor
// "total N" (an error, or ls's output for a path it split at blanks), a name with '/', or a reply whose
// last line does not close what its first line opened.
[[nodiscard]] std::optional<std::vector<FindData>> parseStatListing(const std::vector<std::string>& replies,
                                                                    std::time_t now);

}  // namespace ftp
