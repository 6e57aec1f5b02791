#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "browse/Dir_list.h"
#include "settings/Conn_list.h"
#include "settings/Conn_par.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/Platform.h"

namespace {

using Strings = std::vector<std::string>;

class ObjectListTest : public MainWindowFixture {
 protected:
  // A connection to the test server stored as record 0.
  void connection(const FtpServer& server, Access accessMode = Access::ObjectList, int32_t lastRow = 0) {
    ConnectionRecord r;
    r.setName("\xd1\xf2\xe0\xed\xf6\xe8\xff");  // "Станция"
    r.setHost("127.0.0.1");
    r.setPort(server.port());
    r.setUser("op");
    r.setPassword("secret");
    r.setAccessMode(accessMode);
    r.setLastObjectRow(lastRow);
    form->Settings.setRecord(0, r);
    form->Settings.setConnectionCount(1);
    form->Ftp.setTimeouts({2, 2, 2});
  }

  // "Выбор FTP- сервера", connecting to the selected record.
  void chooseServer() {
    onModal<TFormConn_List>([](TFormConn_List* l) {
      l->BitBtn1->click();
      if (l->isVisible()) l->BitBtn6->click();
    });
    form->N_ServListClick();
  }

  Strings objects() const {
    Strings out;
    for (int r = 0; r < form->StringGrid1->rowCount(); ++r) out.push_back(form->StringGrid1->cell(0, r));
    return out;
  }

  std::string caption() const { return form->windowTitle().toStdString(); }
};

// The server's own order, unsorted: pyftpdlib's STAT sorts by name; its MLSD (where STAT is refused, or
// a dot name makes the STAT answer differ from MLSD's) lists in the order of its disk. The file is left out.
TEST_F(ObjectListTest, ServerObjectsInListingOrderWithRememberedRow) {
  for (const bool stat : {true, false}) {
    SCOPED_TRACE(stat ? "STAT" : "MLSD");
    FtpServer server;
    for (const char* d : {"/zeta", "/\xc0\xeb\xfc\xf4\xe0", "/beta"}) server.makeDir(d);
    if (!stat) server.makeDir("/.hidden-but-listed");
    server.putFile("/plain-file.txt", "x");
    make();
    connection(server, Access::ObjectList, 2);
    chooseServer();
    std::vector<std::string> expected;
    for (const auto& e : server.entries("/"))
      if (e.folder) expected.push_back(e.name);
    if (stat) sortAsStatLists(expected);
    EXPECT_EQ(objects(), expected);
    EXPECT_EQ(caption(), " Просмотр/печать  отчетов:  FTP-сервер \"Станция\"");
    EXPECT_EQ(form->Browse.BaseDirectory, "/");
    EXPECT_EQ(form->StringGrid1->row(), 2);
    EXPECT_EQ(form->Browse.ObjectPath, "/" + expected[2]) << "the remembered object was clicked";
    EXPECT_TRUE(form->Panel1->isEnabled());
    EXPECT_TRUE(form->BitBtn2->isEnabled());
    EXPECT_FALSE(form->Browse.ListFilling);
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_TRUE(ui.messages.empty());
  }
}

TEST_F(ObjectListTest, RememberedRowBeyondTheListSelectsRowZeroAndStoresIt) {
  FtpServer server;
  for (int i = 1; i <= 5; ++i) server.makeDir("/obj" + std::to_string(i));
  make();
  connection(server, Access::ObjectList, 7);
  chooseServer();
  EXPECT_EQ(objects().size(), 5u);
  EXPECT_EQ(form->StringGrid1->row(), 0);
  EXPECT_EQ(form->Settings.record(0).lastObjectRow(), 0);
}

TEST_F(ObjectListTest, ReselectByNameOrTheLastRow) {
  FtpServer server;
  for (const char* d : {"/b", "/a", "/c"}) server.makeDir(d);
  make();
  connection(server);
  form->Browse.ReselectByName = true;
  chooseServer();  // the new connection clears ObjectName: the last row
  EXPECT_EQ(form->StringGrid1->row(), 2);
  EXPECT_EQ(form->Settings.record(0).lastObjectRow(), 2);
  const Strings listed = objects();
  ASSERT_EQ(listed.size(), 3u);
  // The first row in the server's own order (which the file system decides) is not the last row, so
  // that the test tells the two rules apart.
  const int b = 0;
  // As after object creation: a fresh session on the same connection, then a rebuild by name.
  ASSERT_TRUE(form->Ftp.FtpOpen());
  form->Browse.ObjectName = listed[0];
  form->setRefreshRequest(true);
  form->N_ServListClick();  // no dialog: only the object list is rebuilt
  EXPECT_FALSE(form->RefreshRequest());
  EXPECT_EQ(form->StringGrid1->row(), b);
  EXPECT_EQ(form->Settings.record(0).lastObjectRow(), b);
}

TEST_F(ObjectListTest, ObjectDirectoryModeShowsOneRow) {
  FtpServer::Options o;
  o.home = "/station/obj-1";
  FtpServer server(o);
  server.makeDir("/station/obj-1/v0017n1");
  make();
  connection(server, Access::ObjectDirectory);
  server.clearLog();
  chooseServer();
  EXPECT_EQ(objects(), Strings{"/station/obj-1"});
  const auto log = server.commands();
  EXPECT_EQ(std::count(log.begin(), log.end(), "STAT /station"), 0) << "the object list itself is not listed";
  EXPECT_EQ(form->StringGrid2->cell(0, 0), "v0017n1");
}

TEST_F(ObjectListTest, EmptyServerShowsAnEmptyListWithoutMessage) {
  FtpServer server;
  server.putFile("/only-a-file.txt", "x");
  make();
  connection(server);
  chooseServer();
  EXPECT_EQ(objects(), Strings{""});
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(form->BitBtn2->isEnabled());
  EXPECT_TRUE(form->StringGrid1->isEnabled());
  EXPECT_TRUE(form->Panel1->isEnabled());
  EXPECT_TRUE(form->Browse.Connected);
}

TEST_F(ObjectListTest, LoginDirectoryThatCannotBeListedEvenAfterAReconnect) {
  FtpServer server;
  server.makeDir("/obj");
  make();
  connection(server);
  server.setFaults(R"([{"cmd":"STAT","action":"reply","code":550,"text":"No access."},
                       {"cmd":"MLSD","action":"reply","code":550,"text":"No access."}])");
  server.clearLog();
  chooseServer();
  EXPECT_EQ(ui.texts(), Strings{"Не выполнено подсоединение к файловой системе"});
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_EQ(caption(), " Просмотр/печать  отчетов");
  EXPECT_EQ(objects(), Strings{""});
  EXPECT_FALSE(form->StringGrid1->isEnabled());
  EXPECT_TRUE(form->Panel1->isEnabled());
  EXPECT_EQ(ui.waitDepthAtLastMessage, 0);
  const auto log = server.commands();
  EXPECT_EQ(std::count(log.begin(), log.end(), "STAT /"), 2) << "one listing, a reconnect, one more";
  EXPECT_EQ(std::count(log.begin(), log.end(), "MLSD /"), 2) << "each refused STAT is followed by MLSD";
  EXPECT_EQ(std::count(log.begin(), log.end(), "CWD /"), 1) << "the reconnect re-entered the login directory";
}

