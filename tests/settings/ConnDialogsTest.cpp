#include <gtest/gtest.h>

#include <map>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "settings/Conn_list.h"
#include "settings/Conn_par.h"
#include "settings/TlsFile.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"

namespace {

using Messages = std::vector<RecorderUi::Message>;

struct Fields {
  QString name, host, port, user, password;
  bool objectMode = false;
  int tls = 0;  // the index of "Шифрование"
};

void fill(TFormConn_Par* p, const Fields& f) {
  p->Edit1->setText(f.name);
  p->Edit3->setText(f.host);
  p->Edit2->setText(f.port);
  p->Edit9->setText(f.user);
  p->Edit5->setText(f.password);
  (f.objectMode ? p->RadioButton2 : p->RadioButton1)->setChecked(true);
  p->ComboBoxTls->setCurrentIndex(f.tls);
}

class ConnDialogsTest : public MainWindowFixture {
 protected:
  // Runs the connection list; act works on it while it is open.
  bool runList(std::function<void(TFormConn_List*)> act) {
    onModal<TFormConn_List>([act](TFormConn_List* l) {
      act(l);
      if (l->isVisible()) l->BitBtn6->click();
    });
    TFormConn_List list(form->Settings, form->SettingsPath, form->Ftp, ui, form.get());
    list.exec();
    return list.Opened;
  }

  // Clicks a button of the list that opens the parameter dialog, which is filled and accepted.
  static void editWith(QPushButton* button, const Fields& f, std::function<void(TFormConn_Par*)> check = {}) {
    onModal<TFormConn_Par>([f, check](TFormConn_Par* p) {
      if (check) check(p);
      fill(p, f);
      p->BitBtn1->click();
      if (p->isVisible()) p->BitBtn2->click();
    });
    button->click();
  }

  static std::vector<std::string> rows(TFormConn_List* l) {
    std::vector<std::string> out;
    for (int r = 0; r < l->StringGrid1->rowCount(); ++r) out.push_back(l->StringGrid1->cell(0, r));
    return out;
  }

  static int rowOf(TFormConn_List* l, const std::string& text) { return l->StringGrid1->findRow(0, text); }

  static std::vector<bool> enabled(TFormConn_List* l) {
    return {l->BitBtn1->isEnabled(), l->BitBtn2->isEnabled(), l->BitBtn3->isEnabled(),
            l->BitBtn4->isEnabled(), l->BitBtn5->isEnabled(), l->BitBtn6->isEnabled()};
  }
};

// The TLS choice lives in ftp_tls.ini under server, port and user: the copy starts with its source's,
// a changed server takes it along, a deletion drops it, a change that other records share is asked;
// ftp_conn.ini never holds it.
TEST_F(ConnDialogsTest, TlsChoiceFollowsItsRecord) {
  make();
  const auto saved = [&] {
    TlsFile f;
    f.load(form->DataFolder + "INI" + fsys::kSeparator + "ftp_tls.ini");
    std::map<std::string, int> out;
    for (const char* host : {"h1", "h2", "h3"}) {
      const int mode = static_cast<int>(f.entry({host, 21, "u"}).mode);
      if (mode) out[host] = mode;
    }
    return out;
  };
  using Saved = std::map<std::string, int>;
  std::vector<Saved> steps;
  int seenByCopy = -1;
  std::vector<int> shownAfterNo;
  runList([&](TFormConn_List* l) {
    editWith(l->BitBtn2, {"A", "h1", "21", "u", "p", false, 2});
    steps.push_back(saved());
    editWith(l->BitBtn3, {"B", "h2", "21", "u", "p", false, 1},
             [&](TFormConn_Par* p) { seenByCopy = p->ComboBoxTls->currentIndex(); });
    steps.push_back(saved());
    l->StringGrid1Click(0);
    editWith(l->BitBtn4, {"A", "h3", "21", "u", "p", false, 2});
    steps.push_back(saved());
    l->StringGrid1Click(1);
    ui.answers = {true};
    l->BitBtn5->click();
    steps.push_back(saved());
    // A copy to the same server with another choice would change the original's too: asked first, "Нет"
    // preset; a no keeps the dialog open showing the server's choice, a yes changes it for both.
    for (const bool yes : {false, true}) {
      ui.answers = {yes};
      onModal<TFormConn_Par>([&](TFormConn_Par* p) {
        fill(p, {"C", "h3", "21", "u", "p", false, 0});
        p->BitBtn1->click();
        shownAfterNo.push_back(p->isVisible() ? p->ComboBoxTls->currentIndex() : -1);
        if (p->isVisible()) p->BitBtn2->click();
      });
      l->StringGrid1Click(0);
      l->BitBtn3->click();
      steps.push_back(saved());
    }
  });
  EXPECT_EQ(seenByCopy, 2);
  EXPECT_EQ(steps,
            (std::vector<Saved>{
                {{"h1", 2}}, {{"h1", 2}, {"h2", 1}}, {{"h2", 1}, {"h3", 2}}, {{"h3", 2}}, {{"h3", 2}}, {}}));
  EXPECT_EQ(shownAfterNo, (std::vector<int>{2, -1}));
  const RecorderUi::Message asked{"ask",
                                  "Шифрование задается для сервера, порта и пользователя, а не для одного "
                                  "соединения. Его же используют соединения: «A».\n\nЗаменить «Только TLS» "
                                  "на «Нет» для всех этих соединений?",
                                  "Шифрование", Ui::Answer::No};
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[1], asked);
  EXPECT_EQ(ui.messages[2], asked);
  EXPECT_EQ(savedSettings().size(), 4196u);
}

