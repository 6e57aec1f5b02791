// The connect, the object click, the line click, the report open, the next object click and the close
// of the headless window against the test server behind a delayed link of 0, 2, 100 and 300 ms round
// trip, on one connection and on five, and on five over explicit FTPS (TLS required, the server's key
// pinned), as medians in seconds and in round trips, next to the least a plain client with five
// connections needs. The plain and TLS columns run on vsftpd, or on each server named. With
// --transcript, the first round at the largest round trip prints each column's road step by step: every
// command and reply of every connection, timed in round trips from the step's start.
// Needs root for the link (network namespaces and TUN devices); says so and skips otherwise.
//
//   bench_latency [--server vsftpd|proftpd|pureftpd[,...]] [--transcript] [ROUND_TRIP_MS ...]
//                                                                  (default vsftpd; 0 2 100 300)

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DelayedLink.h"
#include "LatencyRoad.h"
#include "LinkServers.h"
#include "net/FtpTls.h"
#include "support/FtpServer.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<int> delays;
  std::vector<std::string> kinds;
  bool transcripts = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--server" && i + 1 < argc) {
      std::stringstream list(argv[++i]);
      for (std::string kind; std::getline(list, kind, ',');)
        if (!kind.empty()) kinds.push_back(kind);
    } else if (arg == "--transcript") {
      transcripts = true;
    } else {
      delays.push_back(std::atoi(argv[i]));
    }
  }
  if (kinds.empty()) kinds = {"vsftpd"};
  if (delays.empty()) delays = {0, 2, 100, 300};
  const int largest = *std::max_element(delays.begin(), delays.end());

  TempDir tree;
  fillStation(tree.path() / "root", {"A", "B"});
  // The TLS servers' certificate, made as the tests make theirs, with an RSA key: vsftpd's own cipher
  // list then allows TLS 1.2 (with an EC key it speaks TLS 1.3 alone, which costs the connect a refused
  // TLS 1.2 handshake first); ProFTPD speaks TLS 1.2 with either key.
  const std::string cert = FtpServer::makeCertificate(tree.path(), "bench", FtpServer::Options::Key::Rsa);
  std::ifstream in(cert);
  const auto key = ftp::serverKey(std::string(std::istreambuf_iterator<char>(in), {}), "");
  if (!key) {
    std::printf("bench_latency: openssl could not make the server's certificate\n");
    return 1;
  }
  // The least a client with five connections needs, in round trips: the connection with its greeting
  // (2), USER, PASS, PWD, then a listing (EPSV, the data connection, MLSD); a listing or a file; the
  // object listing with the gas file beside it, then the first line's five kinds at once.
  const struct {
    const char* name;
    std::vector<double> Times::*values;
    int floor;
  } actions[] = {{"connect + object list", &Times::connect, 8},
                 {"object click", &Times::object, 6},
                 {"line click", &Times::line, 3},
                 {"report open", &Times::report, 3},
                 {"next object click", &Times::objectLater, 6},
                 {"closing the session", &Times::close, 0}};

  for (const int rtt : delays) {
    DelayedLink link;
    std::string why;
    if (!link.open(rtt, why)) {
      std::printf("bench_latency: skipped: %s\n", why.c_str());
      return 0;
    }
    // The test server on one and on five connections; each real server, plain and with TLS, on five.
    // vsftpd without root serves anonymous logins only; the others take the test user.
    std::vector<Column> columns;
    columns.emplace_back("test server, one", "", "", 1);
    columns.emplace_back("test server, five", "", "", 5);
    for (const auto& kind : kinds) {
      const std::string user = serverUser(kind);
      columns.emplace_back(kind, kind, "", 5, user);
      columns.emplace_back(kind + " TLS", kind, cert, 5, user, key->pin);
    }
    std::vector<pid_t> servers;
    bool started = true;
    for (Column& c : columns) {
      if (c.kind.empty() && &c != &columns.front()) {
        c.port = columns.front().port;  // one test server for both
        continue;
      }
      c.port = startServer(tree.path() / "root", c.kind, c.cert, c.pid);
      servers.push_back(c.pid);
      started = started && c.port != 0;
    }
    if (!started || !link.enterClientSide()) {
      std::printf("bench_latency: the test servers did not start behind the link\n");
      return 1;
    }
    const int rounds = rtt <= 2 ? 15 : rtt <= 100 ? 5 : 3;
    bool ok = true;
    for (int i = 0; i < rounds && ok; ++i) {
      for (Column& c : columns) {
        if (transcripts && rtt == largest && i == 0) c.transcript = std::make_unique<RoadTranscript>();
        ok = ok && road(DelayedLink::kServerAddress, c, c.times, i == 0 ? c.transcript.get() : nullptr);
      }
    }
    link.leaveClientSide();
    stopServers(servers);
    if (!ok) {
      std::printf("bench_latency: a road failed at %d ms\n", rtt);
      return 1;
    }
    std::printf("\nround trip %d ms, medians of %d rounds (the real servers on five connections)\n", rtt,
                rounds);
    std::printf("  %-22s", "");
    for (const Column& c : columns) std::printf(" %18s", c.name.c_str());
    std::printf(" %8s\n", "floor");
    for (const auto& a : actions) {
      std::printf("  %-22s", a.name);
      for (const Column& c : columns) {
        const double s = median(c.times.*a.values);
        if (rtt == 0)
          std::printf(" %7.3f s %8s", s, "");
        else
          std::printf(" %7.3f s %5.1f RT", s, s * 1000 / rtt);
      }
      std::printf(" %5d RT\n", a.floor);
    }
    for (const Column& c : columns)
      if (c.transcript) c.transcript->print(c.name + " at " + std::to_string(rtt) + " ms", rtt);
  }
  return 0;
}
