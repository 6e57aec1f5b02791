#include "LinkServers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "DelayedLink.h"
#include "core/ReportKind.h"
#include "gas/GasFile.h"

namespace {

void put(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void fillStation(const std::filesystem::path& root, const std::vector<std::string>& objects) {
  for (const std::string& o : objects) {
    put(root / o / (o + "-gaspar.txt"), gas::composeFile({0.68f, 1.0f, 0.5f, 750.0f}));
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

int startServer(const std::filesystem::path& root, const std::string& kind, const std::string& cert,
                pid_t& pid, int instance) {
  std::vector<std::string> args = {"ip", "netns", "exec", DelayedLink::kServerNs, "/usr/bin/python3"};
  if (!kind.empty()) {
    std::string state = root.parent_path().string() + "/" + kind + (cert.empty() ? "-plain" : "-tls");
    if (instance > 0) state += "-" + std::to_string(instance);
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
  std::printf("%s: %s\n", args[5].c_str(), line.c_str());
  return 0;
}

void stopServers(const std::vector<pid_t>& pids) {
  for (const pid_t p : pids) {
    if (p <= 0) continue;
    kill(p, SIGTERM);
    waitpid(p, nullptr, 0);
  }
}

std::string serverUser(const std::string& kind) {
  return kind == "vsftpd" ? "ftp" : "op";
}
