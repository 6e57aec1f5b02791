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

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "core/ReportKind.h"
#include "net/FtpTls.h"
#include "support/FtpServer.h"
#include "support/TempDir.h"

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void put(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// Objects A and B with two lines each, three reports of every kind, the gas file and the alarm file.
void fill(const std::filesystem::path& root) {
  for (const std::string o : {"A", "B"}) {
    put(root / o / (o + "-gaspar.txt"), "\r\n\r\nSP: 0.6800 1.0000 0.5000 750.0 0x4e4f\r\n");
    put(root / o / (o + "-alarm.txt"), "alarm\r\n");
    for (const std::string line : {"v0017n1", "v0017n2"}) {
      for (const ReportKind kind : kReportKinds) {
        const std::string code(kindCode(kind));
        for (int d = 1; d <= 3; ++d) {
          char date[32];
          if (kind == ReportKind::Hourly) {
            std::snprintf(date, sizeof date, "2009.03.05-%02d", d);
          } else if (kindIndex(kind) <= 2) {
            std::snprintf(date, sizeof date, "2009.03.%02d", d);
          } else {
            std::snprintf(date, sizeof date, "2009.%02d", d);
          }
          put(root / o / line / code / (o + "-" + line + "-" + code + "-" + date + ".txt"),
              std::string(8000, 'r') + "\r\n");
        }
      }
    }
  }
}

// A test server in the link's server namespace: pyftpdlib (kind empty), or a real server of that kind
// (behind its logging relay) with TLS required when cert names its PEM file; its port, 0 when it did
// not start.
int startServer(const std::filesystem::path& root, const std::string& kind, const std::string& cert,
                pid_t& pid) {
  std::vector<std::string> args = {"ip", "netns", "exec", DelayedLink::kServerNs, "/usr/bin/python3"};
  if (!kind.empty()) {
    const std::string state = root.parent_path().string() + "/" + kind + (cert.empty() ? "-plain" : "-tls");
    args.insert(args.end(), {OSTRAFTP_REALFTPD_SCRIPT, "--kind", kind, "--servers", OSTRAFTP_FTP_SERVERS_DIR,
                             "--state", state});
    if (!cert.empty()) args.insert(args.end(), {"--tls", "require", "--cert", cert});
  } else {
    args.push_back(OSTRAFTP_FTPD_SCRIPT);
  }
  args.insert(args.end(), {"--root", root.string(), "--host", DelayedLink::kServerAddress});
  int out[2];
  if (pipe(out) != 0) return 0;
  pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp("ip", argv.data());
    _exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  if (line.rfind("PORT ", 0) == 0) return std::atoi(line.c_str() + 5);
  std::printf("bench_latency: %s: %s\n", args[5].c_str(), line.c_str());
  return 0;
}

}  // namespace

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
  fill(tree.path() / "root");
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
      const std::string user = kind == "vsftpd" ? "ftp" : "op";
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
    for (const pid_t p : servers) {
      kill(p, SIGTERM);
      waitpid(p, nullptr, 0);
    }
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
