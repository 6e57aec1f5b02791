// The FTP layer against each real server: pyftpdlib (raw and Telnet-reading), ProFTPD, vsftpd, Pure-FTPd
// and inetutils-ftpd (no MLSD, LIST's argument split at blanks), over a station tree whose login directory
// lies in "Станция я", with names in which "я" (byte 0xFF) stands before every kind of byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "core/FileSys.h"
#include "net/FtpTelnet.h"
#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/SessionFiles.h"
#include "support/TimeZone.h"

namespace {

using Commands = std::vector<std::string>;

const std::string kStation = "/\xd1\xf2\xe0\xed\xf6\xe8\xff \xff";             // "Станция я"
const std::string kHome = kStation + "/\xca\xee\xf2\xe5\xeb\xfc\xed\xe0\xff";  // ".../Котельная"

// "я" before т, ф, ы, ь, э, ю, я, a blank, "-" and the end, and the objects of the demo station.
const std::string kNames[] = {
    "\xcf\xff\xf2\xfb\xe9",               // Пятый
    "\xc7\xe0\xf0\xff-\xf4",              // Заря-ф
    "\xc3\xd0\xd1 \xde\xe6\xed\xe0\xff",  // ГРС Южная
    "\xff\xf4",
    "\xff\xfb",
    "\xff\xfc",
    "\xff\xfd",
    "\xff\xfe",
    "\xff\xff",
    "\xff \xff",
    "\xff-",
    "\xff",
};

bool readsTelnet(FtpServerKind k) {
  return k == FtpServerKind::ProFtpd || k == FtpServerKind::PyftpdlibTelnet || k == FtpServerKind::Inetutils;
}

bool listsWithMlsd(FtpServerKind k) {
  return k != FtpServerKind::Vsftpd && k != FtpServerKind::Inetutils;
}

class FtpServersTest : public ::testing::TestWithParam<FtpServerKind>, public SessionParts {
 protected:
  void start(double idleSeconds = 0) {
    useTestTimeZone();
    FtpServer::Options o;
    o.kind = GetParam();
    o.home = kHome;
    o.idleSeconds = idleSeconds;
    server = std::make_unique<FtpServer>(o);
    if (!server->skipReason().empty()) GTEST_SKIP() << server->skipReason();
    session = loopbackSession(settings, browse, ui, server->port(), server->user(), "secret", 3);
  }

  // Waits until the server has closed the connection of a close-after fault (at most 10 s).
  void waitUntilClosed() {
    for (int i = 0; i < 1000; ++i) {
      const auto log = server->commands();
      if (std::find(log.begin(), log.end(), "-- closed") != log.end()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the server never closed the connection";
  }

  Commands traffic() {
    auto c = server->commands();
    server->clearLog();
    return c;
  }
  HINTERNET conn() const { return session->ConnectionHandle; }
  std::string home() const { return server->path(kHome); }

  std::set<std::string> listNames() {
    std::set<std::string> out;
    ftp::FindData e;
    const HINTERNET h = session->FtpFindFirstFile(conn(), "*.*", e);
    if (h == kNoHandle) return out;
    do out.insert(e.name);
    while (session->InternetFindNextFile(h, e));
    EXPECT_TRUE(session->InternetCloseHandle(h));
    return out;
  }

  std::optional<std::string> download(const std::string& name) { return downloadWhole(*session, name); }
  bool upload(const std::string& name, const std::string& bytes) {
    return uploadWhole(*session, name, bytes);
  }

  // The names in a folder of the server's disk.
  std::set<std::string> onDisk(const std::string& below) const {
    std::set<std::string> out;
    for (const auto& e : server->entries(below)) out.insert(e.name);
    return out;
  }
};

// Every operation with every name: what the server stores and reports is exactly what was asked for,
// and the bytes on the wire follow the server's reading of 0xFF.
TEST_P(FtpServersTest, NamesWithYaReachTheServerExactly) {
  start();
  if (IsSkipped()) return;
  std::set<std::string> expected;
  for (const auto& n : kNames) {
    server->putFile(kHome + "/" + n + "/" + n + "-gaspar.txt", "SP " + n);
    expected.insert(n);
  }
  ASSERT_TRUE(session->FtpOpen());
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, home()) << "the login directory comes back exactly";
  EXPECT_EQ(listNames(), expected);
  for (const auto& n : kNames) {
    SCOPED_TRACE(n);
    traffic();
    const std::string obj = home() + "/" + n;
    ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), obj));
    ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
    EXPECT_EQ(dir, obj);
    EXPECT_EQ(listNames(), std::set<std::string>{n + "-gaspar.txt"});
    ftp::FindData e;
    const HINTERNET h = session->FtpFindFirstFile(conn(), n + "-gaspar.txt", e);
    ASSERT_NE(h, kNoHandle);
    EXPECT_EQ(e.name, n + "-gaspar.txt");
    EXPECT_EQ(e.size, n.size() + 3);
    EXPECT_TRUE(session->InternetCloseHandle(h));
    EXPECT_EQ(download(n + "-gaspar.txt"), "SP " + n);
    EXPECT_TRUE(upload(n + "-up.txt", n + "\xff\r\n"));
    EXPECT_TRUE(session->FtpCreateDirectory(conn(), obj + "/" + n + "_mk"));
    EXPECT_EQ(readBytes(server->local(kHome + "/" + n + "/" + n + "-up.txt")), n + "\xff\r\n");
    EXPECT_EQ(onDisk(kHome + "/" + n), (std::set<std::string>{n + "-gaspar.txt", n + "-up.txt", n + "_mk"}));
    const std::string sent = readsTelnet(GetParam()) ? ftp::doubleFf(obj) : obj;
    const auto log = traffic();
    EXPECT_EQ(log.front(), "CWD " + sent);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "MKD " + sent + "/" + (readsTelnet(GetParam()) ? ftp::doubleFf(n) : n) + "_mk"),
              log.end());
  }
  EXPECT_EQ(onDisk(kHome), expected) << "no object appeared under a changed name";
  EXPECT_TRUE(ui.messages.empty());
}

