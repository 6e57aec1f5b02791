#pragma once
// A main window over a temporary executable folder, with the recorder Ui, for the window tests.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <memory>
#include <string>

#include "app/Main.h"
#include "settings/Conn_list.h"
#include "support/ModalDriver.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"

class MainWindowFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    form.reset();
    // The local source makes its folder the process's current directory; the next test (and the FTP
    // test server it starts) must not inherit a folder that is deleted with this test.
    std::filesystem::current_path(startDirectory);
    for (QWidget* w : QApplication::topLevelWidgets()) {
      EXPECT_FALSE(w->isVisible()) << "window left open: " << w->objectName().toStdString();
      if (w->isVisible()) w->close();
    }
  }

  TFormMain& make() {
    form = std::make_unique<TFormMain>(dir.cp1251(), ui);
    return *form;
  }

  // Stores the one connection of the window: the FTP test server on loopback, short time-outs.
  // connections: one gives the exact transcript of one connection; the concurrent tests ask for more.
  void useServer(int port, Access accessMode = Access::ObjectList, int connections = 1) {
    ConnectionRecord r;
    r.setName("s");
    r.setHost("127.0.0.1");
    r.setPort(port);
    r.setUser("op");
    r.setPassword("secret");
    r.setAccessMode(accessMode);
    form->Settings.setRecord(0, r);
    form->Settings.setConnectionCount(1);
    form->Ftp.setTimeouts({2, 2, 2});
    form->Ftp.setConnections(connections);
  }

  // A new window connected to the server through the connection list, as an operator's first choice.
  void connectTo(int port, Access accessMode = Access::ObjectList, int connections = 1) {
    make();
    useServer(port, accessMode, connections);
    onModal<TFormConn_List>([](TFormConn_List* l) { l->BitBtn1->click(); });
    form->N_ServListClick();
  }

  // The local-folder source on a tree chosen in the directory tree.
  void useLocalTree(const std::filesystem::path& root) {
    form->Browse.SourceMode = Source::LocalFolder;
    form->Settings.setTreeDirectory(root.string());
    form->Browse.ActiveLocalDirectory = LocalDirectory::Tree;
  }

  // The local tree's objects listed and the first one chosen.
  void openFirstLocalObject(const std::filesystem::path& root) {
    useLocalTree(root);
    ASSERT_EQ(form->ListObjects(), 0);
    form->StringGrid1->selectRow(0);
    form->StringGrid1Click();
  }

  // The texts of one column of a list, top to bottom.
  static std::vector<std::string> column(const TStringGrid* g, int c = 0) {
    std::vector<std::string> out;
    for (int r = 0; r < g->rowCount(); ++r) out.push_back(g->cell(c, r));
    return out;
  }

  // The settings file on disk.
  std::string savedSettings() const { return readBytes(dir.path() / "INI" / "ftp_conn.ini"); }

  // A 304-byte connection record written byte by byte, independently of the program's accessors.
  static std::string rawRecord(const std::string& name, const std::string& host, int32_t port,
                               const std::string& user, const std::string& password, int32_t lastRow = 0,
                               uint8_t accessMode = 0) {
    std::string r(304, '\0');
    r.replace(0, name.size(), name);
    r.replace(50, host.size(), host);
    r.replace(104, user.size(), user);
    r.replace(154, password.size(), password);
    for (int k = 0; k < 4; ++k) {
      r[100 + k] = static_cast<char>(static_cast<uint32_t>(port) >> (8 * k));
      r[204 + k] = static_cast<char>(static_cast<uint32_t>(lastRow) >> (8 * k));
    }
    r[208] = static_cast<char>(accessMode);
    return r;
  }

  static std::string recordOf(const std::string& image, int i) { return image.substr(2 + 304 * i, 304); }

  const std::filesystem::path startDirectory = std::filesystem::current_path();
  TempDir dir;
  RecorderUi ui;
  std::unique_ptr<TFormMain> form;
};
