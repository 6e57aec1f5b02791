#pragma once
// The tests that show times run in one fixed zone with a real offset (UTC+3, and UTC+3/+4 before 2011),
// whatever the machine's zone, so that UTC-to-local conversions are visible. Child processes (the FTP
// test server) inherit it.

#include <cstdlib>
#include <ctime>

inline void useTestTimeZone() {
  setenv("TZ", "Europe/Moscow", 1);
  tzset();
}