// The server closes the connection between two calls without a word; libcurl opens a new one by itself.
// The directory the callers entered stays the base of the next relative name.
TEST_P(FtpServersTest, SilentDropKeepsTheDirectoryEntered) {
  start();
  if (IsSkipped()) return;
  const std::string obj = kHome + "/" + kNames[0];
  server->putFile(obj + "/gas.txt", "SP 0.7000");
  ASSERT_TRUE(session->FtpOpen());
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), server->path(obj)));
  const bool mlst = listsWithMlsd(GetParam());
  // vsftpd lists one file over STAT; the others name it by its whole path there, which is not taken.
  const char* fault = mlst ? R"([{"cmd":"MLST","action":"close-after","times":1}])"
                      : GetParam() == FtpServerKind::Vsftpd
                          ? R"([{"cmd":"STAT","action":"close-after","times":1}])"
                          : R"([{"cmd":"LIST","action":"close-after","times":1}])";
  server->setFaults(fault);
  ftp::FindData e;
  HINTERNET h2 = kNoHandle;
  traffic();
  const HINTERNET h = session->FtpFindFirstFile(conn(), "gas.txt", e);
  ASSERT_NE(h, kNoHandle) << session->GetLastError() << ::testing::PrintToString(traffic());
  EXPECT_TRUE(session->InternetCloseHandle(h));
  waitUntilClosed();
  traffic();
  EXPECT_EQ(download("gas.txt"), "SP 0.7000");
  const auto log = traffic();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "USER " + server->user()) << "libcurl logged in again by itself";
  EXPECT_EQ(log.back(),
            "RETR " +
                ftp::commandText(server->path(obj), readsTelnet(GetParam()) ? ftp::CommandBytes::TelnetIac
                                                                            : ftp::CommandBytes::Raw) +
                "/gas.txt");

  // PWD on the new connection names the directory the callers entered, not the login directory.
  server->setFaults(fault);
  traffic();
  ASSERT_NE(h2 = session->FtpFindFirstFile(conn(), "gas.txt", e), kNoHandle)
      << session->GetLastError() << ::testing::PrintToString(traffic());
  EXPECT_TRUE(session->InternetCloseHandle(h2));
  waitUntilClosed();
  traffic();
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, server->path(obj));
  EXPECT_EQ(traffic().front(), "USER " + server->user());
}

