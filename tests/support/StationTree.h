#pragma once
// A station's tree on a test server, as the overview's tests expect it: object "obj1" with an alarm
// file, good gas parameters and two lines (v0001n1 with reports of every kind, v0001n2 with one hourly
// report and no other kind folder); object "obj2" without lines, whose gas file fails its checksum.

#include <string>

#include "support/FtpServer.h"

struct StationTree {
  // Below base ("" = the root): base/obj1, base/obj2.
  static void make(const FtpServer& server, const std::string& base = "");
  static constexpr const char* kNewestHourly = "2026.12.10  09:00";
  // The alarm file's time: two hours ago, to the minute, so that servers listing through ls show it
  // with its time of day (not only its year) and exact to the second.
  static long long alarmUtc();
};
