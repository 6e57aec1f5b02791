// Catalogue build against the loopback FTP test server: one line with 2,000 reports in each of the five
// kinds. Prints the time of the line click (headless window) next to the time libcurl alone needs to
// list the same five folders over one connection, best and median, and their ratios. libcurl alone runs
// through curl_easy_perform and may lose a second on a late data connection: see bench_clicks.

#include <curl/curl.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/Main.h"
#include "core/ReportKind.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"

namespace {

constexpr int kReports = 2000;
constexpr int kRounds = 9;

size_t discard(char*, size_t size, size_t n, void* total) {
  *static_cast<size_t*>(total) += size * n;
  return size * n;
}

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  FtpServer server;
  const std::string line = "/A/v0017n1/";
  for (int k = 0; k < kReportKindCount; ++k) {
    const std::string code(kReportKindCodes[k]);
    server.makeDir(line + code);
    for (int i = 0; i < kReports; ++i) {
      char name[96];
      const int y = 2000 + i / 372, m = i / 31 % 12 + 1, d = i % 31 + 1;
      if (k == 0) {
        std::snprintf(name, sizeof name, "A-v0017n1-chakr-%04d.%02d.%02d-%02d.txt", 2009 + i / 8928,
                      i / 744 % 12 + 1, i / 24 % 31 + 1, i % 24);
      } else if (k <= 2) {
        std::snprintf(name, sizeof name, "A-v0017n1-%s-%04d.%02d.%02d.txt", code.c_str(), y, m, d);
      } else {
        std::snprintf(name, sizeof name, "A-v0017n1-%s-%04d.%02d.txt", code.c_str(), 1000 + i / 12,
                      i % 12 + 1);
      }
      server.putFile(line + code + "/" + name, std::string(24, 'r'));
    }
  }

  TempDir exe;
  RecorderUi ui;
  TFormMain form(exe.cp1251(), ui);
  if (!openLineA(form, "127.0.0.1", server.port(), "op")) return 1;

  std::vector<double> clicks;
  for (int round = 0; round < kRounds; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    form.StringGrid2Click();
    clicks.push_back(seconds(t0));
  }
  int entries = 0;
  for (TStringGrid* g : form.reportGrids()) entries += g->rowCount();

  // libcurl alone: one connection, the five listings.
  CURL* c = curl_easy_init();
  const std::string root = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";
  std::vector<double> bares;
  size_t bytes = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < kReportKindCount; ++k) {
      const std::string request = "MLSD " + line + std::string(kReportKindCodes[k]);
      curl_easy_setopt(c, CURLOPT_URL, root.c_str());
      curl_easy_setopt(c, CURLOPT_USERNAME, "op");
      curl_easy_setopt(c, CURLOPT_PASSWORD, "secret");
      curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
      curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.c_str());
      curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
      curl_easy_setopt(c, CURLOPT_WRITEDATA, &bytes);
      if (curl_easy_perform(c) != CURLE_OK) return 1;
    }
    bares.push_back(seconds(t0));
  }
  curl_easy_cleanup(c);
  const double click = *std::min_element(clicks.begin(), clicks.end());
  const double bare = *std::min_element(bares.begin(), bares.end());
  std::printf(
      "catalogue of %d reports x 5 kinds (%d entries listed), %d rounds: StringGrid2Click best %.1f ms, "
      "median %.1f ms; libcurl listing alone best %.1f ms, median %.1f ms; ratio of the best %.2f, of "
      "the medians %.2f\n",
      kReports, entries, kRounds, click * 1e3, median(clicks) * 1e3, bare * 1e3, median(bares) * 1e3,
      click / bare, median(clicks) / median(bares));
  form.Ftp.FtpClose();
  return 0;
}