// A connection the server drops during a listing, and one it closes after its idle time-out: the
// operation reports the loss (or succeeds on a new connection), and the reconnect re-enters the
// directory.
TEST_P(FtpServersTest, LostConnectionsAndTheReconnect) {
  const bool shortIdle = GetParam() != FtpServerKind::PureFtpd;  // Pure-FTPd counts idle minutes
  start(shortIdle ? 1 : 0);
  if (IsSkipped()) return;
  const std::string obj = server->path(kHome + "/" + kNames[1]);
  server->makeDir(kHome + "/" + kNames[1] + "/chakr");
  ASSERT_TRUE(session->FtpOpen());
  browse.CurrentDirectory = obj + "/chakr";
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), browse.CurrentDirectory));
  server->setFaults(R"([{"cmd":"STAT","action":"drop","times":1}])");  // every server is asked STAT first
  const auto lost = [&] {
    const uint32_t error = session->GetLastError();
    return error == ftp::kErrorInternetTimeout || error == ftp::kErrorInternetConnectionAborted;
  };
  ftp::FindData e;
  EXPECT_EQ(session->FtpFindFirstFile(conn(), "*.*", e), kNoHandle);
  // With the data connection already open libcurl may notice the loss only at its time-out.
  EXPECT_TRUE(lost()) << session->GetLastError();
  ASSERT_TRUE(session->FtpReconnect());
  std::string dir;
  ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
  EXPECT_EQ(dir, browse.CurrentDirectory);

  if (shortIdle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    if (!session->FtpSetCurrentDirectory(conn(), obj)) {
      EXPECT_TRUE(lost()) << session->GetLastError();
      ASSERT_TRUE(session->FtpReconnect());
    }
    ASSERT_TRUE(session->FtpGetCurrentDirectory(conn(), dir));
    EXPECT_TRUE(dir == obj || dir == browse.CurrentDirectory) << dir;
  }
  EXPECT_TRUE(ui.messages.empty());
}

// Every kind of transfer, many times over one connection that stays logged in. libcurl 7.88 may start a
// data connection a second late (FtpStallTest forces it); 260 transfers take a few seconds without that
// and minutes with it.
TEST_P(FtpServersTest, ManyTransfersOnOneConnectionWithoutAStall) {
  start();
  if (IsSkipped()) return;
  const std::string obj = kHome + "/" + kNames[0];
  server->putFile(obj + "/a.txt", "report");
  server->makeDir(obj + "/v0017n1");
  ASSERT_TRUE(session->FtpOpen());
  const auto t0 = std::chrono::steady_clock::now();
  // As the line clicks do: enter a folder, list it, the next folder.
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), server->path(obj + (i % 2 ? "" : "/v0017n1"))));
    ASSERT_EQ(listNames().size(), i % 2 ? 2u : 0u) << i;
  }
  for (int i = 0; i < 20; ++i) {
    ftp::FindData e;
    const HINTERNET h = session->FtpFindFirstFile(conn(), "a.txt", e);
    ASSERT_NE(h, kNoHandle) << i;
    EXPECT_EQ(e.size, 6u);
    EXPECT_TRUE(session->InternetCloseHandle(h));
    ASSERT_EQ(download("a.txt"), "report") << i;
    ASSERT_TRUE(upload("b.txt", std::to_string(i))) << i;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(seconds, 30.0);
  EXPECT_EQ(readBytes(server->local(obj + "/b.txt")), "19");
  const Commands log = traffic();
  EXPECT_EQ(std::count(log.begin(), log.end(), "USER " + server->user()), 1) << "one login for all";
}

// The gas-parameter write: a new file under a temporary name (a dot name of its own) renamed over the old
// one, and a temporary file removed; names with "я" on every server.
TEST_P(FtpServersTest, RenameOverAnExistingFileAndDelete) {
  start();
  if (IsSkipped()) return;
  const std::string obj = kHome + "/" + kNames[1];
  const std::string name = kNames[1] + "-gaspar.txt";
  const std::string temp = fsys::temporaryName();
  server->putFile(obj + "/" + name, "old");
  ASSERT_TRUE(session->FtpOpen());
  ASSERT_TRUE(session->FtpSetCurrentDirectory(conn(), server->path(obj)));
  ASSERT_TRUE(upload(temp, "new content"));
  ASSERT_TRUE(session->FtpRenameFile(conn(), temp, name)) << session->GetLastError();
  EXPECT_EQ(onDisk(obj), std::set<std::string>{name});
  EXPECT_EQ(readBytes(server->local(obj + "/" + name)), "new content");
  EXPECT_FALSE(session->FtpRenameFile(conn(), temp, name)) << "nothing left to rename";
  EXPECT_EQ(session->GetLastError(), ftp::kErrorInternetExtendedError);
  ASSERT_TRUE(upload(temp, "x"));
  EXPECT_TRUE(session->FtpDeleteFile(conn(), temp));
  EXPECT_EQ(onDisk(obj), std::set<std::string>{name});
  EXPECT_EQ(readBytes(server->local(obj + "/" + name)), "new content");
}

// Folders that are not there, listed without entering them first (as a click fetches them ahead), with
// and without a blank: a refusal, never an empty folder, also from a server that answers LIST of a
// missing path with 226 and ls's error text.
TEST_P(FtpServersTest, MissingFoldersAreRefusedNotEmpty) {
  start();
  if (IsSkipped()) return;
  server->makeDir("/plain/empty folder");
  ASSERT_TRUE(session->FtpOpen());
  for (const std::string name : {"gone", "gone folder", "empty folder"}) {
    SCOPED_TRACE(name);
    const std::string dir = server->path("/plain/" + name);
    FtpSession::Action action(*session);
    session->FetchAhead({{FtpSession::Ahead::Kind::Listing, dir}});
    const bool entered = session->FtpSetCurrentDirectory(conn(), dir);
    EXPECT_EQ(entered, name == "empty folder");
    EXPECT_EQ(entered ? 0u : ftp::kErrorInternetExtendedError, session->GetLastError());
    EXPECT_TRUE(listNames().empty()) << "the folder, or the login folder before it";
  }
  EXPECT_TRUE(ui.messages.empty());
}

