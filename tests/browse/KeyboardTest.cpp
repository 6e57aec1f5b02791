// The lists choose what the operator highlights, with the keyboard as with the mouse: the connection
// list, the object list and the line list run their click handlers on every change of the current row;
// the report lists only move the highlight until Enter.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "settings/Conn_list.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "view/Rep_view.h"

namespace {

using Strings = std::vector<std::string>;

QPoint rowCenter(const TStringGrid* g, int row) {
  return g->visualRect(g->model()->index(row, 0)).center();
}

// A left-button press on one row and the release on another, the mouse moved between them.
void pressAndRelease(TStringGrid* g, int pressRow, int releaseRow) {
  const QPoint to = rowCenter(g, releaseRow);
  QTest::mousePress(g->viewport(), Qt::LeftButton, {}, rowCenter(g, pressRow));
  QMouseEvent move(QEvent::MouseMove, to, g->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(g->viewport(), &move);
  QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, to);
}

class KeyboardTest : public MainWindowFixture {
 protected:
  // Records "one", "two", "three", all for the test server; they differ by name only.
  void threeConnections(const FtpServer& server) {
    make();
    useServer(server.port());
    ConnectionRecord r = form->Settings.record(0);
    for (int i = 0; i < 3; ++i) {
      r.setName(Strings{"one", "two", "three"}[i]);
      form->Settings.setRecord(i, r);
    }
    form->Settings.setConnectionCount(3);
  }

  Strings savedNames() const {
    Strings out;
    for (int i = 0; i < form->Settings.connectionCount(); ++i) out.push_back(form->Settings.record(i).name());
    return out;
  }

  // The main window on the test server, shown so that the keyboard focus is real.
  void connectTo(const FtpServer& server) {
    make();
    useServer(server.port());
    form->show();
    form->TimerStart->stop();
    onModal<TFormConn_List>([](TFormConn_List* l) { l->BitBtn1->click(); });
    form->N_ServListClick();
  }

  // A key pressed where the operator's keyboard goes: the window's focus widget.
  void key(Qt::Key k) {
    QWidget* target = form->focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, k);
  }

  void TearDown() override {
    if (form) form->close();
    MainWindowFixture::TearDown();
  }
};

