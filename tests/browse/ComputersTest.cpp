#include <gtest/gtest.h>

#include <functional>
#include <new>

#include <QPushButton>

#include "settings/Conn_list.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/TimeZone.h"

namespace {

using Strings = std::vector<std::string>;

// 2009-03-05 14:07:09 in the tests' zone (UTC+3 then).
long long alarmTime() {
  return utcSeconds(2009, 3, 5, 11, 7, 9);
}

class ComputersTest : public MainWindowFixture {
 protected:
  void SetUp() override { useTestTimeZone(); }

  void connectTo(const FtpServer& server, Access accessMode = Access::ObjectList) {
    MainWindowFixture::connectTo(server.port(), accessMode);
  }

  void click(int row) {
    form->StringGrid1->selectRow(row);
    form->StringGrid1Click();
  }
};

TEST_F(ComputersTest, ComputerDirectoriesAndLookAlikesInListingOrder) {
  FtpServer server;
  for (const char* d : {"/obj/v0017n1", "/obj/V0017n1", "/obj/v017n1", "/obj/v1234n", "/obj/v0017n1234"}) {
    server.makeDir(d);
  }
  server.putFile("/obj/v0017n2", "a plain file");
  connectTo(server);
  Strings expected;
  for (const auto& e : server.entries("/obj"))
    if (e.name == "v0017n1" || e.name == "v1234n") expected.push_back(e.name);
  sortAsStatLists(expected);  // as the server lists them
  EXPECT_EQ(column(form->StringGrid2), expected);
  EXPECT_EQ(form->Browse.ObjectPath, "/obj");
  EXPECT_EQ(form->Browse.ComputerDir, expected[0]) << "the first line is chosen";
  EXPECT_EQ(form->Panel3->text().toStdString(), "Нет сообщений");
  EXPECT_FALSE(form->BitBtn3->isEnabled());
  EXPECT_TRUE(form->BitBtn1->isEnabled());
  EXPECT_EQ(form->Label19->text().toStdString(), "Нет данных") << "no gas-parameter file";
}

TEST_F(ComputersTest, AlarmTimeAsListedWithPrefixMatch) {
  FtpServer server;
  server.makeDir("/obj/v0017n1");
  server.putFile("/obj/obj-alarm.txt.old", "x");
  server.setTime("/obj/obj-alarm.txt.old", alarmTime());
  connectTo(server);
  EXPECT_EQ(form->Panel3->text().toStdString(), "05.03.09  14:07:09");
  EXPECT_TRUE(form->BitBtn3->isEnabled());
}

TEST_F(ComputersTest, EmptyObjectDirectoryAndConnectionDrops) {
  FtpServer server;
  server.makeDir("/empty");
  server.makeDir("/obj/v0017n1");
  connectTo(server);
  // Listing order decides which is row 0; find the rows by name.
  const Strings objects = column(form->StringGrid1);
  const int empty = static_cast<int>(std::find(objects.begin(), objects.end(), "empty") - objects.begin());
  const int obj = 1 - empty;
  click(empty);
  EXPECT_EQ(column(form->StringGrid2), Strings{""});
  EXPECT_EQ(form->Label19->text().toStdString(), "Нет данных");
  EXPECT_TRUE(ui.messages.empty());

  server.setFaults(R"([{"cmd":"STAT","arg":"/obj","action":"drop","times":1}])");
  click(obj);
  EXPECT_EQ(column(form->StringGrid2), Strings{"v0017n1"}) << "one reconnect and a second attempt";
  EXPECT_TRUE(ui.messages.empty());

  server.setFaults(R"([{"cmd":"STAT","arg":"/obj","action":"drop"}])");
  click(obj);
  EXPECT_EQ(ui.texts(), Strings{"Связь с сервером прервана"});
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(ComputersTest, ObjectNameFromReportFileNames) {
  FtpServer::Options o;
  o.home = "/station";
  FtpServer server(o);
  server.makeDir("/station/v0017n1/chakr");
  server.putFile("/station/v0017n1/sutkr/A-B-v0017n1-sutkr-2009.03.05.txt", "report");
  server.putFile("/station/A-B-alarm.txt", "alarm");
  server.setTime("/station/A-B-alarm.txt", alarmTime());
  connectTo(server, Access::ObjectDirectory);
  EXPECT_EQ(column(form->StringGrid1), Strings{"A-B"});
  EXPECT_TRUE(form->Browse.ObjectNameKnown);
  EXPECT_EQ(form->Browse.ObjectName, "A-B");
  EXPECT_EQ(form->Browse.GasParFileName, "A-B-gaspar.txt");
  EXPECT_EQ(form->Panel3->text().toStdString(), "05.03.09  14:07:09");
  EXPECT_FALSE(form->BitBtn1->isEnabled()) << "no gas-parameter entry in the one-object mode";
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ComputersTest, NoReportAnywhereKeepsTheLoginDirectoryRow) {
  FtpServer::Options o;
  o.home = "/station";
  FtpServer server(o);
  server.makeDir("/station/v0017n1/chakr");
  connectTo(server, Access::ObjectDirectory);
  EXPECT_EQ(column(form->StringGrid1), Strings{"/station"});
  EXPECT_FALSE(form->Browse.ObjectNameKnown);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ComputersTest, NamesThatWouldLeaveTheCacheAreNotSelected) {
  FtpServer::Options o;
  o.home = "/station";
  FtpServer server(o);
  server.putFile("/station/v0017n1/chakr/..\\..\\x-v0017n1-chakr-2009.03.05-14.txt", "r");
  connectTo(server, Access::ObjectDirectory);
  EXPECT_FALSE(form->Browse.ObjectNameKnown);
  EXPECT_EQ(column(form->StringGrid1), Strings{"/station"});
  ASSERT_EQ(ui.texts().size(), 1u);
  EXPECT_EQ(ui.texts()[0], "Имя объекта \"..\\..\\x\" не может быть именем папки: объект не выбран");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "REPORT"));
}

