#include "overview/Checker.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "core/Formats.h"
#include "overview/OverviewText.h"
#include "support/StationTree.h"
#include "support/TempDir.h"
#include "support/TimeZone.h"

namespace {

using overview::Failure;
using overview::Gas;
using overview::ObjectRow;

// Saved connections to loopback ports, and the rows the checker reported for them.
class CheckerTest : public ::testing::Test {
 protected:
  void SetUp() override { useTestTimeZone(); }

  void add(int port, const std::string& password = "secret", Access mode = Access::ObjectList,
           const std::string& user = "op") {
    ConnectionRecord r;
    r.setName("st" + std::to_string(settings.connectionCount()));
    r.setHost("127.0.0.1");
    r.setPort(port);
    r.setUser(user);
    r.setPassword(password);
    r.setAccessMode(mode);
    settings.setRecord(settings.connectionCount(), r);
    settings.setConnectionCount(settings.connectionCount() + 1);
  }

  // Runs a check to its end; the rows by station and index, each as its last update left it.
  void check() {
    overview::CheckSetup setup;
    setup.dataFolder = dir.cp1251();
    setup.timeouts = {2, 2, 2};
    overview::Checker checker(settings, tls, setup, [this](overview::RowUpdate u) {
      const std::lock_guard<std::mutex> lock(m);
      EXPECT_FALSE((done[{u.station, u.index}])) << "a row changes after it was done";
      rows[{u.station, u.index}] = u.row;
      done[{u.station, u.index}] = u.done;
      counts[u.station] = u.count;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!checker.finished() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(checker.finished());
    for (const auto& [key, d] : done) EXPECT_TRUE(d) << "row " << key.first << "/" << key.second;
  }

  const ObjectRow& row(int station, int index) { return rows[{station, index}]; }

  // obj1 and obj2 of StationTree as the checker must report them.
  void expectTree(int station) {
    ASSERT_EQ(counts[station], 2);
    const int first = row(station, 0).object == "obj1" ? 0 : 1;  // in the server's listing order
    const ObjectRow& o1 = row(station, first);
    EXPECT_EQ(o1.object, "obj1");
    EXPECT_EQ(o1.failure, Failure::None);
    ASSERT_TRUE(o1.alarm.has_value());
    EXPECT_EQ(formats::listedTime(*o1.alarm), formats::listedTime(*fsys::localTime(StationTree::alarmUtc())));
    ASSERT_EQ(o1.lines.size(), 2u);
    EXPECT_EQ(o1.lines[0].line, "v0001n1");
    const std::array<std::string, 5> newest{" 2026.12.10  09:00", " 2026.12.09", " 2026.12.08*", " 2026.11",
                                            ""};
    EXPECT_EQ(o1.lines[0].newest, newest);
    EXPECT_EQ(o1.lines[1].newest[0], " 2026.12.10  07:00");
    EXPECT_EQ(o1.newestHourly, (overview::ReportHour{2026, 12, 10, 9}));
    EXPECT_EQ(o1.gas, Gas::Values);
    EXPECT_FLOAT_EQ(o1.values.n2, 1.25f);
    const ObjectRow& o2 = row(station, 1 - first);
    EXPECT_EQ(o2.object, "obj2");
    EXPECT_TRUE(o2.listed);
    EXPECT_TRUE(o2.lines.empty());
    EXPECT_FALSE(o2.alarm.has_value());
    EXPECT_EQ(o2.gas, Gas::Checksum);
  }

  SettingsFile settings;
  TlsFile tls;
  TempDir dir;
  std::mutex m;
  std::map<std::pair<int, int>, ObjectRow> rows;
  std::map<std::pair<int, int>, bool> done;
  std::map<int, int> counts;
};

// Every station at once: a good one, a wrong password on the same server, a closed port, a server that
// never answers, and one connection to an object's own directory. Nothing is written on the server,
// no server gets more than three connections, and the verified gas file is in the cache.
TEST_F(CheckerTest, EveryStationWithItsFailure) {
  FtpServer server;
  StationTree::make(server);
  int closedPort;
  {
    FtpServer gone;
    closedPort = gone.port();
  }
  FtpServer::Options never;
  never.unanswered = true;
  FtpServer silent(never);
  add(server.port());
  add(server.port(), "wrong");
  add(closedPort);
  add(silent.port());
  FtpServer::Options home;
  home.home = "/obj1";
  FtpServer one(home);
  StationTree::make(one);
  add(one.port(), "secret", Access::ObjectDirectory);
  check();
  expectTree(0);
  EXPECT_EQ(row(1, 0).failure, Failure::LoginRefused);
  EXPECT_EQ(row(2, 0).failure, Failure::Unreachable);
  EXPECT_EQ(row(3, 0).failure, Failure::TimedOut);
  ASSERT_EQ(counts[4], 1);
  EXPECT_EQ(row(4, 0).object, "obj1") << "the name the report files tell";
  EXPECT_EQ(row(4, 0).gas, Gas::Values);
  EXPECT_TRUE(row(4, 0).alarm.has_value());
  int logins = 0;
  for (const auto& c : server.commands()) {
    for (const char* verb : {"STOR", "DELE", "MKD", "RNFR", "RMD", "APPE"})
      EXPECT_NE(c.rfind(verb, 0), 0u) << c;
    logins += c.rfind("PASS", 0) == 0;
  }
  EXPECT_EQ(logins, 3 + 1) << "three connections, and the refused login once";
  EXPECT_TRUE(
      fsys::readFile(
          dir.cp1251() + "REPORT" + fsys::kSeparator + "obj1" + fsys::kSeparator + "obj1-gaspar.txt", 100)
          .has_value());
  EXPECT_FALSE(
      fsys::readFile(
          dir.cp1251() + "REPORT" + fsys::kSeparator + "obj2" + fsys::kSeparator + "obj2-gaspar.txt", 100)
          .has_value())
      << "a file that fails its checksum is not kept";
}

// A controller that takes one connection at a time: the station is checked on that one, as the main
// window's session works with it, whichever of the check's connections the server let in first.
TEST_F(CheckerTest, ControllerOfOneConnection) {
  FtpServer::Options o;
  o.maxConnections = 1;
  FtpServer server(o);
  StationTree::make(server);
  add(server.port());
  check();
  EXPECT_EQ(row(0, 0).failure, Failure::None) << overview::failureText(row(0, 0).failure, row(0, 0).detail);
  expectTree(0);
}

// The TLS question is never asked: the row says the operator must answer it once, and no key is saved.
TEST_F(CheckerTest, KeyAwaitsTheOperator) {
  FtpServer::Options o;
  o.kind = FtpServerKind::Vsftpd;
  o.tls = FtpServer::Options::Tls::Required;
  FtpServer server(o);
  if (!server.skipReason().empty()) GTEST_SKIP() << server.skipReason();
  const auto file = dir.path() / "ftp_tls.ini";
  tls.load(file.string());
  tls.set({"127.0.0.1", static_cast<unsigned>(server.port()), server.user()},
          {ftp::TlsMode::Required, "", ""});
  add(server.port(), "secret", Access::ObjectList, server.user());
  check();
  EXPECT_EQ(row(0, 0).failure, Failure::TlsUntrusted);
  EXPECT_FALSE(std::filesystem::exists(file));
}

class CheckerServersTest : public CheckerTest, public ::testing::WithParamInterface<FtpServerKind> {};

// Each real server as it ships: the rows the main window would show of the same tree.
TEST_P(CheckerServersTest, TreeAsTheWindowShowsIt) {
  FtpServer::Options o;
  o.kind = GetParam();
  o.home = "/st";
  FtpServer server(o);
  if (!server.skipReason().empty()) GTEST_SKIP() << server.skipReason();
  StationTree::make(server, "/st");
  add(server.port(), "secret", Access::ObjectList, server.user());
  check();
  expectTree(0);
}

INSTANTIATE_TEST_SUITE_P(Servers, CheckerServersTest,
                         ::testing::Values(FtpServerKind::ProFtpd, FtpServerKind::Vsftpd,
                                           FtpServerKind::PureFtpd, FtpServerKind::Inetutils),
                         [](const auto& info) { return std::string(ftpServerKindName(info.param)); });

// A server that drops every connection once the first line's folders are asked for: the object
// without lines was done before, the other ends as lost, and nothing waits for the time-outs.
TEST_F(CheckerTest, ServerDropsMidway) {
  FtpServer server;
  StationTree::make(server);
  server.setFaults(R"([{"cmd": "STAT", "arg": "v0001n1", "action": "drop"},
                       {"cmd": "CWD", "arg": "v0001n1", "action": "drop"}])");
  add(server.port());
  check();
  ASSERT_EQ(counts[0], 2);
  EXPECT_EQ(row(0, 0).failure, Failure::Lost);
  EXPECT_EQ(row(0, 0).lines.size(), 2u) << "what came before stays";
  EXPECT_EQ(row(0, 1).failure, Failure::None);
  EXPECT_EQ(row(0, 1).gas, Gas::Checksum);
}

// Stopping ends every check at once: a server that never answers, a gas file that hangs, and a fast
// link whose answers come quicker than the wait hook looks (no object is checked after the stop).
TEST_F(CheckerTest, StopEndsEveryCheck) {
  FtpServer::Options never;
  never.unanswered = true;
  FtpServer silent(never), hanging, fast;
  StationTree::make(hanging);
  hanging.setFaults(R"([{"cmd": "RETR", "action": "hang"}])");
  constexpr int kObjects = 300;
  for (int i = 0; i < kObjects; ++i) fast.makeDir("/o" + std::to_string(i));
  for (const FtpServer* s : {&silent, &hanging, &fast}) add(s->port());
  std::array<std::atomic<int>, 3> updates{};
  int atStop = 0;
  const auto start = std::chrono::steady_clock::now();
  {
    overview::CheckSetup setup;
    setup.dataFolder = dir.cp1251();
    overview::Checker checker(settings, tls, setup, [&](overview::RowUpdate u) { ++updates[u.station]; });
    while ((updates[1] < 2 || updates[2] < kObjects) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    checker.stop();
    atStop = updates[2];
    EXPECT_FALSE(checker.finished());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "not the 15 s time-outs";
  EXPECT_GE(updates[1], 2) << "the objects were listed before the gas files hung";
  EXPECT_GE(atStop, kObjects);
  EXPECT_LT(updates[2] - atStop, 5) << "rows still checked after the stop";
}

// Half a year of hourly reports in a line's folder (its listing over the control connection passes
// libcurl's 300 KB limit of one reply): the object is checked as with a few.
TEST_F(CheckerTest, HalfAYearOfHourlyReports) {
  FtpServer server;
  StationTree::make(server);
  for (int i = 0; i < 4000; ++i) {
    char name[80];
    std::snprintf(name, sizeof name, "/obj1/v0001n1/chakr/obj1-v0001n1-chakr-2025.%02d.%02d-%02d.txt",
                  1 + i / 672, 1 + i / 24 % 28, i % 24);
    server.putFile(name, "hourly report of some twenty bytes");
  }
  add(server.port());
  check();
  expectTree(0);
}

}  // namespace
