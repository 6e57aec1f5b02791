// Opening a report of 1 MB on the loopback test server: the click on its date through the download, the
// cache copy and the viewer's rows built, timed next to libcurl alone downloading the same file over one
// connection (its waits bounded as the FTP layer bounds them). Medians over the rounds, and the ratio.
//
//   bench_report [rounds]                  (default 20) against the test server on loopback
//   bench_report ROUNDS HOST PORT ROOT     against a running test server (ftpd.py --host HOST) over ROOT,
//                                          for example across the delayed link of slowlink.py

#include <curl/curl.h>

#include <QApplication>
#include <QStringListModel>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/Main.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"
#include "view/Rep_view.h"
#include "view/RowList.h"

namespace {

using Steady = std::chrono::steady_clock;

double ms(Steady::time_point t0) {
  return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A daily commercial report of 1 MB: table lines of 78 characters, a form feed every 60 lines.
std::string sampleReport() {
  std::string text;
  for (int line = 0; text.size() < (1u << 20); ++line) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "| %5d | %10.3f | %10.3f | %10.3f | %10.3f | %12.2f |\r\n", line % 10000,
                  line * 0.5, line * 0.25, line * 1.5, line * 0.75, line * 12.5);
    text += buf;
    if (line % 60 == 59) text += '\f';
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const std::string name = "A-v0017n1-sutko-2009.03.05.txt";
  const std::string path = "/A/v0017n1/sutko/" + name;
  const std::string text = sampleReport();
  std::unique_ptr<FtpServer> local;
  std::string host = "127.0.0.1";
  int port = 0;
  if (argc > 4) {
    host = argv[2];
    port = std::atoi(argv[3]);
    const auto file = std::filesystem::path(argv[4]) / path.substr(1);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  } else {
    local = std::make_unique<FtpServer>();
    local->putFile(path, text);
    port = local->port();
  }

  TempDir exe;
  RecorderUi ui;
  TFormMain form(exe.cp1251(), ui);
  if (!openLineA(form, host, port, "op")) return 1;
  form.StringGrid2Click();
  form.StringGrid5->setCurrentCell(0, 1);

  // The viewer closes as soon as it is up; its rows are built before it shows.
  int rows = 0;
  QTimer closer;
  closer.setInterval(0);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* v = qobject_cast<TFormRep_View*>(QApplication::activeModalWidget())) {
      rows = v->Rows->rowCount();
      v->accept();
    }
  });
  closer.start();
  std::vector<double> opens;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = Steady::now();
    form.StringGrid5Click();
    opens.push_back(ms(t0));
  }
  closer.stop();
  if (!ui.messages.empty() || rows == 0) {
    std::printf("the report did not open\n");
    return 1;
  }

  CURL* c = curl_easy_init();
  CURLM* m = curl_multi_init();
  std::vector<double> bare;
  const std::string url = "ftp://" + host + ":" + std::to_string(port) + "/%2FA/v0017n1/sutko/" + name;
  for (int i = 0; i < rounds; ++i) {
    std::string body;
    const auto t0 = Steady::now();
    if (bareFetch(c, m, url, "op", body) != CURLE_OK) return 1;
    if (i > 0) bare.push_back(ms(t0));  // the first round logs in
    if (body.size() != text.size()) return 1;
  }
  curl_multi_cleanup(m);
  curl_easy_cleanup(c);
  std::printf(
      "report of %zu bytes (%d viewer rows), %d rounds: open (download, cache copy, viewer) median %.1f ms; "
      "libcurl alone downloading it median %.1f ms; ratio %.2f\n",
      text.size(), rows, rounds, median(opens), median(bare), median(opens) / median(bare));
  form.Ftp.FtpClose();
  return 0;
}
