#include "support/StationTree.h"

#include <ctime>

#include "gas/GasFile.h"

long long StationTree::alarmUtc() {
  static const long long t = static_cast<long long>(std::time(nullptr)) / 60 * 60 - 7200;  // one per run
  return t;
}

void StationTree::make(const FtpServer& server, const std::string& base) {
  const std::string o1 = base + "/obj1", o2 = base + "/obj2";
  const std::string l1 = o1 + "/v0001n1/", l2 = o1 + "/v0001n2/";
  const std::string report(40, 'r');  // 20 bytes and more: no "*" in the list
  for (const char* name : {"obj1-v0001n1-chakr-2026.12.10-08.txt", "obj1-v0001n1-chakr-2026.12.10-09.txt",
                           "obj1-v0001n1-chakr-2026.12.09-23.txt", "other-v0001n1-chakr-2026.12.11-00.txt"})
    server.putFile(l1 + "chakr/" + name, report);
  server.putFile(l1 + "sutkr/obj1-v0001n1-sutkr-2026.12.09.txt", report);
  server.putFile(l1 + "sutko/obj1-v0001n1-sutko-2026.12.08.txt", "short");
  server.putFile(l1 + "meskr/obj1-v0001n1-meskr-2026.11.txt", report);
  server.makeDir(l1 + "mesko");
  server.putFile(l2 + "chakr/obj1-v0001n2-chakr-2026.12.10-07.txt", report);
  server.putFile(o1 + "/obj1-alarm.txt", "alarm");
  server.setTime(o1 + "/obj1-alarm.txt", alarmUtc());
  server.putFile(o1 + "/obj1-gaspar.txt", gas::composeFile({0.68f, 0.5f, 1.25f, 745.0f}));
  std::string bad = gas::composeFile({0.7f, 1.0f, 2.0f, 750.0f});
  char& digit = bad[bad.find("0x") + 2];
  digit = digit == '0' ? '1' : '0';
  server.putFile(o2 + "/obj2-gaspar.txt", bad);
}
