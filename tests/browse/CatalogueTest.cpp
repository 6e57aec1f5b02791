#include <gtest/gtest.h>

#include <QPushButton>

#include "settings/Conn_list.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"

namespace {

using Strings = std::vector<std::string>;

class CatalogueTest : public MainWindowFixture {
 protected:
  void connectTo(const FtpServer& server, Access accessMode = Access::ObjectList) {
    MainWindowFixture::connectTo(server.port(), accessMode);
  }
  static Strings entries(const TStringGrid* g) { return column(g, 1); }
};

TEST_F(CatalogueTest, FiveListsNewestLastOneListingPerKind) {
  FtpServer server;
  const std::string line = "/A/v0017n1/";
  // Created newest first, so that only sorting puts the newest report last.
  server.putFile(line + "chakr/A-v0017n1-chakr-2009.03.05-15.txt", "");
  server.putFile(line + "chakr/A-v0017n1-chakr-2009.03.05-14.txt", std::string(2048, 'r'));
  server.putFile(line + "chakr/A-v0017n2-chakr-2009.03.05-14.txt", std::string(100, 'r'));
  server.makeDir(line + "chakr/A-v0017n1-chakr-2009.03.05-16.txt");
  for (int d = 19; d >= 1; --d) {
    char name[64];
    std::snprintf(name, sizeof name, "sutkr/A-v0017n1-sutkr-2009.03.%02d.txt", d);
    server.putFile(line + name, std::string(d == 1 ? 19 : 20, 'r'));
  }
  server.putFile(line + "meskr/A-v0017n1-meskr-2009.03.txt", std::string(30, 'r'));
  for (int d = 1; d <= 18; ++d) {
    char name[64];
    std::snprintf(name, sizeof name, "sutko/A-v0017n1-sutko-2009.04.%02d.txt", d);
    server.putFile(line + name, std::string(40, 'r'));
  }
  // mesko is missing on the server.
  connectTo(server);
  server.clearLog();
  form->StringGrid2->selectRow(0);
  form->StringGrid2Click();

  EXPECT_EQ(entries(form->StringGrid3), (Strings{" 2009.03.05  14:00", " 2009.03.05  15:00*"}));
  EXPECT_EQ(form->StringGrid3->currentRow(), 1);
  EXPECT_EQ(form->StringGrid3->currentColumn(), 0) << "no report is fetched or shown as selected";
  EXPECT_EQ(form->StringGrid3->columnWidth(1), 179);
  const Strings daily = entries(form->StringGrid4);
  ASSERT_EQ(daily.size(), 19u);
  EXPECT_EQ(daily.front(), " 2009.03.01*");
  EXPECT_EQ(daily.back(), " 2009.03.19");
  EXPECT_EQ(form->StringGrid4->columnWidth(1), 106) << "nineteen entries make the column narrower";
  EXPECT_EQ(entries(form->StringGrid5).size(), 18u);
  EXPECT_EQ(form->StringGrid5->columnWidth(1), 127) << "eighteen do not";
  EXPECT_EQ(entries(form->StringGrid6), Strings{" 2009.03"});
  EXPECT_EQ(form->StringGrid6->columnWidth(1), 127);
  EXPECT_EQ(entries(form->StringGrid7), Strings{""});
  EXPECT_FALSE(form->StringGrid7->isEnabled()) << "the missing kind folder leaves only its list empty";
  EXPECT_TRUE(form->StringGrid3->isEnabled());
  EXPECT_EQ(form->Browse.FilePrefix, "A-v0017n1");

  const auto log = server.commands();
  for (const char* code : {"chakr", "sutkr", "sutko", "meskr", "mesko"}) {
    SCOPED_TRACE(code);
    const std::string dir = line + code;
    // A listing tells that its folder can be entered; only the refused one is tried with CWD.
    EXPECT_EQ(std::count(log.begin(), log.end(), "CWD " + dir), std::string(code) == "mesko" ? 1 : 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "STAT " + dir), 1);
  }
  EXPECT_EQ(
      std::count_if(log.begin(), log.end(), [](const std::string& c) { return c.rfind("RETR", 0) == 0; }), 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CatalogueTest, ConnectionLostTwiceInTheMiddleOfTheBuild) {
  FtpServer server;
  server.putFile("/A/v0017n1/chakr/A-v0017n1-chakr-2009.03.05-14.txt", std::string(30, 'r'));
  server.makeDir("/A/v0017n1/sutkr");
  connectTo(server);
  server.setFaults(R"([{"cmd":"STAT","arg":"sutkr","action":"drop"}])");
  form->StringGrid2->selectRow(0);
  form->StringGrid2Click();
  EXPECT_EQ(ui.texts(), Strings{"Связь с FTP-сервером прервана"});
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_FALSE(form->StringGrid1->isEnabled());
  EXPECT_FALSE(form->StringGrid2->isEnabled());
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(CatalogueTest, ConnectionLostOnceIsRetried) {
  FtpServer server;
  server.putFile("/A/v0017n1/sutkr/A-v0017n1-sutkr-2009.03.05.txt", std::string(30, 'r'));
  connectTo(server);
  server.setFaults(R"([{"cmd":"STAT","arg":"sutkr","action":"drop","times":1}])");
  form->StringGrid2->selectRow(0);
  form->StringGrid2Click();
  EXPECT_EQ(entries(form->StringGrid4), Strings{" 2009.03.05"});
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CatalogueTest, LocalTreeGivesTheSameLists) {
  make();
  TempDir tree;
  writeBytes(tree.path() / "A" / "v0017n1" / "chakr" / "A-v0017n1-chakr-2009.03.05-14.txt",
             std::string(30, 'r'));
  writeBytes(tree.path() / "A" / "v0017n1" / "mesko" / "A-v0017n1-mesko-2009.03.txt", "small");
  openFirstLocalObject(tree.path());
  EXPECT_EQ(entries(form->StringGrid3), Strings{" 2009.03.05  14:00"});
  EXPECT_EQ(entries(form->StringGrid7), Strings{" 2009.03*"});
  EXPECT_TRUE(form->StringGrid7->isEnabled());
}

}  // namespace
