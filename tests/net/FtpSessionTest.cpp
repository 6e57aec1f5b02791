#include "core/ReportKind.h"
#include "net/Ftp_fun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <chrono>
#include <thread>

#include "core/Cp1251.h"
#include "settings/SettingsFile.h"
#include "support/FtpServer.h"
#include "support/Platform.h"
#include "support/RecorderUi.h"
#include "support/SessionFiles.h"
#include "support/TimeZone.h"

namespace {

using Commands = std::vector<std::string>;

FtpServer::Options options(bool mlsd, double idleSeconds = 0, std::string home = "") {
  FtpServer::Options o;
  o.mlsd = mlsd;
  o.idleSeconds = idleSeconds;
  o.home = std::move(home);
  return o;
}

const std::string kLogin[] = {"USER op", "PASS secret", "PWD", "FEAT"};
// A reconnect to the same server: its features are known from the first login.
const std::string kRelogin[] = {"USER op", "PASS secret", "PWD"};

class FtpSessionTest : public ::testing::Test, public SessionParts {
 protected:
  void start(FtpServer::Options o = {}) {
    useTestTimeZone();
    server = std::make_unique<FtpServer>(std::move(o));
    useConnection(server->port(), server->options().user, server->options().password);
  }

  void useConnection(int32_t port, const std::string& user, const std::string& password) {
    session = loopbackSession(settings, browse, ui, port, user, password, 2);
  }

  // Open, with the extra connection logged in (its login asks FEAT), so that transcripts start clean.
  void openOrFail() {
    ASSERT_TRUE(session->FtpOpen());
    session->AwaitExtras();
    server->clearLog();
  }

  // The commands the server received since the last call.
  Commands traffic() {
    auto c = server->commands();
    server->clearLog();
    return c;
  }

  HINTERNET conn() const { return session->ConnectionHandle; }

  std::vector<ftp::FindData> listAll(const std::string& pattern = "*.*") {
    std::vector<ftp::FindData> out;
    ftp::FindData e;
    const HINTERNET h = session->FtpFindFirstFile(conn(), pattern, e);
    if (h == kNoHandle) return out;
    do out.push_back(e);
    while (session->InternetFindNextFile(h, e));
    EXPECT_EQ(session->GetLastError(), ftp::kErrorNoMoreFiles);
    EXPECT_TRUE(session->InternetCloseHandle(h));
    return out;
  }

  std::optional<std::string> download(const std::string& name) { return downloadWhole(*session, name); }
  bool upload(const std::string& name, const std::string& bytes) {
    return uploadWhole(*session, name, bytes);
  }

  static Commands login(Commands tail = {}) {
    Commands c(std::begin(kLogin), std::end(kLogin));
    c.insert(c.end(), tail.begin(), tail.end());
    return c;
  }
  static Commands relogin(Commands tail = {}) {
    Commands c(std::begin(kRelogin), std::end(kRelogin));
    c.insert(c.end(), tail.begin(), tail.end());
    return c;
  }
};

// "Не выполнено соединение по IP-адресу"
const char* kNoConnection = "Не выполнено соединение по IP-адресу";

long long millisSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

TEST_F(FtpSessionTest, OpenLogsInAndReportsTheLoginDirectory) {
  start(options(true, 0, "/station/base"));
  ASSERT_TRUE(session->FtpOpen());
  EXPECT_TRUE(browse.Connected);
  EXPECT_NE(session->SessionHandle, kNoHandle);
  EXPECT_NE(session->ConnectionHandle, kNoHandle);
  EXPECT_EQ(traffic(), login());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_EQ(ui.maxWaitDepth, 1) << "the hourglass is shown while connecting";
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/station/base");
  EXPECT_TRUE(traffic().empty()) << "the login's own PWD named it";
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/station"));
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/station");
  EXPECT_EQ(traffic(), (Commands{"CWD /station", "PWD"})) << "elsewhere the server is asked";
}

TEST_F(FtpSessionTest, EveryDirectoryChangeIsARealCwd) {
  start();
  server->makeDir("/obj/v0017n1");
  openOrFail();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(session->FtpSetCurrentDirectory(conn(), "/obj"));
  EXPECT_TRUE(session->FtpSetCurrentDirectory(conn(), "v0017n1")) << "relative to the directory entered";
  EXPECT_EQ(traffic(), (Commands{"CWD /obj", "CWD /obj", "CWD /obj", "CWD /obj/v0017n1"}));
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/obj/v0017n1");

  EXPECT_FALSE(session->FtpSetCurrentDirectory(conn(), "/missing"));
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetExtendedError);
  EXPECT_FALSE(session->FtpSetCurrentDirectory(conn(), "/missing"));
  EXPECT_EQ(traffic(), (Commands{"PWD", "CWD /missing", "CWD /missing"}));
  // The refused change leaves the session where it was.
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/obj/v0017n1");
}

