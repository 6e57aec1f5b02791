// "Смотреть": the object's alarm file fetched or read, its window, its failures and its printout.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QScreen>
#include <QStringListModel>

#include "core/Cp1251.h"
#include "support/FtpServer.h"
#include "support/ListRows.h"
#include "support/MainWindowFixture.h"
#include "support/PrintToPdf.h"
#include "view/Alarm_view.h"
#include "view/ReportText.h"
#include "view/Report_prn.h"
#include "view/RowList.h"

namespace {

using Strings = std::vector<std::string>;

TEST(AlarmRowsTest, NonEmptyLinesInFileOrder) {
  const struct {
    std::string text;
    Strings rows;
  } cases[] = {
      {"A\r\n\r\nB\r\n", {"", "A", "B"}},       {"A\nB", {"", "A", "B"}}, {"A\fB\f", {"", "A", "B"}},
      {std::string("x\0y\r\n", 5), {"", "xy"}}, {"\r\n\n", {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(report::alarmRows(c.text), c.rows) << c.text;
}

struct Window {
  Strings rows;
  int selected, listWidth, listHeight;
  std::string lastTip;
};

Window show(const std::string& text) {
  TFormAlarm_View v;
  v.FileName = "obj-alarm.txt";
  v.Text = text.c_str();
  v.TextLength = static_cast<int32_t>(text.size());
  v.show();
  Window w{{}, v.ListBox1->currentIndex().row(), v.ListBox1->width(), v.ListBox1->height(), {}};
  w.rows = listRows(v.Rows);
  w.lastTip = v.Rows->index(v.Rows->rowCount() - 1).data(Qt::ToolTipRole).toString().toStdString();
  v.close();
  return w;
}

TEST(AlarmWindowTest, RowsSizeAndTheNewestSelected) {
  const Window three = show("A\r\n\r\nB\r\n");
  EXPECT_EQ(three.rows, (Strings{"", "A", "B"}));
  EXPECT_EQ(three.selected, 2) << "the newest message";
  EXPECT_EQ(three.listWidth, 250);
  EXPECT_EQ(three.listHeight, 140) << "3 x 17 + 2 raised to the minimum";

  std::string many;
  for (int i = 0; i < 20; ++i) many += "message " + std::to_string(i) + "\r\n";
  many += "last without a line end";
  const Window twenty = show(many);
  EXPECT_EQ(twenty.rows.back(), "last without a line end");
  EXPECT_EQ(twenty.listHeight, 22 * 17 + 2);

  const std::string wide(3000, 'W');
  const Window cut = show(wide + "\r\n");
  const QSize screen = QGuiApplication::primaryScreen()->size();
  EXPECT_EQ(cut.listWidth, screen.width() - 80);
  EXPECT_EQ(cut.lastTip, wide) << "the whole text of a cut row";
}

class AlarmTest : public MainWindowFixture {
 protected:
  // "Смотреть"; the window's rows, or nothing when no window came.
  std::optional<Strings> press(bool expectWindow = true) {
    auto shown = std::make_shared<std::optional<Strings>>();
    if (expectWindow) {
      onModal<TFormAlarm_View>([shown](TFormAlarm_View* v) {
        Strings rows;
        rows = listRows(v->Rows);
        *shown = rows;
        v->BitBtn1->click();
      });
    }
    form->BitBtn3Click();
    return *shown;
  }
  Strings lastMessage() const {
    return ui.messages.empty() ? Strings{} : Strings{ui.messages.back().text, ui.messages.back().title};
  }
};

// A few hundred messages in Windows-1251, some wider than the screen, over FTP and from the local folder
// on the cache root; then each failure of the FTP road.
TEST_F(AlarmTest, ServerAndLocalRoadsWithEveryFailure) {
  FtpServer server;
  std::string text;
  Strings expected{""};
  for (int i = 0; i < 300; ++i) {
    const std::string m = "05.03.09 14:07:" + std::to_string(i % 60) + " \xc0\xe2\xe0\xf0\xe8\xff " +
                          std::to_string(i) + (i % 50 == 0 ? std::string(400, '=') : "");
    text += m + "\r\n";
    expected.push_back(cp1251::toUtf8(m));
  }
  server.makeDir("/obj/v0017n1");
  server.putFile("/obj/obj-alarm.txt", text);
  connectTo(server.port());
  ASSERT_TRUE(form->BitBtn3->isEnabled());
  EXPECT_EQ(press(), expected);
  EXPECT_EQ(readBytes(dir.path() / "REPORT" / "obj" / "obj-alarm.txt"), text) << "the server's bytes";

  const std::string name = "obj-alarm.txt";
  const struct {
    const char* what;
    const char* faults;
    bool shown;
    Strings message;
  } cases[] = {
      // A transfer the server began is read, not opened again: no second attempt.
      {"dropped in the middle",
       R"([{"cmd":"RETR","action":"cut","times":1}])",
       false,
       {"Неудачная попытка чтения файла " + name, ""}},
      {"dropped before the transfer began, once", R"([{"cmd":"RETR","action":"drop","times":1}])", true, {}},
      {"dropped before the transfer began, always",
       R"([{"cmd":"RETR","action":"drop"}])",
       false,
       {"Неудачная попытка подсоединения к файлу " + name, ""}},
      {"object directory refused",
       R"([{"cmd":"CWD","arg":"/obj","action":"reply","code":550}])",
       false,
       {"Файл тревожных сообщений не прочитан.\r\nНе удалось войти в каталог объекта", ""}},
      {"connection down",
       R"([{"cmd":"CWD","action":"drop"},{"cmd":"CONNECT","action":"drop"}])",
       false,
       {"Файл тревожных сообщений не прочитан.\r\nНе удалось восстановить связь с сервером", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    server.setFaults(c.faults);
    EXPECT_EQ(press(c.shown).has_value(), c.shown);
    server.setFaults("[]");
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_EQ(ui.waitDepth, 0);
    if (!form->Browse.Connected) {
      ASSERT_TRUE(form->Ftp.FtpReconnect());
    }
  }
  server.putFile("/obj/obj-alarm.txt", "");
  press(false);
  EXPECT_EQ(lastMessage(),
            (Strings{"Длина файла " + name + " равна нулю.\r\n Возможно, выполняется запись сообщения", ""}));
  server.remove("/obj/obj-alarm.txt");
  press(false);
  EXPECT_EQ(lastMessage(), (Strings{"Неудачная попытка подсоединения к файлу " + name, ""}));

  // The local folder on the cache root holds the copy of the first fetch.
  form->Ftp.FtpClose();
  std::filesystem::create_directories(dir.path() / "REPORT" / "obj" / "v0017n1");
  openFirstLocalObject(dir.path() / "REPORT");
  ui.messages.clear();
  EXPECT_EQ(press(), expected);
  writeBytes(dir.path() / "REPORT" / "obj" / "obj-alarm.txt", "");
  press(false);
  EXPECT_EQ(lastMessage(), (Strings{"Длина файла сообщений " + name + " равна 0", ""}));
  std::filesystem::remove(dir.path() / "REPORT" / "obj" / "obj-alarm.txt");
  press(false);
  EXPECT_EQ(lastMessage(), (Strings{"Не найден файл", "Файл сообщений " + name + " не прочитан"}));
  std::filesystem::create_directory(dir.path() / "REPORT" / "obj" / "obj-alarm.txt");
  press(false);
  EXPECT_EQ(lastMessage(), (Strings{"Не найден файл", "Файл сообщений " + name + " не прочитан"}))
      << "a folder of that name is no file";
}

TEST_F(AlarmTest, PrintsTheRawTextBlankLinesIncluded) {
  FtpServer server;
  server.makeDir("/obj/v0017n1");
  server.putFile("/obj/obj-alarm.txt", "first alarm\r\n\r\nsecond alarm\r\nthird alarm\r\n");
  connectTo(server.port());
  onModal<TFormAlarm_View>([](TFormAlarm_View* v) {
    v->BitBtn3->click();
    v->BitBtn1->click();
  });
  const auto pages = printedPages([&] { form->BitBtn3Click(); });
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("first alarm\n\nsecond alarm\nthird alarm"), std::string::npos) << pages[0];
}

}  // namespace
