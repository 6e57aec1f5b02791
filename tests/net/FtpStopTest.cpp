// A request that is running when the session closes, reconnects or the window gives up its wait is
// abandoned at once, in every phase, and nothing a connection's worker writes outlives the connection.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"
#include "settings/TlsFile.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"
#include "support/SessionFiles.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

long long millisSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// Far longer than any stop may take: a request that runs to its time-out fails the test.
constexpr long kLong = 30;
constexpr long long kPromptlyMs = 2000;

struct Stop : ::testing::Test, SessionParts {
  ~Stop() override { session.reset(); }  // before the TLS file it was given
  TempDir dir;
  TlsFile tls;

  void make(FtpServer::Options o, int connections) {
    server = std::make_unique<FtpServer>(std::move(o));
    session = loopbackSession(settings, browse, ui, server->port(), server->user(), "secret", kLong);
    session->setConnections(connections);
    tls.load((dir.path() / "ftp_tls.ini").string());
    session->setTlsFile(&tls);
  }
};

// Two extra connections fetch large files ahead; the action ends while they stream (or while the server
// holds the data back), and the session closes or reconnects: at once, the connections' buffers freed
// only once their workers let go of them.
TEST_F(Stop, CloseAndReconnectAbandonFetchesAhead) {
  enum class Then { Close, Reconnect };
  const struct {
    Then then;
    const char* faults;
  } cases[] = {{Then::Close, "[]"},
               {Then::Reconnect, "[]"},
               {Then::Close, R"([{"cmd":"RETR","action":"stall"}])"},
               {Then::Reconnect, R"([{"cmd":"RETR","action":"stall"}])"}};
  make({}, 3);
  const std::string big(64u << 20, 'x');
  server->putFile("/obj/a.txt", big);
  server->putFile("/obj/b.txt", big);
  browse.CurrentDirectory = "/obj";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    server->setFaults(c.faults);
    ASSERT_TRUE(session->FtpOpen());
    session->AwaitExtras();
    ASSERT_EQ(session->ExtrasReady(), 2);
    {
      FtpSession::Action action(*session);
      session->FetchAhead(
          {{FtpSession::Ahead::Kind::File, "/obj/a.txt"}, {FtpSession::Ahead::Kind::File, "/obj/b.txt"}});
      EXPECT_EQ(session->ExtrasReady(), 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto t0 = Clock::now();
    if (c.then == Then::Close) {
      session->FtpClose();
      EXPECT_LT(millisSince(t0), kPromptlyMs);
      EXPECT_FALSE(session->isOpen());
    } else {
      server->setFaults("[]");
      EXPECT_TRUE(session->FtpReconnect());
      EXPECT_LT(millisSince(t0), kPromptlyMs);
      EXPECT_EQ(downloadWhole(*session, "a.txt")->size(), big.size()) << "the new connections work";
    }
    session->FtpClose();
  }
}

// The window gives up a wait (the operator closed it): the wait hook throws, and the login under way
// ends at once in whatever phase it is, the session left closed.
TEST_F(Stop, AnAbandonedWaitEndsTheLoginInEveryPhase) {
  struct Closing {};
  const struct {
    const char* phase;
    bool unanswered;
    const char* faults;
    ftp::TlsMode tls;
    const char* lastSent;  // the last command the server got
  } cases[] = {
      {"TCP connect never answered", true, "[]", ftp::TlsMode::None, nullptr},
      {"greeting never sent", false, R"([{"cmd":"CONNECT","action":"hang"}])", ftp::TlsMode::None, nullptr},
      {"TLS handshake never answered", false, R"([{"cmd":"AUTH","action":"swallow"}])",
       ftp::TlsMode::Required, "AUTH TLS"},
      {"password never answered", false, R"([{"cmd":"PASS","action":"hang"}])", ftp::TlsMode::None,
       "PASS secret"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.phase);
    FtpServer::Options o;
    o.unanswered = c.unanswered;
    make(o, 5);
    server->setFaults(c.faults);
    TlsEntry e;
    e.mode = c.tls;
    tls.set({"127.0.0.1", static_cast<unsigned>(server->port()), server->user()}, e);
    const auto t0 = Clock::now();
    session->setWaitHook([t0] {
      if (millisSince(t0) > 200) throw Closing{};
    });
    EXPECT_THROW((void)session->FtpOpen(), Closing);
    EXPECT_LT(millisSince(t0), kPromptlyMs);
    session->FtpClose();
    EXPECT_FALSE(session->isOpen());
    EXPECT_FALSE(browse.Connected);
    const auto sent = server->commands();
    EXPECT_EQ(sent.empty() ? std::string() : sent.back(), c.lastSent ? c.lastSent : "");
    EXPECT_LT(millisSince(t0), kPromptlyMs);
    session.reset();
  }
}

}  // namespace