TEST_F(FtpSessionTest, CommandsWithControlBytesAreNeverSent) {
  start();
  openOrFail();
  for (const std::string& bad : std::vector<std::string>{"/obj\r\nDELE /x", std::string("/obj\0x", 6), ""}) {
    EXPECT_FALSE(session->FtpSetCurrentDirectory(conn(), bad));
    EXPECT_EQ(session->GetLastError(), ftp::kErrorInvalidParameter);
    EXPECT_FALSE(session->FtpCreateDirectory(conn(), bad));
  }
  ftp::FindData e;
  EXPECT_EQ(session->FtpFindFirstFile(conn(), "a\nb", e), kNoHandle);
  EXPECT_EQ(session->FtpOpenFile(conn(), "a\rb", ftp::kGenericRead), kNoHandle);
  EXPECT_TRUE(traffic().empty());
}

// The forms a listing comes in: STAT on the control connection (on a server with MLSD and on one
// without), and where the server refuses STAT, MLSD or LIST on a data connection.
enum class Form { Stat, StatNoMlsd, Mlsd, List };
const char* const kFormNames[] = {"Stat", "StatNoMlsd", "Mlsd", "List"};
class ListingForms : public FtpSessionTest, public ::testing::WithParamInterface<Form> {
 protected:
  void startIn(Form f) {
    start(options(f == Form::Stat || f == Form::Mlsd));
    if (f == Form::Mlsd || f == Form::List)
      server->setFaults(R"([{"cmd":"STAT","action":"reply","code":502}])");
  }
  bool byStat() const { return GetParam() == Form::Stat || GetParam() == Form::StatNoMlsd; }
  // The listing command's traffic of a folder (after the refusal was learnt).
  Commands listed(const std::string& dir, bool typeSwitch = true) const {
    if (byStat()) return {"STAT " + dir};
    Commands c{"EPSV"};
    if (typeSwitch) c.push_back("TYPE A");
    c.push_back((GetParam() == Form::Mlsd ? "MLSD " : "LIST ") + dir);
    return c;
  }
};

TEST_P(ListingForms, ListingGivesEntriesWithAttributesSizesAndTimes) {
  startIn(GetParam());
  // Recent files show their time of day in LIST; whole minutes so that LIST and MLSD agree.
  const long long recent = (std::time(nullptr) / 60 - 3 * 24 * 60) * 60;
  server->makeDir("/base/obj-1");
  server->makeDir("/base/\xce\xe1\xfa\xe5\xea\xf2 \xff");  // "Объект я"
  server->putFile("/base/file.txt", "12345");
  server->putFile("/base/name with spaces.txt", "");
  server->setTime("/base/obj-1", recent);
  server->setTime("/base/\xce\xe1\xfa\xe5\xea\xf2 \xff", recent + 60);
  server->setTime("/base/file.txt", recent + 120);
  std::tm midnight{};
  midnight.tm_year = 109, midnight.tm_mon = 2, midnight.tm_mday = 5, midnight.tm_isdst = -1;
  server->setTime("/base/name with spaces.txt", std::mktime(&midnight));  // 2009-03-05 00:00 local
  openOrFail();
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/base"));
  traffic();
  auto entries = listAll();
  Commands sent = listed("/base");
  if (!byStat()) sent.insert(sent.begin(), "STAT /base");
  EXPECT_EQ(traffic(), sent);
  std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
  const auto local = [](long long t) { return *fsys::localTime(static_cast<std::time_t>(t)); };
  struct Expected {
    std::string name;
    uint32_t attributes;
    uint64_t size;
    fsys::CalendarTime when;
  };
  const Expected expected[] = {
      {"file.txt", 0x80, 5, local(recent + 120)},
      {"name with spaces.txt", 0x80, 0, {2009, 3, 5, 0, 0, 0}},
      {"obj-1", 0x10, 0, local(recent)},
      {"\xce\xe1\xfa\xe5\xea\xf2 \xff", 0x10, 0, local(recent + 60)},
  };
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(entries[i].name, expected[i].name);
    EXPECT_EQ(entries[i].attributes, expected[i].attributes);
    if (expected[i].attributes != 0x10) {
      EXPECT_EQ(entries[i].size, expected[i].size);
    }
    EXPECT_TRUE(entries[i].lastWriteValid);
    EXPECT_EQ(entries[i].lastWrite, expected[i].when);
  }
}

