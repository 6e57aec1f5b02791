// A click on a report date: the file fetched (with its cache copy) or read locally, and the viewer.
#include <gtest/gtest.h>

#include <QListView>
#include <QPushButton>
#include <QStringListModel>

#include "core/FileSys.h"
#include "core/ReportKind.h"
#include "settings/Conn_list.h"
#include "support/FtpServer.h"
#include "support/ListRows.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/Platform.h"
#include "support/PrintToPdf.h"
#include "view/Rep_view.h"
#include "view/ReportText.h"
#include "view/Report_prn.h"
#include "view/RowList.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kLine = "/obj/v1001n1/";

// What the viewer showed: its caption and rows, or nothing when no viewer came.
struct Shown {
  std::string caption;
  Strings rows;
  int listHeight = 0;
};

class ReportTest : public MainWindowFixture {
 protected:
  void connectTo(const FtpServer& server, Access accessMode = Access::ObjectList) {
    MainWindowFixture::connectTo(server.port(), accessMode);
  }

  // Clicks the entry of a row (-1 = the last) in column 1 of the kind's list; expectViewer: a viewer is
  // awaited and closed.
  std::optional<Shown> click(int kind, int row = -1, bool expectViewer = true) {
    TStringGrid* g = form->reportGrids()[kind];  // kind: the list's index
    g->setCurrentCell(row < 0 ? g->rowCount() - 1 : row, 1);
    auto shown = std::make_shared<std::optional<Shown>>();
    if (expectViewer) {
      onModal<TFormRep_View>([shown](TFormRep_View* v) {
        Shown s{v->windowTitle().toStdString(), {}, v->ListBox1->height()};
        s.rows = listRows(v->Rows);
        *shown = s;
        v->BitBtn1->click();
      });
    }
    form->ReportListClick(kReportKinds[kind]);
    return *shown;
  }

  std::string cached(const std::string& below) const {
    const auto p = dir.path() / "REPORT" / "obj" / "v1001n1" / below;
    return std::filesystem::exists(p) ? readBytes(p) : "<none>";
  }
};

TEST_F(ReportTest, EveryKindFetchedShownAndCached) {
  FtpServer server;
  const struct {
    int kind;
    const char* file;
  } cases[] = {{0, "chakr/obj-v1001n1-chakr-2005.03.15-10.txt"},
               {1, "sutkr/obj-v1001n1-sutkr-2005.03.15.txt"},
               {2, "sutko/obj-v1001n1-sutko-2005.03.15.txt"},
               {3, "meskr/obj-v1001n1-meskr-2005.03.txt"},
               {4, "mesko/obj-v1001n1-mesko-2005.03.txt"}};
  for (const auto& c : cases)
    server.putFile(kLine + c.file, std::string("Report ") + c.file + "\r\nline 2\r\n");
  connectTo(server);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    server.clearLog();
    const std::string content = readBytes(server.local(kLine + c.file));
    const auto shown = click(c.kind);
    ASSERT_TRUE(shown.has_value());
    const std::string name = std::string(c.file).substr(6);
    EXPECT_EQ(shown->caption, " Файл  \"" + name + "\"");
    EXPECT_EQ(shown->rows, report::viewerRows(content));
    EXPECT_EQ(shown->listHeight, 3 * 17 + 5);
    EXPECT_EQ(cached(c.file), content);
    const Strings log = server.commands();
    EXPECT_EQ(log.back(), "RETR " + kLine + c.file);
  }
  // A second fetch goes to the server again and replaces the copy. A copy another program holds open
  // cannot be replaced on Windows: it is left as it is, silently, and the report shown all the same.
  server.putFile(kLine + cases[0].file, "new\n");
  ASSERT_TRUE(click(0).has_value());
  EXPECT_EQ(cached(cases[0].file), "new\n");
  server.putFile(kLine + cases[0].file, "newer\n");
  {
    const HeldOpen held(dir.path() / "REPORT" / "obj" / "v1001n1" / cases[0].file);
    const auto shown = click(0);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->rows, report::viewerRows("newer\n"));
  }
  EXPECT_EQ(cached(cases[0].file), kWindows ? "new\n" : "newer\n");
  EXPECT_TRUE(ui.messages.empty());
  // The previous list's highlight went into its hidden column.
  for (int k = 1; k < kReportKindCount; ++k) EXPECT_EQ(form->reportGrids()[k]->currentColumn(), 0) << k;
  EXPECT_EQ(form->CurrentReportGrid, form->StringGrid3);

  // The local folder on the cache root shows the same reports.
  openFirstLocalObject(dir.path() / "REPORT");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto shown = click(c.kind);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->rows, report::viewerRows(fsys::textModeRead(cached(c.file))));
  }
  EXPECT_TRUE(ui.messages.empty());
}

