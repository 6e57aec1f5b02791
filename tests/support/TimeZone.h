#pragma once
// The tests that show times run in one fixed zone with a real offset, whatever the machine's zone, so
// that UTC-to-local conversions are visible: Moscow time, UTC+3 (and UTC+3/+4 before 2011 on Linux; the C
// runtime of Windows knows no zone names and no past rules, so a workstation set to Moscow time shows
// UTC+3 for every date there). The Linux programs the tests start (the FTP test servers) run in it too.

#include <cstdlib>
#include <ctime>

#include "support/HostProcess.h"

inline void useTestTimeZone() {
#ifdef _WIN32
  _putenv_s("TZ", "MSK-3");
  _tzset();
  setHostEnvironment("TZ", "Europe/Moscow");
#else
  setenv("TZ", "Europe/Moscow", 1);
  tzset();
#endif
}

// Seconds since the epoch of a UTC calendar time.
inline long long utcSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
#ifdef _WIN32
  return _mkgmtime(&t);
#else
  return timegm(&t);
#endif
}