TEST_P(ListingForms, EmptyDirectoryGivesNoMoreFiles) {
  startIn(GetParam());
  server->makeDir("/empty");
  openOrFail();
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/empty"));
  ftp::FindData e;
  EXPECT_EQ(session->FtpFindFirstFile(conn(), "*.*", e), kNoHandle);
  EXPECT_EQ(session->GetLastError(), ftp::kErrorNoMoreFiles);
}

TEST_P(ListingForms, SingleFileSearch) {
  const bool mlsd = GetParam() == Form::Stat || GetParam() == Form::Mlsd;
  startIn(GetParam());
  server->putFile("/obj/obj-gaspar.txt", "0123456789");
  server->putFile("/obj/other.txt", "x");
  openOrFail();
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/obj"));
  traffic();
  ftp::FindData e;
  const HINTERNET h = session->FtpFindFirstFile(conn(), "obj-gaspar.txt", e);
  ASSERT_NE(h, kNoHandle);
  EXPECT_EQ(e.name, "obj-gaspar.txt");
  EXPECT_EQ(e.size, 10u);
  EXPECT_EQ(e.attributes, 0x80u);
  EXPECT_TRUE(e.lastWriteValid);
  EXPECT_FALSE(session->InternetFindNextFile(h, e));
  EXPECT_TRUE(session->InternetCloseHandle(h));
  if (mlsd) {
    EXPECT_EQ(traffic(), Commands{"MLST /obj/obj-gaspar.txt"}) << "no data connection for one file";
  } else {
    Commands sent = listed("/obj/obj-gaspar.txt");
    if (!byStat()) sent.insert(sent.begin(), "STAT /obj/obj-gaspar.txt");
    EXPECT_EQ(traffic(), sent);
  }
  EXPECT_EQ(session->FtpFindFirstFile(conn(), "missing.txt", e), kNoHandle);
  EXPECT_EQ(session->GetLastError(), ftp::kErrorNoMoreFiles);
}

INSTANTIATE_TEST_SUITE_P(Forms, ListingForms,
                         ::testing::Values(Form::Stat, Form::StatNoMlsd, Form::Mlsd, Form::List),
                         [](const auto& info) {
                           return std::string(kFormNames[static_cast<int>(info.param)]);
                         });