TEST_F(ConnDialogsTest, EmptyListOffersOnlyCreateAndCancel) {
  make();
  std::vector<bool> seen;
  std::string caption;
  QSize size;
  runList([&](TFormConn_List* l) {
    seen = enabled(l);
    caption = l->windowTitle().toStdString();
    size = l->size();
  });
  EXPECT_EQ(seen, (std::vector<bool>{false, true, false, false, false, true}));
  EXPECT_EQ(caption, " Соединение с FTP- сервером");
  EXPECT_EQ(size, QSize(468, 346));
}

TEST_F(ConnDialogsTest, CreateCopyChangeDeleteAndTheFileAfterEachStep) {
  make();
  std::vector<std::vector<std::string>> lists;
  std::vector<std::string> files;
  runList([&](TFormConn_List* l) {
    const auto step = [&] {
      lists.push_back(rows(l));
      files.push_back(savedSettings());
    };
    editWith(l->BitBtn2, {"  Станция 1 ", " 10.0.0.1", "2121", "оператор", "пароль"});
    step();
    editWith(l->BitBtn2, {"Станция 2", "ftp.example", "21", "u2", "p2", true});
    step();
    // The copy starts with an empty name and keeps the rest of the selected record.
    Fields seenByCopy;
    editWith(l->BitBtn3, {"Копия", "ftp.example", "21", "u2", "p2", true}, [&](TFormConn_Par* p) {
      seenByCopy = {p->Edit1->text(), p->Edit3->text(), p->Edit2->text(),
                    p->Edit9->text(), p->Edit5->text(), p->RadioButton2->isChecked()};
    });
    EXPECT_EQ(seenByCopy.name, QString());
    EXPECT_EQ(seenByCopy.host, QStringLiteral("ftp.example"));
    EXPECT_TRUE(seenByCopy.objectMode);
    step();
    // Change the first record.
    QTest::mouseClick(l->StringGrid1->viewport(), Qt::LeftButton, {},
                      l->StringGrid1->visualItemRect(l->StringGrid1->item(0, 0)).center());
    EXPECT_EQ(l->SelectedRow, 0);
    editWith(l->BitBtn4, {"Станция 1", "10.0.0.9", "21", "оператор", "новый"});
    step();
    // Delete the second: the question names it; the first becomes selected.
    l->StringGrid1Click(1);
    ui.answers = {true};
    l->BitBtn5->click();
    step();
  });
  ASSERT_EQ(lists.size(), 5u);
  EXPECT_EQ(lists[0], std::vector<std::string>{"  \xd1\xf2\xe0\xed\xf6\xe8\xff 1"});
  EXPECT_EQ(lists[2].size(), 3u);
  EXPECT_EQ(lists[2][2], "  \xca\xee\xef\xe8\xff");
  EXPECT_EQ(lists[4],
            (std::vector<std::string>{"  \xd1\xf2\xe0\xed\xf6\xe8\xff 1", "  \xca\xee\xef\xe8\xff"}));
  EXPECT_EQ(ui.messages, (Messages{{"ask", "Удалить FTP-соединение из списка?", "Станция 2"}}));

  const std::string st1 = "\xd1\xf2\xe0\xed\xf6\xe8\xff 1";
  const std::string st2 = "\xd1\xf2\xe0\xed\xf6\xe8\xff 2";
  const std::string op = "\xee\xef\xe5\xf0\xe0\xf2\xee\xf0";
  const std::string pw = "\xef\xe0\xf0\xee\xeb\xfc";
  const std::string copy = "\xca\xee\xef\xe8\xff";
  // After the first creation: trimmed texts, one record, the rest of the slots as loaded (Port 21).
  EXPECT_EQ(files[0].size(), 4196u);
  EXPECT_EQ(files[0][0], 1);
  EXPECT_EQ(recordOf(files[0], 0), rawRecord(st1, "10.0.0.1", 2121, op, pw));
  EXPECT_EQ(recordOf(files[1], 1), rawRecord(st2, "ftp.example", 21, "u2", "p2", 0, 1));
  EXPECT_EQ(files[2][0], 3);
  EXPECT_EQ(recordOf(files[2], 2), rawRecord(copy, "ftp.example", 21, "u2", "p2", 0, 1));
  EXPECT_EQ(recordOf(files[3], 0), rawRecord(st1, "10.0.0.9", 21, op, "\xed\xee\xe2\xfb\xe9"));
  // After the deletion: the copy moved up, the slot after the last record is all zero bytes.
  EXPECT_EQ(files[4][0], 2);
  EXPECT_EQ(files[4][1], 0) << "CurrentConnection follows the selection";
  EXPECT_EQ(recordOf(files[4], 1), rawRecord(copy, "ftp.example", 21, "u2", "p2", 0, 1));
  EXPECT_EQ(recordOf(files[4], 2), std::string(304, '\0'));
}