TEST_F(ObjectListTest, ListingDroppedOnceIsRetriedAfterAReconnect) {
  FtpServer server;
  server.makeDir("/obj");
  make();
  connection(server);
  server.setFaults(R"([{"cmd":"STAT","action":"drop","times":1}])");
  chooseServer();
  EXPECT_EQ(objects(), Strings{"obj"});
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ObjectListTest, LoginDirectoryThatCannotBeAskedTwice) {
  FtpServer server;
  make();
  connection(server);
  server.setFaults(R"([{"cmd":"PWD","action":"reply","code":550,"text":"No."}])");
  chooseServer();
  EXPECT_EQ(ui.texts(), Strings{"Не удалось войти в основной каталог"});
  EXPECT_EQ(ui.pauses, std::vector<int>{1000});
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_TRUE(form->Panel1->isEnabled());
}

TEST_F(ObjectListTest, CancelAfterAFailedAttemptClearsEverything) {
  FtpServer server;
  server.makeDir("/obj");
  make();
  connection(server);
  chooseServer();
  ASSERT_EQ(objects(), Strings{"obj"});
  ConnectionRecord r = form->Settings.record(0);
  r.setPassword("wrong");
  form->Settings.setRecord(0, r);
  onModal<TFormConn_List>([](TFormConn_List* l) {
    l->BitBtn1->click();  // fails: the old session is already closed
    l->BitBtn6->click();
  });
  form->N_ServListClick();
  EXPECT_EQ(ui.texts(), Strings{"Не выполнено соединение по IP-адресу"});
  EXPECT_EQ(caption(), " Просмотр/печать  отчетов");
  EXPECT_EQ(objects(), Strings{""});
  EXPECT_FALSE(form->Browse.Connected);
}