// The same folders listed over STAT and, with STAT refused, over MLSD or LIST: the same names, kinds and
// file sizes, on servers without MLSD also the same order and times (both are ls's). Where MLSD gives
// times, a time asked for beside the STAT listing (MDTM) is MLSD's to the second.
TEST_P(FtpServersTest, StatListsWhatTheDataConnectionLists) {
  start();
  if (IsSkipped()) return;
  const long long recent = (std::time(nullptr) / 60 - 3 * 24 * 60) * 60;  // whole minutes, this year
  const std::string flat = "/flat-" + std::string(ftpServerKindName(GetParam()));
  for (size_t i = 0; i < 4; ++i) {
    for (const std::string& dir : {kHome + "/" + kNames[i], flat}) {
      server->putFile(dir + "/" + kNames[i] + "-alarm.txt", std::string(i * 100 + 1, 'x'));
      server->setTime(dir + "/" + kNames[i] + "-alarm.txt", recent + 60 * i + 7);
    }
  }
  server->makeDir(kHome + "/empty");
  const std::vector<std::string> folders = {home(), home() + "/" + kNames[0], home() + "/empty",
                                            server->path(flat)};
  const std::string alarm = server->path(flat) + "/" + kNames[1] + "-alarm.txt";
  const auto listEach = [&](bool stat) {
    std::vector<std::vector<ftp::FindData>> out;
    for (const auto& dir : folders) {
      FtpSession::Action action(*session);
      session->FetchAhead({{FtpSession::Ahead::Kind::Time, alarm}});
      EXPECT_TRUE(session->FtpSetCurrentDirectory(conn(), dir)) << dir;
      traffic();
      out.emplace_back();
      ftp::FindData e;
      const HINTERNET h = session->FtpFindFirstFile(conn(), "*.*", e);
      if (h == kNoHandle) continue;
      do out.back().push_back(e);
      while (session->InternetFindNextFile(h, e));
      EXPECT_TRUE(session->InternetCloseHandle(h));
      const auto log = traffic();
      if (dir == server->path(flat)) {  // a path without blanks: every server lists it over STAT
        EXPECT_EQ(std::count(log.begin(), log.end(), "EPSV"), stat ? 0 : 1) << log.size();
      }
    }
    return out;
  };
  ASSERT_TRUE(session->FtpOpen());
  const auto byStat = listEach(true);
  session->FtpClose();
  server->setFaults(R"([{"cmd":"STAT","action":"reply","code":502}])");
  session = loopbackSession(settings, browse, ui, server->port(), server->user(), "secret", 1);
  ASSERT_TRUE(session->FtpOpen());
  const auto byData = listEach(false);
  const bool mlsd = listsWithMlsd(GetParam());
  for (size_t f = 0; f < folders.size(); ++f) {
    SCOPED_TRACE(folders[f]);
    auto stat = byStat[f], data = byData[f];
    EXPECT_EQ(stat.size(), (std::vector<size_t>{5, 1, 0, 4})[f]);
    const auto byName = [](const ftp::FindData& a, const ftp::FindData& b) { return a.name < b.name; };
    if (mlsd) std::sort(stat.begin(), stat.end(), byName), std::sort(data.begin(), data.end(), byName);
    ASSERT_EQ(stat.size(), data.size());
    for (size_t i = 0; i < stat.size(); ++i) {
      EXPECT_EQ(stat[i].name, data[i].name);
      EXPECT_EQ(stat[i].attributes, data[i].attributes) << stat[i].name;
      if (stat[i].attributes != ftp::kAttrDirectory) {
        EXPECT_EQ(stat[i].size, data[i].size) << stat[i].name;
      }
      if (!mlsd || folders[f] + "/" + stat[i].name == alarm) {
        EXPECT_EQ(stat[i].lastWrite, data[i].lastWrite) << stat[i].name;
      }
    }
  }
  EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpServersTest,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::PyftpdlibTelnet,
                                           FtpServerKind::ProFtpd, FtpServerKind::Vsftpd,
                                           FtpServerKind::PureFtpd, FtpServerKind::Inetutils),
                         [](const auto& info) { return std::string(ftpServerKindName(info.param)); });

}  // namespace