TEST_F(KeyboardTest, ConnectionListChoosesTheHighlightedRecord) {
  FtpServer server;
  threeConnections(server);
  onModal<TFormConn_List>([this](TFormConn_List* l) {
    EXPECT_EQ(l->SelectedRow, 0);
    QTest::keyClick(l->StringGrid1, Qt::Key_Down);
    QTest::keyClick(l->StringGrid1, Qt::Key_Down);
    EXPECT_EQ(l->SelectedRow, 2);
    ui.answers = {true};
    l->BitBtn5->click();
    EXPECT_EQ(ui.messages.back().title, "three") << "the question names the highlighted record";
    EXPECT_EQ(savedNames(), (Strings{"one", "two"}));
    EXPECT_EQ(l->SelectedRow, 1);
    QTest::keyClick(l->StringGrid1, Qt::Key_Home);
    EXPECT_EQ(l->SelectedRow, 0);
    QTest::keyClick(l->StringGrid1, Qt::Key_End);
    EXPECT_EQ(l->SelectedRow, 1);
    pressAndRelease(l->StringGrid1, 1, 0);
    EXPECT_EQ(l->SelectedRow, 0) << "the row under the release";
    QTest::mouseClick(l->StringGrid1->viewport(), Qt::RightButton, {}, rowCenter(l->StringGrid1, 1));
    EXPECT_EQ(l->StringGrid1->currentRow(), 0) << "the right button moves nothing";
    QTest::keyClick(l->StringGrid1, Qt::Key_Down);
    QTest::keyClick(l->StringGrid1, Qt::Key_Up);
    l->BitBtn1->click();
    if (l->isVisible()) l->BitBtn6->click();
  });
  form->N_ServListClick();
  EXPECT_TRUE(form->Browse.Connected);
  EXPECT_EQ(form->Settings.currentConnection(), 0);
  EXPECT_EQ(form->windowTitle().toStdString(), " Просмотр/печать  отчетов:  FTP-сервер \"one\"");

  // A double click chooses the row and connects, once.
  server.clearLog();
  onModal<TFormConn_List>([](TFormConn_List* l) {
    // What the window system sends for a double click: press, release, double click, release.
    const QPoint at = rowCenter(l->StringGrid1, 1);
    QTest::mouseClick(l->StringGrid1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(l->StringGrid1->viewport(), Qt::LeftButton, {}, at);
    if (l->isVisible()) QTest::mouseRelease(l->StringGrid1->viewport(), Qt::LeftButton, {}, at);
    if (l->isVisible()) l->BitBtn6->click();
  });
  form->N_ServListClick();
  EXPECT_EQ(form->Settings.currentConnection(), 1);
  const Strings log = server.commands();
  EXPECT_EQ(std::count(log.begin(), log.end(), "USER op"), 1);
}

TEST_F(KeyboardTest, ObjectAndLineListsShowWhatTheKeysHighlight) {
  FtpServer server;
  const Strings objects{"a", "b", "c"};
  for (const auto& o : objects) {
    for (const char* line : {"v0001n1", "v0001n2"}) {
      const std::string name = o + "-" + line + "-sutkr-2009.03.05.txt";
      server.putFile("/" + o + "/" + line + "/sutkr/" + name, "r");
    }
    server.putFile("/" + o + "/" + o + "-alarm.txt", "x");
  }
  server.makeDir("/d");  // no lines
  connectTo(server);
  ASSERT_EQ(form->focusWidget(), form->StringGrid1);
  const Strings listed = column(form->StringGrid1);
  ASSERT_EQ(listed.size(), 4u);

  // After each key: the highlighted object is the one whose lines and reports are shown.
  const struct {
    Qt::Key key;
    int row;  // expected current row; -1 = the last
  } steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2},      {Qt::Key_Up, 1},    {Qt::Key_End, -1},
               {Qt::Key_Home, 0}, {Qt::Key_PageDown, -1}, {Qt::Key_PageUp, 0}};
  for (const auto& s : steps) {
    key(s.key);
    const int row = s.row < 0 ? 3 : s.row;
    const std::string& o = listed[row];
    SCOPED_TRACE(o);
    EXPECT_EQ(form->StringGrid1->currentRow(), row);
    EXPECT_EQ(form->Browse.ObjectName, o);
    EXPECT_EQ(form->focusWidget(), form->StringGrid1) << "the next key moves in the object list again";
    if (o == "d") {
      EXPECT_EQ(column(form->StringGrid2), Strings{""});
      EXPECT_EQ(column(form->StringGrid4, 1), Strings{""});
      continue;
    }
    EXPECT_EQ(form->Browse.AlarmFileName, o + "-alarm.txt");
    EXPECT_TRUE(form->BitBtn3->isEnabled());
    EXPECT_EQ(form->Browse.FilePrefix, o + "-" + form->StringGrid2->cell(0, 0));
    EXPECT_EQ(column(form->StringGrid4, 1), Strings{" 2009.03.05*"});
    EXPECT_EQ(form->Settings.current().lastObjectRow(), row);
  }
  EXPECT_TRUE(ui.messages.empty());

  // The line list: the key chooses the line; the refresh keeps the object and line last chosen.
  const int b = form->StringGrid1->findRow(0, "b");
  pressAndRelease(form->StringGrid1, b == 0 ? 1 : 0, b);
  EXPECT_EQ(form->Browse.ObjectName, "b") << "the row under the release";
  form->StringGrid2->setFocus();
  key(Qt::Key_Down);
  const std::string second = form->StringGrid2->cell(0, 1);
  EXPECT_EQ(form->Browse.ComputerDir, second);
  EXPECT_EQ(form->focusWidget(), form->StringGrid2);
  form->BitBtn2Click();
  EXPECT_EQ(form->Browse.ObjectName, "b");
  EXPECT_EQ(form->Browse.ComputerDir, second);
  EXPECT_EQ(form->StringGrid2->currentRow(), 1);
}

TEST_F(KeyboardTest, ReportListsMoveTheHighlightAndEnterChooses) {
  FtpServer server;
  for (int d = 1; d <= 3; ++d) {
    server.putFile("/a/v0001n1/sutkr/a-v0001n1-sutkr-2009.03.0" + std::to_string(d) + ".txt", "r");
  }
  connectTo(server);
  TStringGrid* g = form->StringGrid4;
  ASSERT_EQ(column(g, 1).size(), 3u);
  QSignalSpy chosen(g, &TStringGrid::rowChosen);
  const std::string line = form->Browse.ComputerDir;
  g->setFocus();
  key(Qt::Key_Up);
  key(Qt::Key_Right);
  EXPECT_EQ(g->currentRow(), 1);
  EXPECT_EQ(g->currentColumn(), 1) << "the report in the highlighted row";
  EXPECT_EQ(chosen.count(), 0) << "arrows only highlight";
  std::string caption;
  onModal<TFormRep_View>([&](TFormRep_View* v) {
    caption = v->windowTitle().toStdString();
    v->BitBtn1->click();
  });
  key(Qt::Key_Return);
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen.at(0).at(0).toInt(), 1);
  EXPECT_EQ(caption, " Файл  \"a-v0001n1-sutkr-2009.03.02.txt\"") << "Enter opens the highlighted report";
  EXPECT_EQ(form->Browse.ComputerDir, line);
}

}  // namespace