TEST_F(ObjectListTest, CancelWhileConnectedLeavesTheWindowAsItWas) {
  FtpServer server;
  server.makeDir("/obj");
  make();
  connection(server);
  chooseServer();
  const std::string before = caption();
  onModal<TFormConn_List>([](TFormConn_List* l) { l->BitBtn6->click(); });
  form->N_ServListClick();
  EXPECT_EQ(caption(), before);
  EXPECT_EQ(objects(), Strings{"obj"});
  EXPECT_TRUE(form->Browse.Connected);
}

class LocalSourceTest : public ObjectListTest {
 protected:
  // "Выбор каталога" with a typed directory.
  void chooseTyped(const QString& text) {
    onModal<TFormDir_List>([text](TFormDir_List* d) {
      d->Edit1->setText(text);
      d->BitBtn3->click();
      if (d->isVisible()) d->BitBtn2->click();
    });
    form->N_DirListClick();
  }
};

TEST_F(LocalSourceTest, TypedDirectoryRoads) {
  make();
  TempDir tree;
  std::filesystem::create_directories(tree.path() / u8"Объект-1");
  std::filesystem::create_directories(tree.path() / ".hidden");
  writeBytes(tree.path() / "file.txt", "x");
  TempDir noObjects;
  writeBytes(noObjects.path() / "only.txt", "x");

  chooseTyped(QString());
  EXPECT_EQ(ui.texts(), Strings{"Не удалось войти в выбранный каталог"});
  EXPECT_EQ(form->Browse.SourceMode, Source::LocalFolder);

  ui.messages.clear();
  chooseTyped(QString::fromStdString(noObjects.path().string()));
  EXPECT_EQ(ui.texts(), Strings{"Не найдены каталоги объектов"});

  ui.messages.clear();
  chooseTyped(QString::fromStdString(tree.path().string()));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(objects(), Strings{"\xce\xe1\xfa\xe5\xea\xf2-1"});
  EXPECT_EQ(form->StringGrid1->row(), 0);
  EXPECT_EQ(caption(), " Просмотр/печать  отчетов:  каталог \"" + tree.path().string() + "\"");
  EXPECT_FALSE(form->BitBtn2->isEnabled()) << "no refresh in this source";
  EXPECT_EQ(form->Browse.ActiveLocalDirectory, LocalDirectory::Typed);
  EXPECT_EQ(form->Settings.typedDirectory(), tree.cp1251().substr(0, tree.cp1251().size() - 1));
  EXPECT_TRUE(form->Panel1->isEnabled());
}

TEST_F(LocalSourceTest, RelativeTypedDirectoryIsTakenFromTheStartDirectory) {
  TempDir start;
  std::filesystem::create_directories(start.path() / "rel" / "obj" / "v0017n1");
  std::filesystem::current_path(start.path());  // the fixture goes back to its own directory afterwards
  make();
  // Twice: the first listing made the object folder the process's current directory.
  for (int i = 0; i < 2; ++i) {
    chooseTyped(QStringLiteral("rel"));
    EXPECT_TRUE(ui.messages.empty()) << ui.texts()[0];
    EXPECT_EQ(objects(), Strings{"obj"});
    EXPECT_EQ(form->StringGrid2->cell(0, 0), "v0017n1");
  }
  EXPECT_EQ(form->Settings.typedDirectory(), "rel") << "the settings keep what was typed";
  EXPECT_EQ(caption(), " Просмотр/печать  отчетов:  каталог \"rel\"");
}

TEST_F(LocalSourceTest, TypedTextTheCodePageCannotHoldIsRefused) {
  make();
  std::vector<std::string> seen;
  onModal<TFormDir_List>([&](TFormDir_List* d) {
    d->Edit1->setText(QStringLiteral("/tmp/目录"));
    d->BitBtn3->click();
    EXPECT_TRUE(d->isVisible());
    d->BitBtn2->click();
  });
  form->N_DirListClick();
  EXPECT_EQ(ui.messages,
            (std::vector<RecorderUi::Message>{
                {"message", "Путь к каталогу содержит символы, которых нет в кодировке Windows-1251",
                 " Каталог со списком объектов"}}));
  EXPECT_EQ(form->Settings.typedDirectory(), "");
  EXPECT_EQ(form->Browse.SourceMode, Source::Ftp) << "nothing changed";
}

