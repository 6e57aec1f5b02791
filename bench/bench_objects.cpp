// A server listing a million objects: the connect road's object list (listing, parsing, the list filled)
// through the window, timed and with its peak memory, next to the parts measured alone: the parser over
// the same listing, and the object list filled with as many names.
//
//   bench_objects [COUNT]     (default 1000000) against the test server on loopback; one count per run,
//                             as the peak is the process's

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "app/Main.h"
#include "net/FtpListing.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"

namespace {

using Steady = std::chrono::steady_clock;

double seconds(Steady::time_point t0) {
  return std::chrono::duration<double>(Steady::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
  FtpServer server;
  server.setFaults(R"([{"cmd":"MLSD","action":"many","times":1,"count":)" + std::to_string(count) + "}]");
  TempDir exe;
  RecorderUi ui;
  double road = 0, before = 0, peak = 0;
  int listed = 0;
  {
    TFormMain form(exe.cp1251(), ui);
    ConnectionRecord r;
    r.setName("bench");
    r.setHost("127.0.0.1");
    r.setPort(server.port());
    r.setUser("op");
    r.setPassword("secret");
    form.Settings.setRecord(0, r);
    form.Settings.setConnectionCount(1);
    form.Ftp.setConnections(1);
    if (!form.Ftp.FtpOpen()) return 1;
    before = statusMb("VmRSS:");
    const auto t0 = Steady::now();
    form.setRefreshRequest(true);
    form.N_ServListClick();
    road = seconds(t0);
    peak = statusMb("VmHWM:");
    listed = form.StringGrid1->rowCount();
    form.Ftp.FtpClose();
  }
  if (listed != count) {
    std::printf("the object list holds %d rows, not %d\n", listed, count);
    return 1;
  }

  std::string body;
  for (int i = 0; i < count; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "type=dir;modify=20090305110709; obj%07d\r\n", i);
    body += line;
  }
  auto t1 = Steady::now();
  const auto entries = ftp::parseMlsd(body);
  const double parse = seconds(t1);
  TFormMain empty(exe.cp1251(), ui);
  const double unfilled = statusMb("VmRSS:");
  t1 = Steady::now();
  empty.StringGrid1->setRowCount(count);
  for (int i = 0; i < count; ++i) empty.StringGrid1->setCell(0, i, entries[static_cast<size_t>(i)].name);
  const double fill = seconds(t1);
  const double filled = statusMb("VmRSS:") - unfilled;
  std::printf(
      "object list of %d objects (MLSD, %.0f MB): connect road %.2f s, memory %.0f MB before, peak %.0f MB "
      "(%.0f MB for the list); alone: parsing %.2f s (%zu bytes an entry), filling the list %.2f s (%.0f "
      "MB)\n",
      count, body.size() / 1048576.0, road, before, peak, peak - before, parse, sizeof(ftp::FindData), fill,
      filled);
  return 0;
}