// Object rows whose names could leave the cache folder or cannot go into a command are refused without
// a request, and nothing of the object shown before stays beside them.
TEST_F(ComputersTest, UnsafeObjectRowsAreRefusedAndClearTheObjectShownBefore) {
  FtpServer server;
  const std::string gas = "\r\n\r\nSP: 0.6800 1.0000 0.5000 750.0 0x4e4f\r\n";
  server.putFile("/Good/v0017n1/chakr/Good-v0017n1-chakr-2009.03.05-14.txt", "r");
  server.putFile("/Good/Good-gaspar.txt", gas);
  for (const std::string bad : {"a\\..\\b", "tab\there", "x\x01y", "con.obj"}) {
    SCOPED_TRACE(bad);
    server.makeDir("/" + bad);
    server.putFile("/" + bad + "/" + bad + "-gaspar.txt", gas);
    connectTo(server);
    const int good = form->StringGrid1->findRow(0, "Good"), refused = form->StringGrid1->findRow(0, bad);
    ASSERT_TRUE(good >= 0 && refused >= 0);
    form->StringGrid1->selectRow(good);
    form->StringGrid1Click();
    ASSERT_EQ(column(form->StringGrid2), Strings{"v0017n1"});
    ASSERT_EQ(form->pn1->text().toStdString(), "0.68");
    server.clearLog();
    ui.messages.clear();
    form->StringGrid1->selectRow(refused);
    form->StringGrid1Click();
    EXPECT_EQ(ui.texts(),
              Strings{"Имя объекта \"" + bad + "\" не может быть именем папки: объект не выбран"});
    EXPECT_TRUE(server.commands().empty()) << "no request, no reconnect";
    EXPECT_EQ(column(form->StringGrid2), Strings{""});
    EXPECT_EQ(column(form->StringGrid3, 1), Strings{""});
    EXPECT_EQ(form->pn1->text().toStdString(), "");
    EXPECT_FALSE(form->BitBtn1->isEnabled() || form->BitBtn3->isEnabled());
    EXPECT_TRUE(form->StringGrid1->isEnabled()) << "another object can be chosen";
    server.remove("/" + bad);
    ui.messages.clear();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "REPORT" / "a\\..\\b"));
}

TEST_F(ComputersTest, LocalFolderAlarmTimeExactNameOnly) {
  make();
  TempDir tree;
  std::filesystem::create_directories(tree.path() / "obj" / "v0017n1");
  writeBytes(tree.path() / "obj" / "obj-alarm.txt.old", "x");
  useLocalTree(tree.path());
  form->FormShow();
  form->TimerStart->stop();
  ASSERT_EQ(form->ListObjects(), 0);
  click(0);
  EXPECT_EQ(form->Panel3->text().toStdString(), "Нет сообщений");
  writeBytes(tree.path() / "obj" / "obj-alarm.txt", "x");
  std::filesystem::last_write_time(
      tree.path() / "obj" / "obj-alarm.txt",
      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(alarmTime())));
  click(0);
  EXPECT_EQ(form->Panel3->text().toStdString(), "05.03.09 14:07:09");
  EXPECT_TRUE(form->BitBtn3->isEnabled());
  EXPECT_EQ(column(form->StringGrid2), Strings{"v0017n1"});
  form->FormClose();
}

