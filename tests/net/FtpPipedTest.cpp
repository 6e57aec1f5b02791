#include <gtest/gtest.h>

#include <mutex>

#include "net/Ftp_fun.h"
#include "support/SessionFiles.h"
#include "support/TimeZone.h"

namespace {

using Kind = FtpSession::Ahead::Kind;

// A session for throughput on two connections, the first and the piped one, over folders /d0.. /d5
// of a file each; the lines its piped connection sent and received.
class FtpPipedTest : public ::testing::Test, public SessionParts {
 protected:
  void start(const std::string& faults) {
    useTestTimeZone();
    session.reset();
    server = std::make_unique<FtpServer>();
    for (int i = 0; i < 6; ++i) server->putFile(dir(i) + "/f.txt", "file of folder " + std::to_string(i));
    server->setFaults(faults);
    session = loopbackSession(settings, browse, ui, server->port(), "op", "secret", 2);
    session->setConnections(2);
    session->setSchedule(FtpSession::Schedule::Throughput);
    piped.clear();
    session->setTranscript([this](int connection, ftp::Wire kind, std::string_view line) {
      const std::lock_guard<std::mutex> lock(m);
      if (connection == 1 && kind != ftp::Wire::Note)
        piped.push_back((kind == ftp::Wire::Sent ? "> " : "< ") + std::string(line));
    });
    ASSERT_TRUE(session->FtpOpen());
    session->AwaitExtras();
  }
  static std::string dir(int i) { return "/d" + std::to_string(i); }

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
      EXPECT_EQ(names, std::vector<std::string>{"f.txt"}) << dir(i);
    }
  }

  std::mutex m;
  std::vector<std::string> piped;
};

// Listings go out together, and a file on the piped connection ends as the handler's own read would:
// read whole, refused, come short, or handed back to the first connection when its connection drops
// midway or the server refuses a passive data connection.
TEST_F(FtpPipedTest, FilesAndListings) {
  struct Case {
    const char* faults;
    FtpSession::WholeFile result;
    bool retrPiped;  // the piped connection asked for the file
  };
  const Case cases[] = {
      {"[]", FtpSession::WholeFile::Read, true},
      {R"([{"cmd": "RETR", "action": "reply", "code": 550}])", FtpSession::WholeFile::OpenFailed, true},
      {R"([{"cmd": "RETR", "action": "short"}])", FtpSession::WholeFile::ReadFailed, true},
      {R"([{"cmd": "RETR", "action": "cut", "times": 1}])", FtpSession::WholeFile::Read, true},
      {R"([{"cmd": "EPSV", "action": "reply", "code": 500, "times": 1}])", FtpSession::WholeFile::Read,
       false},
  };
  for (const Case& c : cases) {
    start(c.faults);
    const FtpSession::Action action(*session);
    session->FetchAhead({{Kind::Listing, dir(0)}, {Kind::Listing, dir(1)}, {Kind::File, dir(0) + "/f.txt"}});
    session->AwaitExtras();
    EXPECT_EQ(sentTogether("STAT"), 2) << c.faults;
    server->clearLog();
    expectListings(2);
    std::string bytes;
    ASSERT_TRUE(session->FtpSetCurrentDirectory(session->ConnectionHandle, dir(0)));
    EXPECT_EQ(session->ReadWholeFile("f.txt", bytes), c.result) << c.faults;
    EXPECT_EQ(bytes, c.result == FtpSession::WholeFile::Read ? "file of folder 0" : bytes) << c.faults;
    const bool again = c.retrPiped && c.result != FtpSession::WholeFile::Read;
    EXPECT_EQ(sentTogether("RETR") == 1, c.retrPiped) << c.faults;
    for (const auto& line : server->commands())
      EXPECT_TRUE(line.rfind("RETR", 0) != 0 || !again) << c.faults << ": asked again: " << line;
  }
}

// A controller that takes one command at a time and drops the rest: the dropped listings are asked
// again, and from then on the session sends one command at a time on that server.
TEST_F(FtpPipedTest, OneCommandAtATime) {
  start(R"([{"cmd": "STAT", "action": "alone"}])");
  for (const int together : {2, 1}) {
    piped.clear();
    const FtpSession::Action action(*session);
    std::vector<FtpSession::Ahead> ahead;
    for (int i = 0; i < 6; ++i) ahead.push_back({Kind::Listing, dir(i)});
    session->FetchAhead(ahead);
    session->AwaitExtras();
    EXPECT_EQ(std::min(sentTogether("STAT"), 2), together) << "tried together first, then one at a time";
    expectListings(6);
  }
}

}  // namespace
