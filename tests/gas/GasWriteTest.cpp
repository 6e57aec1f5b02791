// "Изменить": new gas parameters checked, written whole (on the server through a temporary name and a
// rename, locally through a temporary file) and read back.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "gas/GasFile.h"
#include "gas/Stat_par.h"
#include "gas/Suplfunc.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kOld = gas::composeFile({0.68f, 1.0f, 0.5f, 750.0f});

// The file as written: the parameter line, its CRC-16 in four hex digits.
std::string fileWith(const std::string& line) {
  const std::string crc = [&] {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x",
                  Crc16(reinterpret_cast<const uint8_t*>(line.data()), static_cast<uint16_t>(line.size())));
    return std::string(buf);
  }();
  return "\r\n\r\n" + line + " 0x" + crc + "\r\n";
}

class GasWriteTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    server.putFile("/obj/v0017n1/sutkr/x.txt", "");
    server.putFile("/obj/obj-gaspar.txt", kOld);
  }

  // "Изменить", the four texts typed, "Записать"; a dialog still open afterwards is cancelled. Returns
  // whether it was still open, and its edits then.
  std::pair<bool, Strings> enter(const Strings& typed) {
    auto after = std::make_shared<std::pair<bool, Strings>>();
    onModal<TFormStat_Par>([this, typed, after](TFormStat_Par* d) {
      QLineEdit* edits[] = {d->Edit1, d->Edit2, d->Edit3, d->Edit4};
      for (int i = 0; i < 4; ++i) edits[i]->setText(QString::fromStdString(typed[i]));
      ui.onMessage = [this, d] { toldWhileDisabled |= !d->isEnabled() || ui.waitDepth != 0; };
      d->BitBtn1->click();
      ui.onMessage = nullptr;
      after->first = d->isVisible();
      for (QLineEdit* e : edits) after->second.push_back(e->text().toStdString());
      if (d->isVisible()) d->BitBtn2->click();
    });
    form->BitBtn1Click();
    return *after;
  }

  std::string onServer() const { return readBytes(server.local("/obj/obj-gaspar.txt")); }
  bool temporaryLeft() const {
    for (const auto& e : std::filesystem::directory_iterator(server.local("/obj"))) {
      if (e.path().filename() != "obj-gaspar.txt" && e.path().filename() != "v0017n1") return true;
    }
    return false;
  }
  // The temporary names the uploads went to: each a name of its own, renamed over the file.
  Strings temporaryNames() const {
    Strings out;
    for (const auto& c : server.commands()) {
      if (c.rfind("STOR /obj/", 0) == 0) out.push_back(c.substr(10));
    }
    return out;
  }
  Strings lastMessage() const {
    return ui.messages.empty() ? Strings{} : Strings{ui.messages.back().kind, ui.messages.back().text};
  }

  FtpServer server;
  bool toldWhileDisabled = false;  // a message came while the dialog was disabled or the hourglass up
};