// The operator's road: a click on a date, the viewer, "Печать" to a PDF file whose pages are the
// report's form-feed sections; a cache that cannot be written does not keep the report away.
TEST_F(ReportTest, ClickViewPrint) {
  FtpServer server;
  const std::string file = "sutko/obj-v1001n1-sutko-2005.03.15.txt";
  server.putFile(kLine + file, "Daily report\r\n\fSecond section\r\n\fThird section\r\n");
  connectTo(server);
  writeBytes(dir.path() / "REPORT" / "obj", "a file where the object's cache folder would be");
  onModal<TFormRep_View>([](TFormRep_View* v) {
    v->BitBtn3->click();
    v->BitBtn1->click();
  });
  form->StringGrid5->setCurrentCell(0, 1);
  const auto pages = printedPages([&] { form->StringGrid5Click(); });
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_NE(pages[0].find("Daily report"), std::string::npos);
  EXPECT_NE(pages[1].find("Second section"), std::string::npos);
  EXPECT_NE(pages[2].find("Third section"), std::string::npos);
}

TEST_F(ReportTest, ClicksThatDoNothing) {
  FtpServer server;
  server.putFile(kLine + "sutkr/obj-v1001n1-sutkr-2005.03.15.txt", "r\n");
  connectTo(server);
  server.clearLog();
  TStringGrid* g = form->StringGrid4;
  g->setCurrentCell(0, 0);
  form->ReportListClick(ReportKind::DailyShort);  // the hidden column
  form->Browse.Refreshing = true;
  click(1, 0, false);
  form->Browse.Refreshing = false;
  click(0, 0, false);  // an empty list
  EXPECT_TRUE(server.commands().empty());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReportTest, ZeroLengthReports) {
  FtpServer server;
  server.putFile(kLine + "sutkr/obj-v1001n1-sutkr-2005.03.14.txt", "");
  server.putFile(kLine + "sutkr/obj-v1001n1-sutkr-2005.03.15.txt", "");
  connectTo(server);
  click(1, 1, false);
  click(1, 0, false);
  EXPECT_EQ(ui.texts(), (Strings{"Длина файла obj-v1001n1-sutkr-2005.03.15.txt равна нулю.\r\n Возможно, "
                                 "выполняется запись отчета",
                                 "Длина файла obj-v1001n1-sutkr-2005.03.14.txt равна нулю."}));
  EXPECT_EQ(ui.waitDepthAtLastMessage, 0);
}