// A server without MLSD may hand LIST's argument to ls: a folder whose path holds a blank or a wildcard
// is entered and listed without an argument (again when the server may have moved since), a file in it
// looked up in its folder's listing; other paths keep the argument. STAT, refused once, is not asked again.
TEST_F(FtpSessionTest, ListOnlyServerEntersFoldersItWouldSplit) {
  start(options(false, 0, "/st a"));
  server->putFile("/st a/f.txt", "12345");
  server->makeDir("/plain");
  server->setFaults(R"([{"cmd":"STAT","action":"reply","code":500}])");
  openOrFail();
  const struct {
    const char* what;
    std::function<size_t()> step;
    size_t found;
    Commands sent;
  } steps[] = {
      {"the login folder",
       [&] { return listAll().size(); },
       1,
       {"STAT /st a", "CWD /st a", "EPSV", "TYPE A", "LIST"}},
      {"again, after a command of ours",
       [&] {
         EXPECT_TRUE(session->FtpSetCurrentDirectory(conn(), "/st a"));
         return listAll().size();
       },
       1,
       {"CWD /st a", "CWD /st a", "EPSV", "LIST"}},
      {"a file in it", [&] { return listAll("f.txt").size(); }, 1, {"CWD /st a", "EPSV", "LIST"}},
      {"a folder without blanks",
       [&] {
         EXPECT_TRUE(session->FtpSetCurrentDirectory(conn(), "/plain"));
         return listAll().size();
       },
       0,
       {"CWD /plain", "EPSV", "LIST /plain"}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_EQ(s.step(), s.found);
    EXPECT_EQ(traffic(), s.sent);
  }
}

TEST_F(FtpSessionTest, DownloadsNormalAndEmptyFilesWhole) {
  start();
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  all += "\r\n\n\r";
  server->putFile("/obj/report.txt", all);
  server->putFile("/obj/empty.txt", "");
  openOrFail();
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/obj"));
  traffic();
  EXPECT_EQ(download("report.txt"), all);
  EXPECT_EQ(traffic(), (Commands{"EPSV", "TYPE I", "RETR /obj/report.txt"})) << "no SIZE first";
  EXPECT_EQ(download("empty.txt"), std::string());
  EXPECT_EQ(traffic(), (Commands{"EPSV", "RETR /obj/empty.txt"}));
  EXPECT_EQ(download("missing.txt"), std::nullopt);
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetExtendedError);
  traffic();
  // After a transfer libcurl would go back to the login directory before the next command.
  EXPECT_TRUE(session->FtpSetCurrentDirectory(conn(), "/obj"));
  EXPECT_EQ(listAll().size(), 2u);
  EXPECT_EQ(traffic(), (Commands{"CWD /obj", "STAT /obj"}));
}

// libcurl waits for a transfer's final reply in a blocking call: a server that sends it late (vsftpd, a
// round trip after the data) must not hold up the other connection's requests meanwhile. A file whose
// 150 named its size and whose data came whole is handed over without waiting for that reply.
TEST_F(FtpSessionTest, ALateFinalReplyHoldsUpNoOtherConnection) {
  start();
  server->putFile("/obj/gas.txt", "SP: 0.68\r\n");
  session->setConnections(2);
  openOrFail();
  for (const bool announced : {false, true}) {
    SCOPED_TRACE(announced ? "the size announced" : "no size announced");
    session->AwaitExtras();
    ASSERT_EQ(session->ExtrasReady(), 1);
    traffic();
    // The listing takes long enough for the file's data to have come before it ends.
    server->setFaults(
        std::string(R"([{"cmd":"RETR","action":"late-end","seconds":1.5,"times":1,"announce":)") +
        (announced ? "true" : "false") + R"(}, {"cmd":"STAT","action":"delay","seconds":0.3,"times":1}])");
    FtpSession::Action action(*session);
    session->FetchAhead({{FtpSession::Ahead::Kind::File, "/obj/gas.txt"}});
    ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/obj"));
    EXPECT_EQ(listAll().size(), 1u);
    EXPECT_EQ(session->ExtrasReady(), 0) << "the listing came while the file's 226 was still awaited";
    EXPECT_EQ(download("gas.txt"), "SP: 0.68\r\n");
    EXPECT_EQ(session->ExtrasReady(), announced ? 0 : 1) << "the 226 awaited only without a size";
    Commands both = traffic();
    std::sort(both.begin(), both.end());
    Commands expected{"CWD /obj", "EPSV", "RETR /obj/gas.txt", "STAT /obj"};
    if (!announced) expected.push_back("TYPE I");  // once per connection: listings need no TYPE A now
    EXPECT_EQ(both, expected);
  }
}