TEST_F(ConnDialogsTest, DeletionSelectionRules) {
  make();
  for (int i = 0; i < 5; ++i) {
    ConnectionRecord r;
    r.setName("c" + std::to_string(i));
    form->Settings.setRecord(i, r);
  }
  form->Settings.setConnectionCount(5);
  form->Settings.setCurrentConnection(2);
  std::vector<int> selected;
  runList([&](TFormConn_List* l) {
    EXPECT_EQ(l->SelectedRow, 2) << "the list starts on the current connection";
    ui.answers = {false, true, true};
    l->BitBtn5->click();  // "no": nothing happens
    EXPECT_EQ(rows(l).size(), 5u);
    l->BitBtn5->click();  // third of five -> the second is selected
    selected.push_back(l->SelectedRow);
    l->StringGrid1Click(0);
    l->BitBtn5->click();  // the first -> the new first
    selected.push_back(l->SelectedRow);
    EXPECT_EQ(rows(l), (std::vector<std::string>{"  c1", "  c3", "  c4"}));
  });
  EXPECT_EQ(selected, (std::vector<int>{1, 0}));
  EXPECT_EQ(form->Settings.connectionCount(), 3);

  // Deleting the only connection leaves an empty list.
  form->Settings.setConnectionCount(1);
  runList([&](TFormConn_List* l) {
    ui.answers = {true};
    l->BitBtn5->click();
    EXPECT_EQ(enabled(l), (std::vector<bool>{false, true, false, false, false, true}));
  });
  const std::string file = savedSettings();
  EXPECT_EQ(file[0], 0);
  EXPECT_EQ(file[1], 0);
  EXPECT_EQ(file.substr(2, 3040), std::string(3040, '\0'));
}

TEST_F(ConnDialogsTest, TenConnectionsDisableCreateAndCopy) {
  make();
  form->Settings.setConnectionCount(10);
  std::vector<bool> seen;
  runList([&](TFormConn_List* l) { seen = enabled(l); });
  EXPECT_EQ(seen, (std::vector<bool>{true, false, false, true, true, true}));
}

