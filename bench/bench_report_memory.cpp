// Memory and time of opening a large report, whatever its line structure: the click on its date through
// the download from the loopback test server, the cache copy and the viewer, for reports of blank lines
// (the most line ends per byte) and of table lines. Goal: peak memory at most about 60 MB + 4 x N for a
// report of N bytes, the viewer open within a second for 16 MB.
//
//   bench_report_memory KIND MB [print]   KIND: lf (blank lines, LF), crlf (blank lines, CR LF), table,
//                                         or alarm (an alarm file of short messages, opened with
//                                         "Смотреть"); print: then "Печать" into a PDF file, timed
//
// One report per run: the peak is the process's (VmHWM), so each size is measured in a fresh process.

#include <QApplication>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "app/Main.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"
#include "view/Report_prn.h"
#include "view/TextViewer.h"

namespace {

std::string makeReport(const std::string& kind, size_t bytes) {
  if (kind == "lf") return std::string(bytes, '\n');
  std::string text;
  text.reserve(bytes + 100);
  if (kind == "crlf" || kind == "alarm") {
    while (text.size() < bytes) text += kind == "crlf" ? "\r\n" : "05.03.09 14:07:01 x\n";
    return text;
  }
  for (int line = 0; text.size() < bytes; ++line) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "| %5d | %10.3f | %10.3f | %10.3f |\r\n", line % 10000, line * 0.5,
                  line * 0.25, line * 1.5);
    text += buf;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string kind = argc > 1 ? argv[1] : "lf";
  const size_t mb = argc > 2 ? static_cast<size_t>(std::atoi(argv[2])) : 16;
  const bool print = argc > 3 && std::string(argv[3]) == "print";
  const std::string name = "A-v0017n1-sutko-2009.03.05.txt";
  FtpServer server;
  {
    const std::string text = makeReport(kind, mb << 20);
    server.putFile(kind == "alarm" ? "/A/A-alarm.txt" : "/A/v0017n1/sutko/" + name, text);
    if (kind == "alarm") server.putFile("/A/v0017n1/sutko/" + name, "r");
  }
  TempDir exe;
  RecorderUi ui;
  TFormMain form(exe.cp1251(), ui);
  if (!openLineA(form, "127.0.0.1", server.port(), "op")) return 1;
  form.StringGrid2Click();
  form.StringGrid5->setCurrentCell(0, 1);
  form.Browse.AlarmFileName = "A-alarm.txt";

  int rows = 0;
  double shownAfter = 0, printing = 0;
  setPrintDialog([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString((exe.path() / "out.pdf").string()));
    return true;
  });
  const auto t0 = std::chrono::steady_clock::now();
  QTimer closer;
  closer.setInterval(0);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* v = qobject_cast<TextViewer*>(QApplication::activeModalWidget())) {
      shownAfter = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      rows = v->Rows->rowCount();
      if (print) {
        const auto t1 = std::chrono::steady_clock::now();
        v->BitBtn3->click();
        printing = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
      }
      v->accept();
    }
  });
  const double before = statusMb("VmRSS:");
  closer.start();
  if (kind == "alarm") {
    form.BitBtn3Click();
  } else {
    form.StringGrid5Click();
  }
  closer.stop();
  const double peak = statusMb("VmHWM:");
  if (!ui.messages.empty() || rows == 0) {
    std::printf("the report did not open\n");
    return 1;
  }
  if (print) std::printf("printed to a PDF in %.2f s; ", printing);
  const double n = static_cast<double>(mb);
  std::printf(
      "%s report of %zu MB (%d rows): open (download, cache copy, viewer shown) %.2f s; memory %.0f MB "
      "before, peak %.0f MB: %.0f MB for the report (goal 60 + 4 x %zu = %.0f MB)\n",
      kind.c_str(), mb, rows, shownAfter, before, peak, peak - before, mb, 60 + 4 * n);
  form.Ftp.FtpClose();
  return 0;
}
