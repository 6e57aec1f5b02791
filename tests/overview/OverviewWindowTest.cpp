#include <gtest/gtest.h>

#include <QTest>

#include "overview/Overview.h"
#include "support/MainWindowFixture.h"
#include "support/PrintToPdf.h"
#include "support/StationTree.h"
#include "support/TimeZone.h"

namespace {

class OverviewWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override { useTestTimeZone(); }

  // The window of a main window with the two stations saved: the tree, and a wrong password.
  TFormOverview& open(const FtpServer& server) {
    connectTo(server.port());  // the main window on the first station, as after a start
    ConnectionRecord wrong = form->Settings.record(0);
    wrong.setName("bad");
    wrong.setPassword("nope");
    form->Settings.setRecord(1, wrong);
    form->Settings.setConnectionCount(2);
    form->Overview = new TFormOverview(*form);
    form->Overview->setTimeouts({2, 2, 2});
    // 2026-12-10 12:00 here: the newest hourly report (09:00) is three hours old.
    form->Overview->setClock([] { return static_cast<std::time_t>(utcSeconds(2026, 12, 10, 9, 0, 0)); });
    form->Overview->show();
    return *form->Overview;
  }

  void checkAll(TFormOverview& o) {
    o.CheckClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !o.Checking(); }, 30000));
  }

  static std::string cell(TFormOverview& o, int row, overview::Column c) {
    const QTableWidgetItem* item = o.Grid->item(row, static_cast<int>(c));
    return item ? item->text().toStdString() : "(none)";
  }
};

// Every row as it came, the stale mark at the operator's threshold, new alarms against the last
// overview, the print, and a row chosen that lands the main window on its object.
TEST_F(OverviewWindowTest, RowsMarksPrintAndChoice) {
  using C = overview::Column;
  FtpServer server;
  StationTree::make(server);
  TFormOverview& o = open(server);
  o.StaleHours->setValue(2);
  checkAll(o);
  ASSERT_EQ(o.Grid->rowCount(), 3);
  EXPECT_EQ(o.ProgressLabel->text().toStdString(), "Проверено объектов: 3 из 3");
  EXPECT_EQ(cell(o, 0, C::Object), "obj1");
  EXPECT_EQ(cell(o, 0, C::Lines), "v0001n1\nv0001n2");
  EXPECT_EQ(cell(o, 0, C::Hourly), "2026.12.10  09:00\n2026.12.10  07:00");
  EXPECT_EQ(cell(o, 0, C::MonthlyCommercial), "нет\nнет");
  EXPECT_EQ(cell(o, 0, C::Age), "3 ч 00 мин");
  EXPECT_EQ(cell(o, 0, C::Gas), "0.68 / 0.5 / 1.25 / 745");
  EXPECT_EQ(cell(o, 0, C::Mark), "!! Нет свежих отчетов");
  EXPECT_EQ(cell(o, 1, C::Lines), "Нет ниток");
  EXPECT_EQ(cell(o, 1, C::Gas), "Несовпадение КС  данных в файле");
  EXPECT_EQ(cell(o, 1, C::Mark), "");
  EXPECT_EQ(cell(o, 2, C::Connection), "bad");
  EXPECT_EQ(cell(o, 2, C::State), "Вход отклонен: неверное имя пользователя или пароль");
  o.StaleHours->setValue(4);
  EXPECT_EQ(cell(o, 0, C::Mark), "") << "the threshold applies at once";

  // A newer alarm than the last overview showed.
  server.setTime("/obj1/obj1-alarm.txt", StationTree::alarmUtc() + 60);
  checkAll(o);
  EXPECT_EQ(cell(o, 0, C::Mark), "!! Новые сообщения");
  EXPECT_EQ(o.Grid->item(0, 0)->background().color(), QColor(255, 190, 190));

  const auto pages = printedPages([&] { o.PrintButton->click(); });
  ASSERT_FALSE(pages.empty());
  EXPECT_NE(pages[0].find("Новые сообщения"), std::string::npos) << pages[0];
  EXPECT_NE(pages[0].find("Вход отклонен"), std::string::npos);

  o.RowChosen(1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->Browse.ObjectName == "obj2"; }, 10000));
  EXPECT_EQ(form->StringGrid1->cell(0, form->StringGrid1->row()), "obj2");
  EXPECT_EQ(form->Settings.currentConnection(), 0);
  o.RowChosen(0);  // the same station again, its remembered object row moved by the first choice
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->Browse.ObjectName == "obj1"; }, 10000));
  EXPECT_TRUE(ui.messages.empty());
  o.close();
  form->close();
}

}  // namespace
