// "Создание объекта": the dialog's checks, the directory tree made on a LIST-only server with its command
// transcript, the re-run, a partial failure completed, and the main window showing the new object.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "browse/Dir_list.h"
#include "provision/Object_create.h"
#include "settings/Conn_par.h"
#include "settings/TlsFile.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"

namespace {

using Strings = std::vector<std::string>;

struct Computer {
  int group, address, lines;  // address -1 = left empty
};

struct Entry {
  Entry(int s = 0, std::string n = "Obj", std::vector<Computer> c = {{0, 5, 2}, {1, 12, 1}},
        std::string text = {})
      : server(s), name(std::move(n)), computers(std::move(c)), addressText(std::move(text)) {}
  int server;                       // ComboBox1 item; -1 = none
  std::string name;                 // typed as a new object; "" = an existing one (ComboBox3 as it is)
  std::vector<Computer> computers;  // none = no number of computers chosen
  std::string addressText;          // typed into the first address box instead of the number
};

class ObjectCreateTest : public MainWindowFixture {
 protected:
  FtpServer::Options listOnly() {
    FtpServer::Options o;
    o.mlsd = false;
    return o;
  }

  // Runs "Создание объекта" with the entries, presses "Создать" and cancels if the dialog stays open.
  // Returns whether it stayed open.
  bool create(const Entry& e, std::function<void(TFormObject_Create*)> before = {}) {
    auto open = std::make_shared<bool>(false);
    onModal<TFormObject_Create>([this, e, before, open](TFormObject_Create* d) {
      if (before) before(d);
      d->ComboBox1->setCurrentIndex(e.server);
      d->ComboBox1Click();
      if (!e.name.empty()) {
        if (d->ComboBox3->isEnabled()) {
          d->ComboBox3->setCurrentIndex(d->ObjectRowCount);
          d->ComboBox3Click();
        }
        d->Edit1->setText(QString::fromStdString(e.name));
      }
      d->ComboBox2->setCurrentIndex(static_cast<int>(e.computers.size()) - 1);  // -1 for none
      d->ComboBox2Click();
      for (size_t i = 0; i < e.computers.size(); ++i) {
        const Computer& c = e.computers[i];
        d->g[i]->setCurrentIndex(c.group);
        d->grClick(static_cast<int>(i));
        d->a[i]->setEditText(c.address < 0 ? QString() : QString::number(c.address));
        if (i == 0 && !e.addressText.empty()) d->a[i]->setEditText(QString::fromStdString(e.addressText));
        d->adrExit(static_cast<int>(i));
        d->r[i]->setCurrentIndex(c.lines - 1);
        d->runClick(static_cast<int>(i));
      }
      ui.onMessage = [this, d] { toldWhileDisabled |= !d->isEnabled() || ui.waitDepth != 0; };
      d->BitBtn1->click();
      ui.onMessage = nullptr;
      *open = d->isVisible();
      if (d->isVisible()) d->BitBtn2->click();
    });
    form->N1Click();
    return *open;
  }

