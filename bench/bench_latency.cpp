// The connect, the object click, the line click, the report open, the next object click and the close
// of the headless window against the test server behind a delayed link of 0, 2, 100 and 300 ms round
// trip, on one connection and on five, and on five over explicit FTPS (TLS required, the server's key
// pinned), as medians in seconds and in round trips, next to the least a plain client with five
// connections needs. The plain and TLS columns run on vsftpd, or on the server named.
// Needs root for the link (network namespaces and TUN devices); says so and skips otherwise.
//
//   bench_latency [--server vsftpd|proftpd|pureftpd] [ROUND_TRIP_MS ...]     (default vsftpd; 0 2 100 300)

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DelayedLink.h"
#include "app/Main.h"
#include "core/ReportKind.h"
#include "net/FtpTls.h"
#include "settings/TlsFile.h"
#include "support/FtpServer.h"
#include "support/ModalDriver.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"
#include "view/Rep_view.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

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
    const std::string state = root.parent_path().string() + (cert.empty() ? "/plain" : "/tls");
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

struct Times {
  std::vector<double> connect, object, line, report, objectLater, close;
};

// One operator's road, timed: connect and list the objects, choose A (its first line's reports come
// with it), choose its other line, open that line's newest daily report, choose B, close.
// user: the login the server takes; pin: the server's key for a TLS road ("" for plain FTP).
bool road(int port, int connections, const std::string& user, const std::string& pin, Times& t) {
  TempDir exe;
  RecorderUi ui;
  TFormMain form(exe.cp1251(), ui);
  ConnectionRecord r;
  r.setName("bench");
  r.setHost(DelayedLink::kServerAddress);
  r.setPort(port);
  r.setUser(user);
  r.setPassword("secret");
  form.Settings.setRecord(0, r);
  form.Settings.setConnectionCount(1);
  form.Settings.setCurrentConnection(0);
  if (!pin.empty()) form.Tls.set(TlsFile::keyOf(r), {ftp::TlsMode::Required, pin, std::string(95, '0')});
  form.Ftp.setConnections(connections);
  form.Browse.SourceMode = Source::Ftp;

  auto t0 = Clock::now();
  if (!form.Ftp.FtpOpen() ||
      !form.Ftp.FtpGetCurrentDirectory(form.Ftp.ConnectionHandle, form.Browse.BaseDirectory)) {
    std::printf("bench_latency: %s connect: error %u\n", pin.empty() ? "plain" : "TLS",
                form.Ftp.GetLastError());
    return false;
  }
  form.Browse.CurrentDirectory = form.Browse.BaseDirectory;
  if (const int listed = form.ListObjects(); listed != 0) {
    std::printf("bench_latency: %s object list: %d, error %u\n", pin.empty() ? "plain" : "TLS", listed,
                form.Ftp.GetLastError());
    return false;
  }
  t.connect.push_back(seconds(t0));
  form.Ftp.AwaitExtras();  // the extra connections log in while the operator looks at the list

  form.StringGrid1->selectRow(form.StringGrid1->findRow(0, "A"));
  t0 = Clock::now();
  form.StringGrid1Click();
  t.object.push_back(seconds(t0));

  form.StringGrid2->selectRow(form.StringGrid2->row() == 0 ? 1 : 0);
  t0 = Clock::now();
  form.StringGrid2Click();
  t.line.push_back(seconds(t0));

  TStringGrid* daily = form.reportGrids()[kindIndex(ReportKind::DailyShort)];
  daily->setCurrentCell(daily->rowCount() - 1, 1);
  bool shown = false;
  onModal<TFormRep_View>([&shown](TFormRep_View* v) {
    shown = true;
    v->BitBtn1->click();
  });
  t0 = Clock::now();
  form.ReportListClick(ReportKind::DailyShort);
  t.report.push_back(seconds(t0));

  // The next object, as an operator goes on: the connections are now in the types their last transfers
  // left them in, as they mostly are.
  form.StringGrid1->selectRow(form.StringGrid1->findRow(0, "B"));
  t0 = Clock::now();
  form.StringGrid1Click();
  t.objectLater.push_back(seconds(t0));

  t0 = Clock::now();
  form.Ftp.FtpClose();
  t.close.push_back(seconds(t0));
  if (!shown || !ui.messages.empty())
    std::printf("bench_latency: %s road: %s\n", pin.empty() ? "plain" : "TLS",
                ui.messages.empty() ? "no report shown" : ui.messages.front().text.c_str());
  return shown && ui.messages.empty();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<int> delays;
  std::string kind = "vsftpd";
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--server" && i + 1 < argc)
      kind = argv[++i];
    else
      delays.push_back(std::atoi(argv[i]));
  }
  // vsftpd without root serves anonymous logins only; the others take the test user.
  const std::string user = kind == "vsftpd" ? "ftp" : "op";
  if (delays.empty()) delays = {0, 2, 100, 300};

  TempDir tree;
  fill(tree.path() / "root");
  // The TLS server's certificate, made as the tests make theirs, with an RSA key: vsftpd's own cipher
  // list then allows TLS 1.2 (with an EC key it speaks TLS 1.3 alone, which costs the connect a refused
  // TLS 1.2 handshake first).
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
    // pyftpdlib on one and on five connections; the real server, plain and with TLS, on five.
    pid_t servers[3] = {-1, -1, -1};
    const int port = startServer(tree.path() / "root", "", "", servers[0]);
    const int realPort = startServer(tree.path() / "root", kind, "", servers[1]);
    const int tlsPort = startServer(tree.path() / "root", kind, cert, servers[2]);
    if (port == 0 || realPort == 0 || tlsPort == 0 || !link.enterClientSide()) {
      std::printf("bench_latency: the test servers did not start behind the link\n");
      return 1;
    }
    const int rounds = rtt <= 2 ? 15 : rtt <= 100 ? 5 : 3;
    Times one, five, real, tls;
    bool ok = true;
    for (int i = 0; i < rounds && ok; ++i)
      ok = road(port, 1, "op", "", one) && road(port, 5, "op", "", five) &&
           road(realPort, 5, user, "", real) && road(tlsPort, 5, user, key->pin, tls);
    link.leaveClientSide();
    for (const pid_t p : servers) {
      kill(p, SIGTERM);
      waitpid(p, nullptr, 0);
    }
    if (!ok) {
      std::printf("bench_latency: a road failed at %d ms\n", rtt);
      return 1;
    }
    std::printf("\nround trip %d ms, medians of %d rounds\n", rtt, rounds);
    std::printf("  %-22s %18s %18s %18s %18s %8s\n", "", "one connection", "five connections",
                (kind + ", five").c_str(), (kind + ", five, TLS").c_str(), "floor");
    for (const auto& a : actions) {
      std::printf("  %-22s", a.name);
      for (const Times* t : {&one, &five, &real, &tls}) {
        const double s = median(t->*a.values);
        if (rtt == 0)
          std::printf(" %9.3f s %8s", s, "");
        else
          std::printf(" %9.3f s %5.1f RT", s, s * 1000 / rtt);
      }
      std::printf(" %5d RT\n", a.floor);
    }
  }
  return 0;
}
