#include <gtest/gtest.h>

#include <mutex>

#include "net/Ftp_fun.h"
#include "settings/TlsFile.h"
#include "support/HostProcess.h"
#include "support/SessionFiles.h"
#include "support/TempDir.h"
#include "support/TimeZone.h"

namespace {

using Kind = FtpSession::Ahead::Kind;

// A session for throughput on two connections, the first and the piped one, over folders /d0.. /d5
// of a file each, each of its own name and lines (which a transfer in ASCII would change); the lines
// its piped connection sent and received.
class FtpPipedTest : public ::testing::Test, public SessionParts {
 protected:
  void start(const std::string& faults, FtpServer::Options o = {}) {
    useTestTimeZone();
    session.reset();
    server = std::make_unique<FtpServer>(o);
    if (!server->skipReason().empty()) return;
    for (int i = 0; i < 6; ++i) server->putFile("/d" + std::to_string(i) + "/" + name(i), content(i));
    server->setFaults(faults);
    session = loopbackSession(settings, browse, ui, server->port(), server->user(), "secret", 2);
    session->setConnections(2);
    session->setSchedule(FtpSession::Schedule::Throughput);
    if (o.tls != FtpServer::Options::Tls::None) {  // the server's key pinned
      const auto key = ftp::serverKey(hostRun({"/bin/cat", o.certificate}), "CN = key");
      ASSERT_TRUE(key);
      tls.set({"127.0.0.1", static_cast<unsigned>(server->port()), server->user()},
              {ftp::TlsMode::Required, key->pin, ""});
      session->setTlsFile(&tls);
    }
    piped.clear();
    session->setTranscript([this](int connection, ftp::Wire kind, std::string_view line) {
      const std::lock_guard<std::mutex> lock(m);
      if (connection == 1 && kind != ftp::Wire::Note)
        piped.push_back((kind == ftp::Wire::Sent ? "> " : "< ") + std::string(line));
    });
    ASSERT_TRUE(session->FtpOpen());
    session->AwaitExtras();
  }
  std::string dir(int i) const { return server->path("/d" + std::to_string(i)); }
  static std::string name(int i) { return "f" + std::to_string(i) + ".txt"; }
  std::string file(int i) const { return dir(i) + "/" + name(i); }
  static std::string content(int i) { return "file\nof folder " + std::to_string(i) + "\n"; }

  // The listings of the first folders and more fetched ahead, until every extra connection is idle.
  void fetch(int folders, std::vector<FtpSession::Ahead> more = {}) {
    for (int i = 0; i < folders; ++i) more.push_back({Kind::Listing, dir(i)});
    session->FetchAhead(more);
    session->AwaitExtras();
  }
  // A file fetched ahead and then read by the handler in its folder.
  FtpSession::WholeFile read(int i, std::string& bytes) {
    EXPECT_TRUE(session->FtpSetCurrentDirectory(session->ConnectionHandle, dir(i)));
    return session->ReadWholeFile(name(i), bytes);
  }

  // The most commands of this verb the piped connection sent before a reply came between them.
  int sentTogether(const std::string& verb) {
    const std::lock_guard<std::mutex> lock(m);
    int run = 0, most = 0;
    for (const auto& line : piped) {
      if (line.rfind("> " + verb, 0) == 0) most = std::max(most, ++run);
      if (line[0] == '<') run = 0;
    }
    return most;
  }

  // Each folder's listing as the handler walks it.
  void expectListings(int folders) {
    for (int i = 0; i < folders; ++i) {
      ASSERT_TRUE(session->FtpSetCurrentDirectory(session->ConnectionHandle, dir(i)));
      std::vector<std::string> names;
      ftp::FindData e;
      EXPECT_EQ(session->ForEachEntry("*.*", e,
                                      [&](const ftp::FindData& f) { return names.push_back(f.name), true; }),
                FtpSession::Listing::Listed);
      EXPECT_EQ(names, std::vector<std::string>{name(i)}) << dir(i);
    }
  }