  // Every directory below a server path, relative, sorted.
  Strings tree(const FtpServer& server, const std::string& below) const {
    Strings out;
    const auto root = server.local(below);
    for (const auto& p : std::filesystem::recursive_directory_iterator(root)) {
      EXPECT_TRUE(p.is_directory()) << p.path();
      out.push_back(std::filesystem::relative(p.path(), root).generic_string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  static Strings exampleTree() {
    Strings t;
    for (const char* dir : {"v0005n1", "v0005n2", "v1012n1"}) {
      t.push_back(dir);
      for (const char* kind : {"chakr", "sutkr", "sutko", "meskr", "mesko"})
        t.push_back(std::string(dir) + "/" + kind);
    }
    std::sort(t.begin(), t.end());
    return t;
  }

  bool toldWhileDisabled = false;  // a message of "Создать" came while the dialog was disabled

  Strings last() const {
    return ui.messages.empty() ? Strings{} : Strings{ui.messages.back().text, ui.messages.back().title};
  }
};

TEST_F(ObjectCreateTest, ExampleTreeItsTranscriptTheRerunAndTheWindow) {
  FtpServer server(listOnly());
  server.makeDir("/Old/v0001n1");
  connectTo(server.port());
  server.clearLog();
  EXPECT_FALSE(create({}));
  EXPECT_EQ(last(), (Strings{"Создание каталогов объекта завершено", ""}));
  EXPECT_EQ(tree(server, "/Obj"), exampleTree()) << "19 directories with the object's own";
  // The creation's own commands: up to the main window's rebuild, which enters the login directory and
  // lists it a second time.
  const auto creation = [&] {
    Strings log = server.commands();
    const auto second = std::find(std::find(log.begin(), log.end(), "STAT /") + 1, log.end(), "STAT /");
    log.erase(std::find(std::make_reverse_iterator(second), log.rend(), "CWD /").base() - 1, log.end());
    return log;
  };
  const auto count = [](const Strings& log, const char* verb) {
    return std::count_if(log.begin(), log.end(), [&](const std::string& c) { return c.rfind(verb, 0) == 0; });
  };
  const Strings first = creation();
  Strings mkd;
  for (const auto& c : first) {
    if (c.rfind("MKD ", 0) == 0) mkd.push_back(c);
  }
  ASSERT_EQ(mkd.size(), 19u);
  EXPECT_EQ(mkd.front(), "MKD /Obj");
  EXPECT_EQ(mkd[1], "MKD /Obj/v0005n1");
  EXPECT_EQ(mkd[2], "MKD /Obj/v0005n1/chakr");
  EXPECT_EQ(mkd.back(), "MKD /Obj/v1012n1/mesko");
  EXPECT_EQ(count(first, "CWD"), 1) << "the login directory, entered once";
  EXPECT_EQ(count(first, "STAT"), 1) << "only the login directory is listed: the rest is new";
  std::printf("creating the tree: %zu commands\n", first.size());

  // The main window shows the new object selected, with its lines and empty report lists.
  EXPECT_EQ(form->Browse.ObjectName, "Obj");
  EXPECT_EQ(form->StringGrid1->cell(0, form->StringGrid1->row()), "Obj");
  EXPECT_EQ(column(form->StringGrid2).size(), 3u);
  for (TStringGrid* g : form->reportGrids()) EXPECT_EQ(g->cell(1, 0), "");

  // Again: nothing is made, the same message.
  server.clearLog();
  ui.messages.clear();
  EXPECT_FALSE(create({0, ""}));
  EXPECT_EQ(last(), (Strings{"Создание каталогов объекта завершено", ""}));
  const Strings second = creation();
  EXPECT_EQ(count(second, "MKD"), 0);
  EXPECT_EQ(count(second, "STAT"), 5) << "the login directory, the object and its three computer directories";
  EXPECT_EQ(count(second, "CWD"), 1) << "the login directory: the listings tell that the others exist";
  std::printf("creating it again: %zu commands\n", second.size());
  EXPECT_EQ(tree(server, "/Obj"), exampleTree());
}

TEST_F(ObjectCreateTest, InputChecksInOrder) {
  FtpServer server(listOnly());
  server.makeDir("/Old");
  connectTo(server.port());
  const std::string title = "Ошибка ввода параметров";
  const struct {
    const char* what;
    Entry entry;
    Strings message;
  } cases[] = {
      {"no server", {-1, "Obj"}, {"Не введено наименование FTP-сервера", title}},
      {"new object without a name",
       {0, " "},
       {"Наименование объекта может содержать только латинские буквы и цифры", title}},
      {"a Windows device name",
       {0, "NUL"},
       {"Наименование объекта \"NUL\" не может быть именем папки", title}},
      {"one in small letters",
       {0, "com1"},
       {"Наименование объекта \"com1\" не может быть именем папки", title}},
      {"and mixed", {0, "LpT9"}, {"Наименование объекта \"LpT9\" не может быть именем папки", title}},
      {"no number of computers", {0, "Obj", {}}, {"Не введено количество вычислителей", title}},
      {"an empty address", {0, "Obj", {{0, 5, 1}, {0, -1, 1}}}, {"Введены не все параметры", title}},
      {"address 0", {0, "Obj", {{0, 0, 1}}}, {"Адрес вычислителя должен быть в диапазоне 1...254", title}},
      {"address 255",
       {0, "Obj", {{0, 255, 1}}},
       {"Адрес вычислителя должен быть в диапазоне 1...254", title}},
      {"a pasted address", {0, "Obj", {{0, 5, 1}}, "1x"}, {"'1x' is not a valid integer value", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    EXPECT_TRUE(create(c.entry)) << "the dialog stays open";
    EXPECT_EQ(last(), c.message);
    EXPECT_FALSE(std::filesystem::exists(server.local("/Obj")));
  }
  // Addresses 1 and 254, group 3 with three lines, and a computer repeated.
  ui.messages.clear();
  EXPECT_FALSE(create({0, "Edge", {{3, 7, 3}, {0, 1, 1}, {7, 254, 1}, {3, 7, 3}}}));
  EXPECT_EQ(tree(server, "/Edge").size(), 5u * 6);
  for (const char* d : {"v3007n1", "v3007n2", "v3007n3", "v0001n1", "v7254n1"})
    EXPECT_TRUE(std::filesystem::is_directory(server.local(std::string("/Edge/") + d + "/mesko"))) << d;
}

// An object of the server named like a Windows device, which the window refuses to open, is refused here too.
TEST_F(ObjectCreateTest, AnExistingObjectNamedLikeADeviceIsRefused) {
  FtpServer server(listOnly());
  server.makeDir("/Aux.log");
  connectTo(server.port());
  server.clearLog();
  EXPECT_TRUE(create({0, ""}));
  EXPECT_EQ(last(), (Strings{"Наименование объекта \"Aux.log\" не может быть именем папки",
                             "Ошибка ввода параметров"}));
  for (const auto& c : server.commands()) EXPECT_NE(c.rfind("MKD", 0), 0u) << c;
}

// A server without objects: the window's object list is one blank row. Only "Новый объект" is offered,
// and "Создать" without a name is refused instead of making directories in the login directory.
TEST_F(ObjectCreateTest, AServerWithoutObjectsOffersOnlyANewObject) {
  FtpServer server(listOnly());
  connectTo(server.port());
  server.clearLog();
  QStringList offered;
  bool typing = false;
  EXPECT_TRUE(create({0, ""}, [&](TFormObject_Create* d) {
    d->ComboBox1->setCurrentIndex(0);
    d->ComboBox1Click();
    for (int i = 0; i < d->ComboBox3->count(); ++i) offered << d->ComboBox3->itemText(i);
    typing = d->Edit1->isEnabled() && d->ComboBox3->currentIndex() == d->ObjectRowCount;
  }));
  EXPECT_EQ(offered, QStringList{"Новый объект"});
  EXPECT_TRUE(typing) << "the name is typed";
  EXPECT_EQ(last(), (Strings{"Не введено наименование объекта", "Ошибка ввода параметров"}));
  const Strings log = server.commands();
  EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& c) {
    return c.rfind("MKD", 0) == 0;
  })) << ::testing::PrintToString(log);
}

// The window shows a local folder while a session stays open: a failed "Создать" with another server
// and "Отменить" leave the local folder shown, under its own caption.
TEST_F(ObjectCreateTest, CancelledOverALocalFolderKeepsShowingIt) {
  FtpServer server(listOnly());
  server.makeDir("/Old");
  connectTo(server.port());
  ConnectionRecord bad = form->Settings.record(0);
  bad.setName("bad");
  bad.setPort(1);
  form->Settings.setRecord(1, bad);
  form->Settings.setConnectionCount(2);
  TempDir tree;
  std::filesystem::create_directories(tree.path() / "local-obj");
  form->Settings.setTreeDirectory(tree.cp1251());
  onModal<TFormDir_List>([](TFormDir_List* d) { d->BitBtn1->click(); });
  form->N_DirListClick();
  const std::string caption = form->windowTitle().toStdString();
  ASSERT_EQ(column(form->StringGrid1), Strings{"local-obj"});
  ASSERT_TRUE(form->Browse.Connected);
  EXPECT_TRUE(create({1, "Y"}));
  EXPECT_EQ(form->Browse.SourceMode, Source::LocalFolder);
  EXPECT_EQ(form->windowTitle().toStdString(), caption);
  EXPECT_EQ(column(form->StringGrid1), Strings{"local-obj"});
  EXPECT_EQ(form->Settings.currentConnection(), 0);
}

TEST_F(ObjectCreateTest, LookAlikesAPartialTreeAndItsCompletion) {
  FtpServer server(listOnly());
  server.makeDir("/OBJ");  // another letter case
  server.putFile("/Obj2", "a file, not a directory");
  connectTo(server.port());
  server.setFaults(R"([{"cmd":"MKD","arg":"v0005n2","action":"reply","code":550}])");
  EXPECT_TRUE(create({}));
  EXPECT_EQ(last(), (Strings{"Не удалось создать каталог /Obj/v0005n2", ""}));
  EXPECT_FALSE(toldWhileDisabled) << "the dialog is enabled and the cursor normal first";
  EXPECT_TRUE(std::filesystem::is_directory(server.local("/Obj/v0005n1/mesko"))) << "what was made stays";
  EXPECT_TRUE(std::filesystem::is_directory(server.local("/OBJ")));
  server.setFaults("[]");
  ui.messages.clear();
  EXPECT_FALSE(create({}));
  EXPECT_EQ(tree(server, "/Obj"), exampleTree()) << "the re-run completes the tree";
  EXPECT_TRUE(tree(server, "/OBJ").empty());

  // A plain file of the name counts as absent; the server then refuses the directory.
  ui.messages.clear();
  EXPECT_TRUE(create({0, "Obj2"}));
  EXPECT_EQ(last(), (Strings{"Не удалось создать каталог /Obj2", ""}));
}

// Names and paths the buffers of the stored tree cannot hold are refused before anything is made.
TEST_F(ObjectCreateTest, LongNamesAndPathsAreRefusedWhole) {
  FtpServer::Options o = listOnly();
  o.home = "/" + std::string(60, 'h');
  FtpServer server(o);
  const std::string longObject(55, 'L');
  server.makeDir(o.home + "/" + longObject);
  connectTo(server.port());
  server.clearLog();
  // The existing object of 55 characters, chosen as the window shows it.
  EXPECT_TRUE(create({0, ""}));
  EXPECT_EQ(last(), (Strings{"Наименование объекта длиннее 49 символов", "Ошибка ввода параметров"}));
  // A new name that makes the deepest path longer than 99 characters.
  const std::string name(30, 'N');
  EXPECT_TRUE(create({0, name}));
  EXPECT_EQ(last(), (Strings{"Пути к каталогам объекта " + o.home + "/" + name + " длиннее 99 символов",
                             "Ошибка ввода параметров"}));
  EXPECT_FALSE(toldWhileDisabled);
  const Strings log = server.commands();
  EXPECT_EQ(
      std::count_if(log.begin(), log.end(), [](const std::string& c) { return c.rfind("MKD", 0) == 0; }), 0);
}

TEST_F(ObjectCreateTest, ConnectionsOfferedAndTheCurrentOneAfterwards) {
  FtpServer server(listOnly());
  server.makeDir("/Old");
  make();
  useServer(server.port());
  ConnectionRecord one = form->Settings.record(0);
  ConnectionRecord objectDir = one;
  objectDir.setName("dir");
  objectDir.setAccessMode(Access::ObjectDirectory);
  ConnectionRecord bad = one;
  bad.setName("bad");
  bad.setPort(1);
  form->Settings.setRecord(0, objectDir);
  form->Settings.setRecord(1, one);
  form->Settings.setRecord(2, bad);
  form->Settings.setConnectionCount(3);
  form->Settings.setCurrentConnection(1);
  onModal<TFormConn_List>([](TFormConn_List* l) {
    l->StringGrid1Click(1);
    l->BitBtn1->click();
  });
  form->N_ServListClick();
  ASSERT_TRUE(form->Browse.Connected);

  // Only connections of the object-list kind are offered; the one shown lists its objects; another one
  // takes only a new name; a new connection of the other kind is saved but not offered.
  std::vector<std::string> items;
  bool existingOffered = false, onlyNewForOther = false;
  onModal<TFormConn_Par>([](TFormConn_Par* p) {
    p->Edit1->setText("new");
    p->Edit3->setText("127.0.0.1");
    p->Edit2->setText("21");
    p->Edit9->setText("u");
    p->Edit5->setText("p");
    p->RadioButton2->setChecked(true);
    p->ComboBoxTls->setCurrentIndex(2);
    p->BitBtn1->click();
  });
  create({1, "X"}, [&](TFormObject_Create* d) {
    for (int i = 0; i < d->ComboBox1->count(); ++i) items.push_back(d->ComboBox1->itemText(i).toStdString());
    existingOffered =
        d->ComboBox3->isEnabled() && d->ComboBox3->itemText(0) == "Old" && !d->Edit1->isEnabled();
    d->ComboBox1->setCurrentIndex(1);
    d->ComboBox1Click();
    onlyNewForOther = !d->ComboBox3->isEnabled() && d->Edit1->isEnabled();
    d->BitBtn3->click();
    items.push_back(std::to_string(d->ComboBox1->count()));
  });
  EXPECT_EQ(items, (Strings{"s", "bad", "2"}));
  EXPECT_TRUE(existingOffered);
  EXPECT_TRUE(onlyNewForOther);
  EXPECT_EQ(form->Settings.connectionCount(), 4) << "the new connection is saved";
  EXPECT_EQ(savedSettings()[0], 4);
  TlsFile tls;
  tls.load(form->DataFolder + "INI" + fsys::kSeparator + "ftp_tls.ini");
  EXPECT_EQ(tls.entry({"127.0.0.1", 21, "u"}).mode, ftp::TlsMode::Required) << "with its \"Шифрование\"";
  // "bad" could not be opened: after "Отменить" the shown connection is current again and open.
  EXPECT_EQ(form->Settings.currentConnection(), 1);
  EXPECT_TRUE(form->Browse.Connected);
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "Old");

  // A session to a connection of the one-object kind: no connection is initial, so a failed "Создать"
  // with "bad" leaves "bad" current, and the window opens it afresh (and says it cannot).
  form->Settings.setCurrentConnection(0);
  ASSERT_TRUE(form->Ftp.FtpOpen());
  ui.messages.clear();
  EXPECT_TRUE(create({1, "Y"}));
  EXPECT_EQ(form->Settings.currentConnection(), 2);
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_EQ(ui.texts(),
            (Strings{"Не выполнено соединение по IP-адресу", "Не выполнено соединение по IP-адресу"}));
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "") << "the window cleared";

  // With no connection of the object-list kind nothing can be chosen.
  form->Settings.setRecord(0, objectDir);
  form->Settings.setConnectionCount(1);
  ui.messages.clear();
  EXPECT_TRUE(create({-1, "Obj"}));
  EXPECT_EQ(last(), (Strings{"Не введено наименование FTP-сервера", "Ошибка ввода параметров"}));
}

}  // namespace
