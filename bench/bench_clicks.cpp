// The object click and the line click of the headless window on loopback, against the test server and
// the real servers this machine can run, as medians over many rounds (never only the best run). The
// peers list the same five kind folders over one connection: curl's command-line tool (a process of its
// own each round, which itself may lose a second on a late data connection) and libcurl alone in this
// process. Then single listings, one by one: the slowest of them shows any stall.
//
//   bench_clicks [rounds]     (default 50; the single listings are 200)

#include <curl/curl.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/Main.h"
#include "core/ReportKind.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Stats {
  double median, max;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.back()};
}

const std::string kHome = "/station";
const char* kObjects[] = {"A", "B", "C"};

// Three objects, two lines each, three reports of every kind, an alarm file.
void fill(const FtpServer& server) {
  for (const std::string o : kObjects) {
    server.putFile(kHome + "/" + o + "/" + o + "-alarm.txt", "alarm");
    for (const std::string line : {"v0001n1", "v0001n2"}) {
      for (int k = 0; k < kReportKindCount; ++k) {
        const std::string code(kReportKindCodes[k]);
        for (int d = 1; d <= 3; ++d) {
          char date[32];
          if (k == 0) {
            std::snprintf(date, sizeof date, "2009.03.05-%02d", d);
          } else if (k <= 2) {
            std::snprintf(date, sizeof date, "2009.03.%02d", d);
          } else {
            std::snprintf(date, sizeof date, "2009.%02d", d);
          }
          const std::string name = o + "-" + line + "-" + code + "-" + date + ".txt";
          server.putFile(kHome + "/" + o + "/" + line + "/" + code + "/" + name, std::string(2048, 'r'));
        }
      }
    }
  }
}

void benchmark(FtpServerKind kind, int rounds) {
  FtpServer::Options o;
  o.kind = kind;
  o.home = kHome;
  FtpServer server(o);
  const char* name = ftpServerKindName(kind);
  if (!server.skipReason().empty()) {
    std::printf("%-10s skipped: %s\n", name, server.skipReason().c_str());
    return;
  }
  fill(server);

  TempDir exe;
  RecorderUi ui;
  TFormMain form(exe.cp1251(), ui);
  ConnectionRecord r;
  r.setName("bench");
  r.setHost("127.0.0.1");
  r.setPort(server.port());
  r.setUser(server.user());
  r.setPassword("secret");
  form.Settings.setRecord(0, r);
  form.Settings.setConnectionCount(1);
  if (!form.Ftp.FtpOpen()) {
    std::printf("%-10s cannot connect\n", name);
    return;
  }
  form.setRefreshRequest(true);  // the object list of the open connection, without the dialog
  form.N_ServListClick();

  std::vector<double> objectClicks, lineClicks, peer, bare, listings;
  for (int i = 0; i < rounds; ++i) {
    form.StringGrid1->selectRow(i % form.StringGrid1->rowCount());
    auto t0 = Clock::now();
    form.StringGrid1Click();
    objectClicks.push_back(ms(t0));
    t0 = Clock::now();
    form.StringGrid2Click();
    lineClicks.push_back(ms(t0));
  }
  const std::string line = form.Browse.ObjectPath + "/" + form.Browse.ComputerDir;

  // curl's tool: the five kind folders of the same line over one connection.
  std::string command = "curl -s --ftp-method nocwd -u " + server.user() + ":secret";
  for (int k = 0; k < kReportKindCount; ++k) {
    command += " ftp://127.0.0.1:" + std::to_string(server.port()) + "/%2F" + line.substr(1) + "/" +
               std::string(kReportKindCodes[k]) + "/";
  }
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = Clock::now();
    if (std::system((command + " > /dev/null").c_str()) != 0) {
      std::printf("%-10s curl failed: %s\n", name, command.c_str());
      return;
    }
    peer.push_back(ms(t0));
  }

  // libcurl alone in this process: the same five listings over one connection, its waits bounded as the
  // FTP layer bounds them, so that this peer never loses a second either.
  CURL* c = curl_easy_init();
  CURLM* m = curl_multi_init();
  std::string body;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = Clock::now();
    for (int k = 0; k < kReportKindCount; ++k) {
      const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/%2F" + line.substr(1) +
                              "/" + std::string(kReportKindCodes[k]) + "/";
      if (bareFetch(c, m, url, server.user(), body) != CURLE_OK) return;
    }
    bare.push_back(ms(t0));
  }
  curl_multi_cleanup(m);
  curl_easy_cleanup(c);

  // Single listings of one kind folder, one after another.
  form.Browse.CurrentDirectory = line + "/sutkr";
  for (int i = 0; i < 200; ++i) {
    ftp::FindData e;
    const auto t0 = Clock::now();
    if (!form.Ftp.FtpSetCurrentDirectory(form.Ftp.ConnectionHandle, form.Browse.CurrentDirectory)) break;
    const HINTERNET h = form.Ftp.FtpFindFirstFile(form.Ftp.ConnectionHandle, "*.*", e);
    if (h == kNoHandle) break;
    form.Ftp.InternetCloseHandle(h);
    listings.push_back(ms(t0));
  }
  form.Ftp.FtpClose();
  if (listings.size() != 200 || !ui.messages.empty()) {
    std::printf("%-10s failed: %zu listings, %zu messages\n", name, listings.size(), ui.messages.size());
    return;
  }
  const Stats obj = stats(objectClicks), ln = stats(lineClicks), cu = stats(peer), lc = stats(bare),
              li = stats(listings);
  std::printf(
      "%-10s object click median %5.1f ms (max %5.1f) | line click median %5.1f ms (max %5.1f) | curl tool, "
      "the 5 listings: median %6.1f ms (max %6.1f), line/tool %.2f | libcurl alone: median %5.1f ms (max "
      "%5.1f), line/libcurl %.2f | 200 single listings: median %4.1f ms, max %5.1f ms\n",
      name, obj.median, obj.max, ln.median, ln.max, cu.median, cu.max, ln.median / cu.median, lc.median,
      lc.max, ln.median / lc.median, li.median, li.max);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  std::printf("%d rounds of each click on loopback (a station of 3 objects, 2 lines, 3 reports per kind)\n",
              rounds);
  for (FtpServerKind k :
       {FtpServerKind::Pyftpdlib, FtpServerKind::PureFtpd, FtpServerKind::Vsftpd, FtpServerKind::ProFtpd}) {
    benchmark(k, rounds);
  }
  return 0;
}
