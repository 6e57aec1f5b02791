#include <gtest/gtest.h>

#include "core/Cp1251.h"
#include "gas/GasFile.h"
#include "support/FtpServer.h"
#include "support/MainWindowFixture.h"
#include "support/TimeZone.h"

namespace {

const std::string kExample = "\r\n\r\nSP: 0.6800 1.0000 0.5000 750.0 0x4e4f\r\n";
const std::string kObject = "\xce\xe1\xfa\xe5\xea\xf2-1";  // "Объект-1"

struct Shown {
  std::string pn1, pn2, pn3, pn4, panel6, label19;
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
  *os << "{" << s.pn1 << ", " << s.pn2 << ", " << s.pn3 << ", " << s.pn4 << ", [" << s.panel6 << "], "
      << s.label19 << "}";
}

class GasReadTest : public MainWindowFixture {
 protected:
  Shown shown() const {
    return {form->pn1->text().toStdString(),    form->pn2->text().toStdString(),
            form->pn3->text().toStdString(),    form->pn4->text().toStdString(),
            form->Panel6->text().toStdString(), form->Label19->text().toStdString()};
  }

  void useObject(const std::string& name, const std::string& objectPath) {
    form->Browse.ObjectName = name;
    form->Browse.ObjectNameKnown = true;
    form->Browse.ObjectPath = objectPath;
    form->Browse.GasParFileName = name + "-gaspar.txt";
  }

  void connect(const FtpServer& server) {
    useServer(server.port());
    ASSERT_TRUE(form->Ftp.FtpOpen());
  }
};

TEST_F(GasReadTest, FromTheServer) {
  useTestTimeZone();
  FtpServer server;
  make();
  connect(server);
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nothing: no file
    Shown shown;
    bool cached;
  };
  const std::string listed = "05.03.09  14:07:09";  // 2009-03-05 11:07:09 UTC as listed in Moscow time
  const std::string good = "SP: 0.6800 1.0000 0.5000 750.0";
  const Case cases[] = {
      {"the example file", kExample, {"0.68", "1", "0.5", "750", listed, ""}, true},
      {"upper-case checksum",
       "\r\n\r\n" + good + " 0x4E4F\r\n",
       {"0.68", "1", "0.5", "750", listed, ""},
       true},
      {"no file", std::nullopt, {"", "", "", "", "", "Нет данных"}, false},
      {"zero length", std::string(), {"", "", "", "", "", "Нет данных"}, false},
      {"wrong checksum",
       "\r\n\r\n" + good + " 0x4e4e\r\n",
       {"", "", "", "", listed, "Несовпадение КС  данных в файле"},
       false},
      {"0X",
       "\r\n\r\n" + good + " 0X4E4F\r\n",
       {"", "", "", "", listed, "Содержимое файла не соответствует формату данных"},
       false},
      {"longer than 99 bytes",
       kExample + std::string(80, ' '),
       {"", "", "", "", listed, "Содержимое файла не соответствует формату данных"},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string obj = "/base/" + kObject;
    server.remove("/base");
    std::filesystem::remove_all(dir.path() / "REPORT" / u8"Объект-1");
    server.makeDir(obj);
    if (c.file) {
      server.putFile(obj + "/" + kObject + "-gaspar.txt", *c.file);
      server.setTime(obj + "/" + kObject + "-gaspar.txt", utcSeconds(2009, 3, 5, 11, 7, 9));
    }
    useObject(kObject, obj);
    server.clearLog();
    form->ReadGasParameters();
    EXPECT_EQ(shown(), c.shown);
    EXPECT_EQ(form->Ftp.TransferHandle, kNoHandle);
    EXPECT_EQ(form->Browse.CurrentDirectory, obj);
    const auto cache = dir.path() / "REPORT" / u8"Объект-1" / u8"Объект-1-gaspar.txt";
    EXPECT_EQ(std::filesystem::exists(cache), c.cached);
    if (c.cached) {
      EXPECT_EQ(readBytes(cache), *c.file);
    }
    if (c.file && !c.file->empty() && c.shown.pn1 == "0.68") {
      const std::string f = obj + "/" + kObject + "-gaspar.txt";
      auto log = server.commands();
      std::erase(log, "TYPE I");  // sent once per connection
      EXPECT_EQ(log, (std::vector<std::string>{"CWD " + obj, "MLST " + f, "EPSV", "RETR " + f}));
    }
  }
  EXPECT_TRUE(ui.messages.empty()) << "every outcome is shown in the status line only";

  // A server that sends half the file and says 226 without naming a size: the size the lookup of the
  // file gave tells that it came short.
  const std::string obj = "/base/" + kObject;
  server.putFile(obj + "/" + kObject + "-gaspar.txt", kExample);
  server.setFaults(R"([{"cmd":"RETR","action":"short"}])");
  {
    const FtpSession::Action action(form->Ftp);
    form->ReadGasParameters();
  }
  EXPECT_EQ(shown().label19, "Неудачная попытка чтения данных из файла");
  EXPECT_EQ(shown().pn1, "");
}

TEST_F(GasReadTest, ObjectDirectoryThatCannotBeEntered) {
  FtpServer server;
  make();
  connect(server);
  useObject("gone", "/gone");
  server.clearLog();
  form->ReadGasParameters();
  EXPECT_EQ(shown(), (Shown{"", "", "", "", "", "Неудачная попытка чтения параметров"}));
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"CWD /gone", "CWD /gone"}))
      << "two attempts, no reconnect";
}

TEST_F(GasReadTest, NameThatWouldLeaveTheCacheIsNotWritten) {
  FtpServer server;
  make();
  connect(server);
  server.makeDir("/obj");
  server.putFile("/obj/..-gaspar.txt", kExample);
  useObject("..", "/obj");
  form->ReadGasParameters();
  EXPECT_EQ(shown().pn1, "0.68");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "..-gaspar.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "REPORT" / "..-gaspar.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "REPORT"));
}

TEST_F(GasReadTest, FromALocalFolder) {
  make();
  TempDir tree;
  form->Browse.SourceMode = Source::LocalFolder;
  form->Settings.setTreeDirectory(tree.cp1251().substr(0, tree.cp1251().size() - 1));
  form->Browse.ActiveLocalDirectory = LocalDirectory::Tree;
  useObject(kObject, "");
  const auto file = tree.path() / u8"Объект-1" / u8"Объект-1-gaspar.txt";
  struct Case {
    const char* what;
    std::optional<std::string> bytes;
    Shown shown;
  };
  const Case cases[] = {
      {"written in text mode: CR CR LF",
       "\r\r\n\r\r\nSP: 0.6800 1.0000 0.5000 750.0 0x4e4f\r\r\n",
       {"0.68", "1", "0.5", "750", "", ""}},
      {"as written over FTP", kExample, {"0.68", "1", "0.5", "750", "", ""}},
      {"no file", std::nullopt, {"", "", "", "", "", "Нет данных"}},
      {"zero length", std::string(), {"", "", "", "", "", "Нет данных"}},
      {"values that do not scan",
       "SP: x 0x1234",
       {"", "", "", "", "", "Содержимое файла не соответствует формату данных"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(tree.path() / u8"Объект-1");
    std::filesystem::create_directories(file.parent_path());
    if (c.bytes) writeBytes(file, *c.bytes);
    form->ReadGasParameters();
    EXPECT_EQ(shown(), c.shown);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "REPORT")) << "no cache copy from a local folder";

  useObject("../" + kObject, "");
  form->ReadGasParameters();
  EXPECT_EQ(shown().label19, "Нет данных") << "a name with a separator is never made into a path";
}

}  // namespace