TEST_F(ReportTest, FailuresAndTheSecondAttempt) {
  FtpServer server;
  const std::string hourly = "obj-v1001n1-chakr-2005.03.15-10.txt",
                    daily = "obj-v1001n1-sutkr-2005.03.15.txt";
  server.putFile(kLine + "chakr/" + hourly, std::string(4000, 'h'));
  server.putFile(kLine + "sutkr/" + daily, std::string(4000, 'd'));
  connectTo(server);
  const auto logins = [&] {
    const Strings log = server.commands();
    return std::count(log.begin(), log.end(), "USER op");
  };
  const auto retrs = [&] {
    const Strings log = server.commands();
    return std::count_if(log.begin(), log.end(),
                         [](const std::string& l) { return l.rfind("RETR", 0) == 0; });
  };
  const std::string huge =
      R"json([{"cmd":"RETR","action":"reply","code":150,"text":"Opening (268435457 bytes)"}])json";
  const struct {
    const char* name;
    int kind;
    std::string faults;
    bool shown;
    long logins;    // new logins the click made
    long requests;  // RETR sent: never more than two attempts
    Strings message;
  } cases[] = {
      {"hourly: dropped at RETR once", 0, R"([{"cmd":"RETR","action":"drop","times":1}])", true, 1, 2, {}},
      {"daily: dropped at RETR once", 1, R"([{"cmd":"RETR","action":"drop","times":1}])", true, 1, 2, {}},
      {"daily: cut in the middle once", 1, R"([{"cmd":"RETR","action":"cut","times":1}])", true, 1, 2, {}},
      {"hourly: 550 once, reconnects anyway",
       0,
       R"([{"cmd":"RETR","action":"reply","code":550,"times":1}])",
       true,
       1,
       2,
       {}},
      {"daily: 550 once, no reconnect",
       1,
       R"([{"cmd":"RETR","action":"reply","code":550,"times":1}])",
       true,
       0,
       2,
       {}},
      {"daily: 550 always",
       1,
       R"([{"cmd":"RETR","action":"reply","code":550}])",
       false,
       0,
       2,
       {"Файл отчета " + daily + " не прочитан", ""}},
      {"daily: cut always, a read that failed",
       1,
       R"([{"cmd":"RETR","action":"cut"}])",
       false,
       1,
       2,
       {"Файл отчета " + daily + " не прочитан", ""}},
      {"hourly: the server stays away",
       0,
       R"([{"cmd":"RETR","action":"drop"},{"cmd":"CONNECT","action":"drop"}])",
       false,
       0,
       0,
       {"Не удалось восстановить связь с сервером", "Файл отчета " + hourly + " не прочитан"}},
      {"daily: announced larger than the limit, refused at once",
       1,
       huge,
       false,
       0,
       1,
       {"Файл " + daily + " больше 256 МБ и не может быть показан", ""}},
  };
  // The same on five connections (the file fetched ahead on another one): as many attempts, the same
  // outcome; the logins then count the other connections' too.
  for (const int connections : {1, 5})
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name + std::string(connections == 1 ? "" : ", five connections"));
      if (connections == 5 && &c == &cases[0]) {
        form.reset();
        MainWindowFixture::connectTo(server.port(), Access::ObjectList, 5);
      }
      std::filesystem::remove_all(dir.path() / "REPORT" / "obj");
      ui.messages.clear();
      server.setFaults(c.faults);
      server.clearLog();
      const auto shown = click(c.kind, -1, c.shown);
      server.setFaults("[]");
      EXPECT_EQ(shown.has_value(), c.shown);
      if (connections == 1) {
        EXPECT_EQ(logins(), c.logins);
      }
      if (connections == 5 && c.requests == 0) {
        // The server gone on the first connection: an extra one may have asked for the file ahead
        // before it found the server gone too; still never more than two attempts.
        EXPECT_LE(retrs(), 2);
      } else {
        EXPECT_EQ(retrs(), c.requests);
      }
      const std::string file = (c.kind == 0 ? "chakr/" + hourly : "sutkr/" + daily);
      EXPECT_EQ(cached(file), c.shown ? readBytes(server.local(kLine + file)) : "<none>") << "whole or none";
      if (c.message.empty()) {
        EXPECT_TRUE(ui.messages.empty());
      } else {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ((Strings{ui.messages[0].text, ui.messages[0].title}), c.message);
      }
      if (!form->Browse.Connected) {
        ASSERT_TRUE(form->Ftp.FtpReconnect());
      }
    }

  // The kind folder is gone from the server.
  server.remove(kLine + "sutkr");
  ui.messages.clear();
  click(1, -1, false);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ((Strings{ui.messages[0].text, ui.messages[0].title}),
            (Strings{"Не удалось войти в каталог", "Файл отчета " + daily + " не прочитан"}));
}

TEST_F(ReportTest, LocalFolderReadsTextModeAndReportsItsFailures) {
  make();
  TempDir tree;
  const auto line = tree.path() / "obj" / "v1001n1";
  std::filesystem::create_directories(line / "sutkr");
  writeBytes(line / "sutkr" / "obj-v1001n1-sutkr-2005.03.14.txt", "");
  writeBytes(line / "sutkr" / "obj-v1001n1-sutkr-2005.03.15.txt", "A\r\nB\r\n");
  writeBytes(line / "sutkr" / "obj-v1001n1-sutkr-2005.03.16.txt", "x");
  openFirstLocalObject(tree.path());
  std::filesystem::remove(line / "sutkr" / "obj-v1001n1-sutkr-2005.03.16.txt");
  std::optional<Unreadable> locked(std::in_place, line / "sutkr" / "obj-v1001n1-sutkr-2005.03.15.txt");
  const bool root = !locked->works();
  const auto shown = click(1, 1, root);
  click(1, 0, false);
  click(1, 2, false);
  Strings expected;
  if (!root) expected.push_back("Файл отчета obj-v1001n1-sutkr-2005.03.15.txt не прочитан");
  expected.push_back("Длина файла отчета obj-v1001n1-sutkr-2005.03.14.txt равна 0");
  expected.push_back("Не найден файл");
  EXPECT_EQ(ui.texts(), expected);
  EXPECT_EQ(ui.messages.back().title, "Файл отчета obj-v1001n1-sutkr-2005.03.16.txt не прочитан");
  locked.reset();
  ui.messages.clear();
  const auto again = click(1, 1);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->rows, (Strings{"  A", "  B", "  "})) << "CR LF read as LF";
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "REPORT")) << "no cache copy of local reports";
  (void)shown;
}

}  // namespace