TEST_F(ConnDialogsTest, ParameterChecksInOrder) {
  make();
  struct Case {
    const char* what;
    Fields fields;
    Messages messages;
    bool accepted;
  };
  const Messages none;
  const char* title = "Ошибка ввода параметров";
  const Case cases[] = {
      {"empty name", {"", "h", "21", "u", "p"}, {{"message", "Введены не все параметры", title}}, false},
      {"empty password", {"n", "h", "21", "u", ""}, {{"message", "Введены не все параметры", title}}, false},
      {"blank name passes and is stored empty", {"   ", "h", "21", "u", "p"}, none, true},
      {"port above 65535",
       {"n", "h", "65536", "u", "p"},
       {{"message", "Номер порта должен быть в диапазоне 1...65535", title}},
       false},
      {"port 0",
       {"n", "h", "0", "u", "p"},
       {{"message", "Номер порта должен быть в диапазоне 1...65535", title}},
       false},
      {"pasted text that is no number",
       {"n", "h", "12a", "u", "p"},
       {{"error", "'12a' is not a valid integer value", ""}},
       false},
      {"name the code page cannot hold",
       {"站 1", "h", "21", "u", "p"},
       {{"message", "Поле \"Имя соединения\" содержит символы, которых нет в кодировке Windows-1251", title}},
       false},
      {"password with an emoji",
       {"n", "h", "21", "u", "p😀"},
       {{"message", "Поле \"Пароль на доступ\" содержит символы, которых нет в кодировке Windows-1251",
         title}},
       false},
      {"all right", {"n", "h", "65535", "u", "p"}, none, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    ConnectionRecord buffer;
    buffer.setLastObjectRow(77);
    const ConnectionRecord before = buffer;
    TFormConn_Par par(buffer, TFormConn_Par::New, ui, form.get());
    onModal<TFormConn_Par>([&](TFormConn_Par* p) {
      fill(p, c.fields);
      p->BitBtn1->click();
      if (p->isVisible()) p->BitBtn2->click();
    });
    par.exec();
    EXPECT_EQ(ui.messages, c.messages);
    EXPECT_EQ(par.Accepted, c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(buffer, before) << "the caller's record is untouched";
    } else {
      EXPECT_EQ(buffer.lastObjectRow(), 77) << "bytes 204.. keep the copied record's values";
      EXPECT_EQ(buffer.name(), c.fields.name.trimmed().toStdString());
    }
  }
}

TEST_F(ConnDialogsTest, PortBoxKeepsTypedDigitsOnly) {
  make();
  ConnectionRecord buffer;
  TFormConn_Par par(buffer, TFormConn_Par::New, ui, form.get());
  QString typed;
  onModal<TFormConn_Par>([&](TFormConn_Par* p) {
    QTest::keyClicks(p->Edit2, "2a1-b. 9");
    QTest::keyClick(p->Edit2, Qt::Key_Backspace);
    QTest::keyClicks(p->Edit2, "8");
    typed = p->Edit2->text();
    p->BitBtn2->click();
  });
  par.exec();
  EXPECT_EQ(typed, QStringLiteral("218"));
  EXPECT_FALSE(par.Accepted);
}

TEST_F(ConnDialogsTest, ChangeShowsTheRecord) {
  make();
  ConnectionRecord buffer;
  buffer.setName("\xc8\xec\xff");
  buffer.setHost("h");
  buffer.setPort(2100);
  buffer.setUser("u");
  buffer.setPassword("p");
  buffer.setAccessMode(Access::ObjectDirectory);
  TFormConn_Par par(buffer, TFormConn_Par::Change, ui, form.get());
  Fields seen;
  onModal<TFormConn_Par>([&](TFormConn_Par* p) {
    seen = {p->Edit1->text(), p->Edit3->text(), p->Edit2->text(),
            p->Edit9->text(), p->Edit5->text(), p->RadioButton2->isChecked()};
    EXPECT_EQ(p->Edit5->echoMode(), QLineEdit::Password);
    EXPECT_EQ(p->Edit1->maxLength(), 49);
    EXPECT_EQ(p->Edit2->maxLength(), 5);
    EXPECT_EQ(p->size(), QSize(420, 424));
    EXPECT_EQ(p->windowTitle(), QString());
    p->BitBtn2->click();
  });
  par.exec();
  EXPECT_EQ(seen.name, QStringLiteral("Имя"));
  EXPECT_EQ(seen.port, QStringLiteral("2100"));
  EXPECT_TRUE(seen.objectMode);
}

TEST_F(ConnDialogsTest, FailedConnectionKeepsTheListOpenAndTheChoiceSaved) {
  FtpServer server;
  make();
  ConnectionRecord good;
  good.setName("good");
  good.setHost("127.0.0.1");
  good.setPort(server.port());
  good.setUser("op");
  good.setPassword("secret");
  ConnectionRecord bad = good;
  bad.setName("bad");
  bad.setPassword("wrong");
  form->Settings.setRecord(0, good);
  form->Settings.setRecord(1, bad);
  form->Settings.setConnectionCount(2);
  ASSERT_TRUE(form->Ftp.FtpOpen());
  bool stillOpen = false;
  const bool opened = runList([&](TFormConn_List* l) {
    l->StringGrid1Click(1);
    l->BitBtn1->click();
    stillOpen = l->isVisible();
    EXPECT_TRUE(l->Panel1->isEnabled());
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(form->Browse.Connected) << "the previous session was closed first";
  EXPECT_EQ(ui.texts(), std::vector<std::string>{"Не выполнено соединение по IP-адресу"});
  EXPECT_EQ(savedSettings()[1], 1) << "the chosen record is current, already saved";

  EXPECT_TRUE(runList([&](TFormConn_List* l) { l->StringGrid1DblClick(0); }));
  EXPECT_TRUE(form->Browse.Connected);
}

TEST_F(ConnDialogsTest, DeletingWhileConnectedKeepsTheSessionOnItsOwnRecord) {
  FtpServer server;
  server.makeDir("/obj/v0017n1");
  make();
  ConnectionRecord r;
  r.setHost("127.0.0.1");
  r.setPort(server.port());
  r.setUser("op");
  r.setPassword("secret");
  for (int i = 0; i < 4; ++i) {
    r.setName("c" + std::to_string(i));
    form->Settings.setRecord(i, r);
  }
  form->Settings.setConnectionCount(4);
  const auto deleteThenCancel = [&](const std::string& name) {
    onModal<TFormConn_List>([&, name](TFormConn_List* l) {
      l->StringGrid1Click(rowOf(l, "  " + name));
      ui.answers = {true};
      l->BitBtn5->click();
      l->BitBtn6->click();
    });
    form->N_ServListClick();
  };
  onModal<TFormConn_List>([](TFormConn_List* l) {
    l->StringGrid1Click(2);
    l->BitBtn1->click();
  });
  form->N_ServListClick();
  const QString connected = form->windowTitle();

  // Records before and after the session's own: the session stays, its record stays current.
  for (const char* other : {"c0", "c3"}) {
    SCOPED_TRACE(other);
    deleteThenCancel(other);
    EXPECT_TRUE(form->Browse.Connected);
    EXPECT_EQ(form->Settings.current().name(), "c2");
    EXPECT_EQ(form->windowTitle(), connected);
    EXPECT_EQ(form->StringGrid2->cell(0, 0), "v0017n1");
  }
  EXPECT_EQ(savedSettings()[1], 1) << "c2 is now the second record, saved as current";
  form->BitBtn2Click();
  EXPECT_EQ(form->Browse.ObjectName, "obj");
  EXPECT_TRUE(ui.messages.size() == 2u) << "the two questions only";

  // The session's own record: the session ends and the window is cleared.
  deleteThenCancel("c2");
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_EQ(form->windowTitle().toStdString(), " Просмотр/печать  отчетов");
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "");
  EXPECT_EQ(form->StringGrid2->cell(0, 0), "");
  EXPECT_EQ(form->Settings.connectionCount(), 1);
  EXPECT_EQ(form->Settings.current().name(), "c1");
}

}  // namespace