TEST_F(LocalSourceTest, TreeDirectoryChosenInTheTree) {
  make();
  TempDir tree;
  std::filesystem::create_directories(tree.path() / "station" / "obj-a");
  std::filesystem::create_directories(tree.path() / "station" / "obj-b");
  form->Settings.setTreeDirectory(tree.cp1251() + "station");
  std::string label;
  Strings items;
  QStringList drives;
  onModal<TFormDir_List>([&](TFormDir_List* d) {
    for (int i = 0; i < d->DriveComboBox1->count(); ++i) drives << d->DriveComboBox1->itemText(i);
    label = d->Label1->text().toStdString();
    for (int i = 0; i < d->DirectoryListBox1->count(); ++i) {
      items.push_back(d->DirectoryListBox1->item(i)->text().trimmed().toStdString());
    }
    d->BitBtn1->click();
  });
  form->N_DirListClick();
  EXPECT_EQ(label, (tree.path() / "station").string());
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(items[items.size() - 3], "station");
  EXPECT_EQ(items[items.size() - 2], "obj-a");
  EXPECT_EQ(items.back(), "obj-b");
  EXPECT_EQ(form->Browse.ActiveLocalDirectory, LocalDirectory::Tree);
  EXPECT_EQ(objects().size(), 2u);
  EXPECT_EQ(caption(), " Просмотр/печать  отчетов:  каталог \"" + label + "\"");
#ifdef _WIN32
  // Every drive letter Windows has, mapped network folders among them (the tests' Wine maps N:).
  QStringList letters;
  for (int k = 0; k < 26; ++k)
    if (GetLogicalDrives() & (1u << k)) letters << QChar('A' + k) + QStringLiteral(":\\");
  EXPECT_EQ(drives, letters);
#else
  EXPECT_EQ(drives.value(0), QStringLiteral("/"));
#endif
}

TEST_F(LocalSourceTest, MissingTreeDirectoryFallsBackToReportAndLongPathsAreRefused) {
  make();
  form->Settings.setTreeDirectory("/no/such/folder");
  TempDir deep;
  std::filesystem::path p = deep.path();
  while (p.string().size() <= 300) p /= std::string(60, 'd');
  std::filesystem::create_directories(p);
  std::string label;
  bool stayed = false;
  onModal<TFormDir_List>([&](TFormDir_List* d) {
    label = d->Label1->text().toStdString();
    d->openDirectory(p.string());
    d->BitBtn1->click();
    stayed = d->isVisible();
    d->BitBtn2->click();
  });
  form->N_DirListClick();
  EXPECT_EQ(label, (dir.path() / "REPORT").string());
  EXPECT_TRUE(stayed);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "Путь к каталогу длиннее 299 символов: выберите каталог с более коротким путем");
  EXPECT_EQ(form->Settings.treeDirectory(), dir.cp1251() + "REPORT");
}

TEST_F(ObjectListTest, NewOperatorFirstRunAndRestart) {
  FtpServer server;
  server.makeDir("/obj-1");
  server.makeDir("/obj-2");
  make();
  // First run: no INI folder content; the list opens by itself; a connection is created and opened.
  onModal<TFormConn_List>([&](TFormConn_List* l) {
    onModal<TFormConn_Par>([&](TFormConn_Par* p) {
      p->Edit1->setText(QStringLiteral("Тест"));
      p->Edit3->setText(QStringLiteral("127.0.0.1"));
      p->Edit2->setText(QString::number(server.port()));
      p->Edit9->setText(QStringLiteral("op"));
      p->Edit5->setText(QStringLiteral("secret"));
      p->BitBtn1->click();
    });
    l->BitBtn2->click();
    l->BitBtn1->click();
  });
  form->show();
  // The list opens when the start timer fires, however slow the machine (ThreadSanitizer's build is).
  EXPECT_TRUE(QTest::qWaitFor([&] { return objects().size() == 2; }, 5000));
  Strings listed = objects();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (Strings{"obj-1", "obj-2"}));
  EXPECT_EQ(caption(), " Просмотр/печать  отчетов:  FTP-сервер \"Тест\"");
  form->StringGrid1->selectRow(1);
  ConnectionRecord r = form->Settings.current();
  r.setLastObjectRow(1);
  form->Settings.setRecord(0, r);
  form->close();

  // Second run: the list opens on the same connection; connecting selects the remembered row.
  form.reset();
  make();
  int startRow = -1;
  onModal<TFormConn_List>([&](TFormConn_List* l) {
    startRow = l->SelectedRow;
    l->BitBtn1->click();
  });
  form->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->StringGrid1->row() == 1; }, 5000));
  EXPECT_EQ(startRow, 0);
  EXPECT_EQ(form->StringGrid1->row(), 1);
  form->close();
}

}  // namespace