TEST_F(FtpSessionTest, ReadFileCopiesOutInPieces) {
  start();
  server->putFile("/f.txt", "abcdef");
  openOrFail();
  const HINTERNET h = session->FtpOpenFile(conn(), "f.txt", ftp::kGenericRead);
  ASSERT_NE(h, kNoHandle);
  char buf[4];
  uint32_t n = 0;
  ASSERT_TRUE(session->InternetReadFile(h, buf, 4, &n));
  EXPECT_EQ(std::string(buf, n), "abcd");
  ASSERT_TRUE(session->InternetReadFile(h, buf, 4, &n));
  EXPECT_EQ(std::string(buf, n), "ef");
  ASSERT_TRUE(session->InternetReadFile(h, buf, 4, &n));
  EXPECT_EQ(n, 0u);
  // Only one transfer at a time: the open file blocks the next listing.
  ftp::FindData e;
  EXPECT_EQ(session->FtpFindFirstFile(conn(), "*.*", e), kNoHandle);
  EXPECT_EQ(session->GetLastError(), ftp::kErrorFtpTransferInProgress);
  EXPECT_TRUE(session->InternetCloseHandle(h));
  EXPECT_FALSE(session->InternetCloseHandle(h)) << "a closed handle is not closed twice";
  EXPECT_FALSE(session->InternetReadFile(h, buf, 4, &n));
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInvalidHandle);
}

TEST_F(FtpSessionTest, UploadIsByteForByte) {
  start();
  server->makeDir("/obj");
  openOrFail();
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/obj"));
  traffic();
  std::string all;
  for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
  all += "line\r\nline\n";
  ASSERT_TRUE(upload("obj-gaspar.txt", all));
  EXPECT_EQ(traffic(), (Commands{"EPSV", "TYPE I", "STOR /obj/obj-gaspar.txt"}));
  EXPECT_EQ(readBytes(server->local("/obj/obj-gaspar.txt")), all);
  // An upload replaces the file whole.
  ASSERT_TRUE(upload("obj-gaspar.txt", "short"));
  EXPECT_EQ(readBytes(server->local("/obj/obj-gaspar.txt")), "short");
  server->setFaults(R"([{"cmd":"STOR","action":"reply","code":553,"text":"Not allowed."}])");
  EXPECT_FALSE(upload("refused.txt", "x"));
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetExtendedError);
}

TEST_F(FtpSessionTest, CreateDirectoryNewAndExisting) {
  start();
  openOrFail();
  EXPECT_TRUE(session->FtpCreateDirectory(conn(), "/new"));
  EXPECT_TRUE(std::filesystem::is_directory(server->local("/new")));
  EXPECT_FALSE(session->FtpCreateDirectory(conn(), "/new"));
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetExtendedError);
  EXPECT_EQ(traffic(), (Commands{"MKD /new", "MKD /new"}));
}

TEST_F(FtpSessionTest, Windows1251NamesThroughEveryOperation) {
  start();
  const std::string obj = "\xce\xe1\xfa\xe5\xea\xf2-\xff\xff";  // "Объект-яя"
  const std::string file = obj + "-gaspar.txt";
  server->putFile("/" + obj + "/" + file, "\xcf\xeb\xee\xf2\xed\xee\xf1\xf2\xfc");
  openOrFail();
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/"));
  const auto top = listAll();
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].name, obj);
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), "/" + obj));
  EXPECT_EQ(download(file), "\xcf\xeb\xee\xf2\xed\xee\xf1\xf2\xfc");
  ASSERT_TRUE(upload("\xff-up.txt", "\xff\xfe"));
  EXPECT_EQ(readBytes(server->local("/" + obj + "/\xff-up.txt")), "\xff\xfe");
  ASSERT_TRUE(session->FtpCreateDirectory(conn(), "/" + obj + "/v0017n1 \xff"));
  EXPECT_TRUE(std::filesystem::is_directory(server->local("/" + obj + "/v0017n1 \xff")));
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/" + obj);
  // The server received the bytes unchanged.
  const auto log = traffic();
  EXPECT_NE(std::find(log.begin(), log.end(), "RETR /" + obj + "/" + file), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "MKD /" + obj + "/v0017n1 \xff"), log.end());
}

