#pragma once
// What the station overview shows of each object of a saved connection, and the check of one station
// that finds it out: the same listings and files the main window asks for on an object click and a line
// click, read only. Runs on a thread of its own (see overview/Checker.h).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/FileSys.h"
#include "core/ReportKind.h"
#include "gas/GasFile.h"
#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"
#include "settings/TlsFile.h"

namespace overview {

// Why a station or an object could not be checked (None: it was).
enum class Failure : uint8_t {
  None,
  NameNotFound,  // the host name does not resolve
  Unreachable,   // no connection to the address
  LoginRefused,  // wrong user or password
  TimedOut,      // the server did not answer in time
  TlsUntrusted,  // the server's key needs the operator's answer (never asked here)
  TlsFailed,     // no protected connection could be made
  TlsDemanded,   // the server logs in nobody without TLS
  NoBase,        // the login directory could not be read
  NoObjects,     // no object directories
  Lost,          // the connection dropped midway
  BadName,       // the object's name could not be a folder name: not checked
};

// The gas-parameter file of an object as the main window would judge it.
enum class Gas : uint8_t { Unknown, Values, NoFile, Checksum, Format, ReadFailed };

// The newest report of each kind of one line, as the report lists show their date keys (empty: none).
struct LineReports {
  std::string line;
  std::array<std::string, kReportKindCount> newest;
};

// The time a report's date key names, to the hour (day 1 for monthly, hour 0 for daily keys).
struct ReportHour {
  int year = 0, month = 0, day = 0, hour = 0;
  auto operator<=>(const ReportHour&) const = default;
};
// The time of an hourly list entry (" 2026.12.10  09:00", a trailing "*" allowed); nothing otherwise.
[[nodiscard]] std::optional<ReportHour> hourOfEntry(const std::string& entry);

// One row of the overview: an object of a station, or the station itself when its objects are unknown.
struct ObjectRow {
  std::string object;  // empty: the station's own row (its objects could not be listed)
  Failure failure = Failure::None;
  std::string detail;                       // the program's own message for the failure, if it gave one
  bool listed = false;                      // the object directory was read (alarm and lines known)
  std::optional<fsys::CalendarTime> alarm;  // the alarm file's time, as the main window shows it
  std::vector<LineReports> lines;
  bool reportsListed = false;              // every line's kind folders were read
  std::optional<ReportHour> newestHourly;  // over all lines
  Gas gas = Gas::Unknown;
  GasParameters values;  // when gas == Values
};

// What one station's check tells as it goes: rows of the station (count of them, index of this one) as
// they fill; done when the row will change no more. Called on the checking thread.
struct RowUpdate {
  int station = 0;  // the record's index in the settings file
  int index = 0;
  int count = 1;
  ObjectRow row;
  bool done = false;
};
using RowSink = std::function<void(RowUpdate)>;

// Thrown out of a wait of the checking thread when the check is stopped.
struct Stopped {};

// What one check needs of the program: where the cache copies go and how long to wait for a server.
struct CheckSetup {
  std::string dataFolder;  // ends with a separator; the gas files' cache copies go below its REPORT
  ftp::Timeouts timeouts;
  int connections = 3;             // per server
  ftp::TranscriptSink transcript;  // the benchmarks' command log (may be empty)
};

// Checks the saved connection `record` of settings (TLS choice and pinned key from tls) and reports its
// rows to sink; returns when all are done. Throws Stopped once stop is set (within a few tens of ms).
// Any other failure (out of memory) ends the rows not done as lost.
void checkStation(const SettingsFile& settings, int record, const TlsFile& tls, const CheckSetup& setup,
                  const std::atomic<bool>& stop, const RowSink& sink);

}  // namespace overview