TEST_F(ComputersTest, RefreshKeepsTheChoiceOrFallsBackToTheFirst) {
  FtpServer server;
  server.makeDir("/a/v0017n1");
  server.makeDir("/b/v0017n1");
  server.makeDir("/b/v0017n2");
  connectTo(server);
  const Strings objects = column(form->StringGrid1);
  const int b = static_cast<int>(std::find(objects.begin(), objects.end(), "b") - objects.begin());
  click(b);
  const Strings lines = column(form->StringGrid2);
  ASSERT_EQ(lines.size(), 2u);
  form->StringGrid2->selectRow(1);
  form->StringGrid2Click();
  const std::string chosenLine = lines[1];
  form->BitBtn2Click();
  EXPECT_EQ(form->Browse.ObjectName, "b");
  EXPECT_EQ(form->Browse.ComputerDir, chosenLine);
  EXPECT_FALSE(form->Browse.Refreshing);

  server.remove("/b/" + chosenLine);
  form->BitBtn2Click();
  EXPECT_EQ(form->Browse.ComputerDir, column(form->StringGrid2)[0]) << "the line is gone: the first line";

  server.remove("/b");
  form->BitBtn2Click();
  EXPECT_EQ(form->Browse.ObjectName, "a") << "the object is gone: the first object";
  EXPECT_TRUE(ui.messages.empty());

  server.setFaults(R"([{"cmd":"CWD","action":"reply","code":550,"text":"No."}])");
  form->BitBtn2Click();
  EXPECT_EQ(ui.texts(), Strings{"Неудачная попытка обновления данных"});
  EXPECT_FALSE(form->Browse.Refreshing);
  EXPECT_TRUE(form->isEnabled());
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(ComputersTest, RefreshOntoAnObjectWithoutLinesLeavesNothingOfThePreviousChoice) {
  const struct {
    const char* left;  // what the object directory holds at the refresh
    Strings alarm;     // alarm field, "Смотреть" enabled
  } cases[] = {{"nothing", {"", "0"}}, {"the alarm file", {"05.03.09  14:07:09", "1"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    FtpServer server;
    server.putFile("/obj/v0017n1/sutkr/obj-v0017n1-sutkr-2009.03.05.txt", "r");
    server.putFile("/obj/obj-alarm.txt", "x");
    server.setTime("/obj/obj-alarm.txt", alarmTime());
    connectTo(server);
    ASSERT_EQ(form->StringGrid4->cell(1, 0), " 2009.03.05*");
    server.remove("/obj/v0017n1");
    if (std::string(c.left) == "nothing") server.remove("/obj/obj-alarm.txt");
    form->BitBtn2Click();
    EXPECT_EQ(column(form->StringGrid2), Strings{""});
    EXPECT_FALSE(form->StringGrid2->isEnabled());
    for (TStringGrid* g : form->reportGrids()) {
      EXPECT_EQ(g->rowCount(), 1);
      EXPECT_EQ(g->cell(1, 0), "");
      EXPECT_FALSE(g->isEnabled());
    }
    EXPECT_EQ(form->CurrentReportGrid, nullptr);
    EXPECT_EQ((Strings{form->Panel3->text().toStdString(), form->BitBtn3->isEnabled() ? "1" : "0"}), c.alarm);
    EXPECT_TRUE(form->StringGrid1->isEnabled());
    EXPECT_TRUE(ui.messages.empty());
    form.reset();
  }
}

// An error that ends a handler on its way to the event loop (here an allocation failure thrown while a
// listing is awaited) leaves the window usable: nothing stays disabled or half-filled, no listing stays
// open, and the next click works.
TEST_F(ComputersTest, AnErrorThatEndsAHandlerLeavesTheWindowUsable) {
  FtpServer server;
  server.makeDir("/A/v0017n1/sutkr");
  server.makeDir("/B/v0017n1/sutkr");
  const struct {
    const char* road;
    const char* listing;  // the listing that fails
    std::function<void(TFormMain&)> run;
  } cases[] = {
      {"connect", "/",
       [](TFormMain& f) {
         onModal<TFormConn_List>([](TFormConn_List* l) { l->BitBtn1->click(); });
         f.N_ServListClick();
       }},
      {"refresh", "/", [](TFormMain& f) { f.BitBtn2Click(); }},
      {"object click", "/B",
       [](TFormMain& f) {
         f.StringGrid1->selectRow(f.StringGrid1->findRow(0, "B"));
         f.StringGrid1Click();
       }},
      {"line click", "v0017n1/sutkr", [](TFormMain& f) { f.StringGrid2Click(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.road);
    MainWindowFixture::connectTo(server.port());
    ASSERT_EQ(column(form->StringGrid2), Strings{"v0017n1"});
    server.setFaults(std::string(R"([{"cmd":"STAT","arg":")") + c.listing +
                     R"(","action":"delay","seconds":0.3}])");
    form->Ftp.setWaitHook([] { throw std::bad_alloc(); });
    EXPECT_THROW(c.run(*form), std::bad_alloc);
    form->Ftp.setWaitHook({});
    server.setFaults("[]");
    EXPECT_TRUE(form->isEnabled() && form->Panel1->isEnabled() && form->StringGrid1->isEnabled());
    EXPECT_FALSE(form->Browse.ListFilling || form->Browse.Refreshing);
    EXPECT_EQ(form->Ftp.TransferHandle, kNoHandle);
    // The next object click is answered.
    form->StringGrid1->setRowCount(1);
    form->StringGrid1->setCell(0, 0, "A");
    form->StringGrid1->selectRow(0);
    form->StringGrid1Click();
    EXPECT_EQ(column(form->StringGrid2), Strings{"v0017n1"});
    EXPECT_TRUE(form->StringGrid1->isEnabled());
  }
}

}  // namespace
