// libcurl 7.88 starts a passive data connection a second late when the reply to EPSV is already there
// the moment it first looks for it. On a fast link that happens by chance; a pause right after libcurl
// has sent EPSV makes it happen on every request, so that a return of the late start cannot hide.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

#include "net/FtpConnection.h"
#include "net/Ftp_fun.h"
#include "support/FtpServer.h"

namespace {

int pauseAfterEpsv(CURL*, curl_infotype type, char* data, size_t size, void*) {
  if (type == CURLINFO_HEADER_OUT && std::string_view(data, size).starts_with("EPSV")) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  return 0;
}

size_t collect(char* data, size_t size, size_t n, void* out) {
  static_cast<std::string*>(out)->append(data, size * n);
  return size * n;
}

TEST(FtpStallTest, ListingsAndDownloadsDoNotWaitForALateDataConnection) {
  FtpServer server;
  server.putFile("/d/a.txt", "report");
  ftp::Connection c;
  c.curl = curl_easy_init();
  c.root = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";
  c.user = "op";
  c.password = "secret";
  const ftp::Timeouts t;
  uint32_t error = 0;
  ASSERT_TRUE(c.login(t, true, error)) << error;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) {
    std::string body;
    const bool listing = i % 4 != 3;
    c.prepare(t, listing ? c.directoryUrl("/d") : c.url("/d/a.txt"));
    if (listing) curl_easy_setopt(c.curl, CURLOPT_CUSTOMREQUEST, "MLSD");
    curl_easy_setopt(c.curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c.curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(c.curl, CURLOPT_DEBUGFUNCTION, pauseAfterEpsv);
    curl_easy_setopt(c.curl, CURLOPT_VERBOSE, 1L);
    long code = 0;
    ASSERT_EQ(c.perform(code), CURLE_OK) << i;
    EXPECT_NE(body.find(listing ? "a.txt" : "report"), std::string::npos) << i;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(seconds, 30.0) << "a one-second stall would take minutes";
  // All of it on the one control connection.
  long code = 0;
  ASSERT_EQ(c.command(t, {"NOOP"}, code), CURLE_OK);
  EXPECT_FALSE(c.reconnected());
  const auto log = server.commands();
  EXPECT_EQ(std::count(log.begin(), log.end(), "USER op"), 1);
}

}  // namespace