  std::mutex m;
  std::vector<std::string> piped;
  TlsFile tls;
  TempDir dir_;
};

// Listings go out together, and a file on the piped connection ends as the handler's own read would:
// read whole, refused, come short, or handed back to the first connection when its connection drops
// midway, the server refuses a passive data connection or answers what was not asked. Then another
// file on the piped connection (logged in again after a drop, in binary again). The listings go out
// together over TLS too.
TEST_F(FtpPipedTest, FilesAndListings) {
  struct Case {
    const char* faults;
    FtpSession::WholeFile result;
    bool retrPiped;    // the piped connection asked for the file
    bool tls = false;  // vsftpd over TLS, its key pinned: files come on the first connection
  };
  const Case cases[] = {
      {"[]", FtpSession::WholeFile::Read, true},
      {R"([{"cmd": "RETR", "action": "reply", "code": 550, "times": 1}])", FtpSession::WholeFile::OpenFailed,
       true},
      {R"([{"cmd": "RETR", "action": "short", "times": 1}])", FtpSession::WholeFile::ReadFailed, true},
      {R"([{"cmd": "RETR", "action": "cut", "times": 1}])", FtpSession::WholeFile::Read, true},
      {R"([{"cmd": "EPSV", "action": "reply", "code": 500, "times": 1}])", FtpSession::WholeFile::Read,
       false},
      {R"([{"cmd": "RETR", "action": "reply", "code": 550, "text": "No.\r\n226 Again.", "times": 1}])",
       FtpSession::WholeFile::OpenFailed, true},
      {"[]", FtpSession::WholeFile::Read, false, true},  // the last: skipped where vsftpd cannot run
  };
  for (const Case& c : cases) {
    FtpServer::Options o;
    if (c.tls) {
      o.kind = FtpServerKind::Vsftpd;
      o.tls = FtpServer::Options::Tls::Required;
      o.certificate = FtpServer::makeCertificate(dir_.path(), "key");
    }
    start(c.faults, o);
    if (!server->skipReason().empty()) GTEST_SKIP() << server->skipReason();
    const FtpSession::Action action(*session);
    fetch(2, {{Kind::File, file(0)}});
    EXPECT_EQ(sentTogether("STAT"), 2) << c.faults;
    server->clearLog();
    expectListings(2);
    std::string bytes;
    EXPECT_EQ(read(0, bytes), c.result) << c.faults;
    EXPECT_EQ(bytes, c.result == FtpSession::WholeFile::Read ? content(0) : bytes) << c.faults;
    const bool again = c.retrPiped && c.result != FtpSession::WholeFile::Read;
    EXPECT_EQ(sentTogether("RETR") == 1, c.retrPiped) << c.faults;
    for (const auto& line : server->commands())
      EXPECT_TRUE(line.rfind("RETR", 0) != 0 || !again) << c.faults << ": asked again: " << line;
    fetch(0, {{Kind::File, file(2)}});
    EXPECT_EQ(read(2, bytes), FtpSession::WholeFile::Read) << c.faults;
    EXPECT_EQ(bytes, content(2)) << c.faults;
  }
}

// A controller that takes one command at a time and drops the rest, and one that leaves a command
// unanswered and answers the next ones: the listings are asked again, never taken from the wrong
// reply, and from then on the session sends one command at a time on that server.
TEST_F(FtpPipedTest, OutOfStep) {
  for (const char* faults : {R"([{"cmd": "STAT", "action": "alone"}])",
                             R"([{"cmd": "STAT", "arg": "d3", "action": "hang", "times": 1}])"}) {
    start(faults);
    for (const int together : {2, 1}) {
      piped.clear();
      const FtpSession::Action action(*session);
      fetch(6);
      EXPECT_EQ(std::min(sentTogether("STAT"), 2), together)
          << faults << ": together first, then one at a time";
      expectListings(6);
    }
  }
}

}  // namespace
