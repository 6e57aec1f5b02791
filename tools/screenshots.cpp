// Pictures for the README: the main window browsing the demo station, and a report in its viewer.
// Run by scripts/screenshots under xvfb-run, against the demo station's FTP server.
//
//   ostraftp_screenshots DATA_FOLDER OUTPUT_FOLDER [SUFFIX]    (DATA_FOLDER holds INI/ftp_conn.ini)
//
// The pictures are main-window<SUFFIX>.png and report-viewer<SUFFIX>.png.

#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/Main.h"
#include "app/QtUi.h"
#include "app/Widgets.h"
#include "core/FileSys.h"
#include "core/ReportKind.h"
#include "view/Rep_view.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ostraftp"));
  if (argc < 3) {
    std::fprintf(stderr, "usage: ostraftp_screenshots DATA_FOLDER OUTPUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
  const QString suffix = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
  QtUi ui;
  TFormMain form(*fromQ(QString::fromLocal8Bit(argv[1])) + fsys::kSeparator, ui);
  form.show();
  form.TimerStart->stop();  // no connection list: the demo connection is opened directly
  QApplication::processEvents();

  // The demo connection, its objects, the first object with its first line, a daily report chosen.
  form.Settings.setCurrentConnection(0);
  if (!form.Ftp.FtpOpen()) return 1;
  form.setRefreshRequest(true);
  form.N_ServListClick();
  TStringGrid* daily = form.reportGrids()[kindIndex(ReportKind::DailyShort)];
  if (daily->cell(1, 0).empty()) return 1;
  daily->setCurrentCell(daily->rowCount() - 1, 1);
  form.CurrentReportGrid = daily;
  QApplication::processEvents();
  bool ok = form.grab().save(out + QStringLiteral("/main-window") + suffix + QStringLiteral(".png"));

  // The viewer is modal: it is pictured and closed once it is up.
  bool viewed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* viewer = qobject_cast<TFormRep_View*>(QApplication::activeModalWidget());
    if (!viewer) return;
    poll.stop();
    viewed = viewer->grab().save(out + QStringLiteral("/report-viewer") + suffix + QStringLiteral(".png"));
    viewer->close();
  });
  poll.start(50);
  form.ReportListClick(ReportKind::DailyShort);
  ok = ok && viewed;
  form.close();
  std::printf("%s\n", ok ? "screenshots written" : "screenshots failed");
  return ok ? 0 : 1;
}