TEST_F(GasWriteTest, ValuesChecksAndTheExactBytes) {
  connectTo(server.port());
  ASSERT_TRUE(form->BitBtn1->isEnabled());
  const struct {
    Strings typed;
    std::string line;  // "" = refused, nothing written
    Strings message;
  } cases[] = {
      {{"0.66", "0", "0", "630"}, "SP: 0.6600 0.0000 0.0000 630.0", {}},
      {{"1.05", "15", "15", "800"}, "SP: 1.0500 15.0000 15.0000 800.0", {}},
      {{"1.05001", "-0.000001", "0.45", "745.55"}, "SP: 1.0500 -0.0000 0.4500 745.5", {}},
      {{" 0.6812", "1.2", "0.45", "748.3 "}, "SP: 0.6812 1.2000 0.4500 748.3", {}},
      {{"0.65", "0", "0", "630"}, "", {"message", "    Значения параметров\r\nвне допустимого диапазона "}},
      {{"0.7", "0", "0", "800.1"}, "", {"message", "    Значения параметров\r\nвне допустимого диапазона "}},
      {{"0.7", "1,5", "0", "700"}, "", {"error", "'1,5' is not a valid floating point value"}},
      {{"0.7", "", "0", "700"}, "", {"message", "Введены не все параметры"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed[0] + " " + c.typed[1] + " " + c.typed[2] + " " + c.typed[3]);
    ui.messages.clear();
    const std::string before = onServer();
    const auto [open, edits] = enter(c.typed);
    if (c.line.empty()) {
      EXPECT_TRUE(open) << "the dialog stays open";
      EXPECT_EQ(edits, c.typed) << "with the operator's entries";
      EXPECT_EQ(onServer(), before) << "nothing written";
      EXPECT_EQ(lastMessage(), c.message);
      continue;
    }
    EXPECT_FALSE(open);
    EXPECT_TRUE(ui.messages.empty());
    const Strings temps = temporaryNames();
    ASSERT_FALSE(temps.empty());
    EXPECT_TRUE(fsys::temporaryFile(temps.back())) << temps.back();
    EXPECT_EQ(std::count(temps.begin(), temps.end(), temps.back()), 1) << "a name of this write's own";
    EXPECT_EQ(onServer(), fileWith(c.line));
    EXPECT_EQ(gas::verify(onServer()).status, gas::Check::Ok);
    EXPECT_FALSE(temporaryLeft());
    EXPECT_EQ(form->Label19->text().toStdString(), "") << "read back without a warning";
    EXPECT_TRUE(form->BitBtn1->isEnabled());
  }
  // The values shown are those read back from the file.
  EXPECT_EQ((Strings{form->pn1->text().toStdString(), form->pn2->text().toStdString(),
                     form->pn3->text().toStdString(), form->pn4->text().toStdString()}),
            (Strings{"0.6812", "1.2", "0.45", "748.3"}));
  EXPECT_FALSE(form->Panel6->text().isEmpty()) << "the new input time";
}

TEST_F(GasWriteTest, ServerFailuresLeaveTheOldFileWhole) {
  connectTo(server.port());
  const Strings typed{"0.7", "1", "1", "700"};
  const struct {
    const char* what;
    const char* faults;
    std::string message;
  } cases[] = {
      {"object directory refused", R"([{"cmd":"CWD","arg":"/obj","action":"reply","code":550}])",
       "Файл параметров газа не записан.\r\nНе удалось войти в каталог объекта"},
      {"connection down", R"([{"cmd":"CWD","action":"drop"},{"cmd":"CONNECT","action":"drop"}])",
       "Файл параметров газа не записан.\r\nНе удалось восстановить связь с сервером"},
      {"upload refused", R"([{"cmd":"STOR","action":"reply","code":553,"text":"Not allowed."}])",
       "Неудачная попытка открытия файла obj-gaspar.txt"},
      {"upload broken off", R"([{"cmd":"STOR","action":"cut"}])",
       "Неудачная попытка записи файла obj-gaspar.txt"},
      {"connection dropped at every upload, before its 150", R"([{"cmd":"STOR","action":"drop"}])",
       "Неудачная попытка открытия файла obj-gaspar.txt"},
      {"421 at every upload", R"([{"cmd":"STOR","action":"reply","code":421}])",
       "Неудачная попытка открытия файла obj-gaspar.txt"},
      {"rename refused", R"([{"cmd":"RNTO","action":"reply","code":550}])",
       "Неудачная попытка записи файла obj-gaspar.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    server.setFaults(c.faults);
    const auto [open, edits] = enter(typed);
    server.setFaults("[]");
    EXPECT_TRUE(open);
    EXPECT_EQ(edits, typed);
    EXPECT_EQ(lastMessage(), (Strings{"message", c.message}));
    EXPECT_EQ(onServer(), kOld) << "the old file, whole";
    EXPECT_EQ(ui.waitDepth, 0);
    if (!form->Browse.Connected) {
      ASSERT_TRUE(form->Ftp.FtpReconnect());
    }
    EXPECT_FALSE(temporaryLeft()) << "the temporary file is removed";
    EXPECT_FALSE(toldWhileDisabled) << "the dialog is enabled and the cursor normal first";
  }
  // Refused, dropped or closed with 421 once: one reconnect, then written, and so read back.
  float pressure = 700;
  for (const char* once : {R"([{"cmd":"STOR","action":"reply","code":553,"times":1}])",
                           R"([{"cmd":"STOR","action":"drop","times":1}])",
                           R"([{"cmd":"STOR","action":"reply","code":421,"times":1}])"}) {
    SCOPED_TRACE(once);
    server.setFaults(once);
    ui.messages.clear();
    const std::string p = std::to_string(static_cast<int>(++pressure));
    EXPECT_FALSE(enter({"0.7", "1", "1", p}).first);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(onServer(), fileWith("SP: 0.7000 1.0000 1.0000 " + p + ".0"));
    EXPECT_EQ(form->pn4->text().toStdString(), p) << "read back";
  }
}

TEST_F(GasWriteTest, LocalFolderWritesCrCrLfAndReadsItBack) {
  make();
  TempDir tree;
  std::filesystem::create_directories(tree.path() / "obj" / "v0017n1");
  writeBytes(tree.path() / "obj" / "obj-gaspar.txt", kOld);
  openFirstLocalObject(tree.path());
  EXPECT_FALSE(enter({"0.6812", "1.2", "0.45", "748.3"}).first);
  EXPECT_TRUE(ui.messages.empty());
  const std::string line = "SP: 0.6812 1.2000 0.4500 748.3";
  std::string expected = fileWith(line);
  std::string crcrlf;
  for (const char ch : expected) crcrlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  EXPECT_EQ(readBytes(tree.path() / "obj" / "obj-gaspar.txt"), crcrlf);
  EXPECT_EQ(form->pn4->text().toStdString(), "748.3");

  // A target that cannot be replaced (a folder of that name): the dialog stays open and tells.
  std::filesystem::remove(tree.path() / "obj" / "obj-gaspar.txt");
  std::filesystem::create_directory(tree.path() / "obj" / "obj-gaspar.txt");
  const auto [open, edits] = enter({"0.7", "1", "1", "700"});
  EXPECT_TRUE(open);
  EXPECT_EQ(lastMessage(), (Strings{"message", "Неудачная попытка записи файла obj-gaspar.txt"}));
  EXPECT_TRUE(std::filesystem::is_directory(tree.path() / "obj" / "obj-gaspar.txt"));
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tree.path() / "obj")) ++files;
  EXPECT_EQ(files, 2u) << "no temporary file left beside it";
}

}  // namespace