TEST_F(FtpSessionTest, DroppedConnectionGives12030AndReconnectReentersTheDirectory) {
  start();
  server->makeDir("/obj/v0017n1/chakr");
  openOrFail();
  browse.CurrentDirectory = "/obj/v0017n1/chakr";
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), browse.CurrentDirectory));
  server->setFaults(R"([{"cmd":"MLSD","action":"drop","times":1}])");
  traffic();
  ftp::FindData e;
  EXPECT_EQ(session->FtpFindFirstFile(conn(), "*.*", e), kNoHandle);
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetConnectionAborted);
  traffic();
  ASSERT_TRUE(session->FtpReconnect());
  EXPECT_TRUE(browse.Connected);
  EXPECT_EQ(traffic(), relogin({"CWD /obj/v0017n1/chakr"}));
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/obj/v0017n1/chakr");
  EXPECT_TRUE(ui.messages.empty()) << "a reconnect reports nothing";
}

TEST_F(FtpSessionTest, ReconnectWhoseDirectoryIsGoneFailsButStaysConnected) {
  start();
  openOrFail();
  browse.CurrentDirectory = "/gone";
  EXPECT_FALSE(session->FtpReconnect());
  EXPECT_TRUE(browse.Connected);
  EXPECT_NE(session->ConnectionHandle, kNoHandle);
}

TEST_F(FtpSessionTest, ReconnectThatCannotConnectLeavesTheSessionClosed) {
  start();
  openOrFail();
  server->setFaults(R"([{"cmd":"CONNECT","action":"drop"}])");
  browse.CurrentDirectory = "/";
  EXPECT_FALSE(session->FtpReconnect());
  EXPECT_FALSE(browse.Connected);
  EXPECT_EQ(session->SessionHandle, kNoHandle);
  EXPECT_EQ(session->ConnectionHandle, kNoHandle);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.maxWaitDepth, 1) << "only FtpOpen showed the hourglass";
}

TEST_F(FtpSessionTest, IdleTimeoutOfTheServerBeforeTheNextCommand) {
  start(options(true, 0.5));
  server->makeDir("/obj");
  openOrFail();
  browse.CurrentDirectory = "/obj";
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  // The server said 421 and closed the idle connection: the next command finds the connection lost,
  // without sending anything, and the caller's reconnect brings the session back into its directory.
  // Under Wine the socket reports the close before the command, and libcurl sends it on a new
  // connection of its own: the command succeeds after a new login.
  const bool answered = session->FtpSetCurrentDirectory(conn(), "/obj");
  if (kWindows && answered) {
    EXPECT_EQ(traffic(), relogin({"CWD /obj"}));
  } else {
    EXPECT_FALSE(answered);
    EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetTimeout);
    EXPECT_TRUE(traffic().empty());
  }
  ASSERT_TRUE(session->FtpReconnect());
  Commands again = relogin({"CWD /obj"});
  if (answered) again.insert(again.begin(), "QUIT");  // the live connection is closed first
  EXPECT_EQ(traffic(), again);
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, "/obj");
}

TEST_F(FtpSessionTest, ServerThatNeverAnswersFailsWithinTheTimeout) {
  start();
  server->makeDir("/obj");
  openOrFail();
  server->setFaults(R"([{"cmd":"CWD","action":"hang"}])");
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(session->FtpSetCurrentDirectory(conn(), "/obj"));
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetTimeout);
  EXPECT_LT(millisSince(t0), 6000);

  server->setFaults(R"([{"cmd":"RETR","action":"stall"}])");
  server->putFile("/obj/f.txt", std::string(1000, 'x'));
  t0 = std::chrono::steady_clock::now();
  // The server began the transfer (150): the file opens, and reading it fails with the time-out.
  const HINTERNET f = session->FtpOpenFile(conn(), "/obj/f.txt", ftp::kGenericRead);
  ASSERT_NE(f, kNoHandle);
  EXPECT_EQ(session->FtpGetFileSize(f, nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetTimeout);
  char byte = 0;
  uint32_t got = 1;
  EXPECT_FALSE(session->InternetReadFile(f, &byte, 1, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(session->InternetCloseHandle(f));
  EXPECT_LT(millisSince(t0), 8000);

  server->setFaults(R"([{"cmd":"CONNECT","action":"hang"}])");
  t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(session->FtpOpen());
  EXPECT_LT(millisSince(t0), 6000);
  EXPECT_EQ(ui.texts(), Commands{kNoConnection});
  EXPECT_FALSE(browse.Connected);
  EXPECT_EQ(session->SessionHandle, kNoHandle);
}

TEST_F(FtpSessionTest, WrongPasswordAndClosedPortTellTheOperator) {
  start();
  useConnection(server->port(), "op", "wrong");
  EXPECT_FALSE(session->FtpOpen());
  EXPECT_EQ(ui.messages, (std::vector<RecorderUi::Message>{{"message", kNoConnection, ""}}));
  EXPECT_EQ(ui.waitDepthAtLastMessage, 0) << "the cursor is normal before the message";
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_FALSE(browse.Connected);
  EXPECT_EQ(session->SessionHandle, kNoHandle);
  EXPECT_EQ(session->ConnectionHandle, kNoHandle);

  // A port nobody listens on.
  ui.messages.clear();
  useConnection(unusedLoopbackPort(), "op", "secret");
  EXPECT_FALSE(session->FtpOpen());
  EXPECT_EQ(ui.texts(), Commands{kNoConnection});
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(FtpSessionTest, PortUsesItsLow16Bits) {
  start();
  useConnection(server->port() + 0x10000, "op", "secret");
  EXPECT_TRUE(session->FtpOpen());
  useConnection(static_cast<int32_t>(0xFFFF0000u | static_cast<uint32_t>(server->port())), "op", "secret");
  EXPECT_TRUE(session->FtpOpen());
}

TEST_F(FtpSessionTest, CloseTwiceIsHarmlessAndSendsQuitOnce) {
  start();
  openOrFail();
  session->FtpClose();
  EXPECT_FALSE(browse.Connected);
  EXPECT_EQ(session->SessionHandle, kNoHandle);
  EXPECT_EQ(session->ConnectionHandle, kNoHandle);
  EXPECT_EQ(session->TransferHandle, kNoHandle);
  session->FtpClose();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(traffic(), Commands{"QUIT"});
  std::string dir;
  EXPECT_FALSE(session->FtpGetCurrentDirectory(session->ConnectionHandle, dir));
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInvalidHandle);
}

class EnterKindDirectoryTest : public FtpSessionTest {
 protected:
  void SetUp() override {
    start();
    server->makeDir("/base/obj/v0017n1/sutko");
    browse.ObjectPath = "/base/obj";
    browse.ComputerDir = "v0017n1";
    openOrFail();
  }
};

TEST_F(EnterKindDirectoryTest, Cases) {
  struct Case {
    const char* name;
    int kind;
    const char* faults;
    int result;
    Commands traffic;
  };
  const Case cases[] = {
      {"entered", 2, "[]", 0, {"CWD /base/obj/v0017n1/sutko"}},
      {"missing: two attempts, no reconnect",
       0,
       "[]",
       1,
       {"CWD /base/obj/v0017n1/chakr", "CWD /base/obj/v0017n1/chakr"}},
      {"other error: second attempt at once",
       2,
       R"([{"cmd":"CWD","action":"reply","code":450,"times":1}])",
       0,
       {"CWD /base/obj/v0017n1/sutko", "CWD /base/obj/v0017n1/sutko"}},
      {"dropped once: one reconnect, entered",
       2,
       R"([{"cmd":"CWD","action":"drop","times":1}])",
       0,
       {"CWD /base/obj/v0017n1/sutko", "USER op", "PASS secret", "PWD", "CWD /base/obj/v0017n1/sutko",
        "CWD /base/obj/v0017n1/sutko"}},
      {"dropped always: connection lost",
       2,
       R"([{"cmd":"CWD","action":"drop"}])",
       2,
       {"CWD /base/obj/v0017n1/sutko", "USER op", "PASS secret", "PWD", "CWD /base/obj/v0017n1/sutko"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server->setFaults(c.faults);
    traffic();
    EXPECT_EQ(session->EnterKindDirectory(kReportKinds[c.kind]), c.result);
    EXPECT_EQ(browse.CurrentDirectory, "/base/obj/v0017n1/" + std::string(kindCode(kReportKinds[c.kind])));
    EXPECT_EQ(traffic(), c.traffic);
    server->setFaults("[]");
    if (!browse.Connected || c.result == 2) {
      ASSERT_TRUE(session->FtpOpen());
    }
  }
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
