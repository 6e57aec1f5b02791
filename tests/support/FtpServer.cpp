#include "support/FtpServer.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "core/FileSys.h"

extern char** environ;

FtpServer::FtpServer() : FtpServer(Options{}) {}

const char* ftpServerKindName(FtpServerKind k) {
  switch (k) {
    case FtpServerKind::Pyftpdlib:
      return "pyftpdlib";
    case FtpServerKind::PyftpdlibTelnet:
      return "pyftpdlibtelnet";
    case FtpServerKind::ProFtpd:
      return "proftpd";
    case FtpServerKind::Vsftpd:
      return "vsftpd";
    case FtpServerKind::PureFtpd:
      return "pureftpd";
    case FtpServerKind::Inetutils:
      return "inetutils";
  }
  return "?";
}

FtpServer::FtpServer(Options options) : options_(std::move(options)) {
  root_ = dir_.path() / "root";
  log_ = dir_.path() / "commands.log";
  faults_ = dir_.path() / "faults.json";
  std::filesystem::create_directories(root_);
  if (!options_.home.empty()) makeDir(options_.home);
  setFaults("[]");

  const FtpServerKind kind = options_.kind;
  relay_ = kind != FtpServerKind::Pyftpdlib && kind != FtpServerKind::PyftpdlibTelnet;
  // vsftpd without root rights serves anonymous logins only.
  if (kind == FtpServerKind::Vsftpd) options_.user = "ftp";
  if (kind == FtpServerKind::ProFtpd || kind == FtpServerKind::Vsftpd || kind == FtpServerKind::Inetutils)
    prefix_ = root_.string();

  std::vector<std::string> args = {"/usr/bin/python3"};
  if (relay_) {
    args.insert(args.end(), {OSTRAFTP_REALFTPD_SCRIPT, "--kind", ftpServerKindName(kind), "--servers",
                             OSTRAFTP_FTP_SERVERS_DIR, "--state", (dir_.path() / "state").string()});
  } else {
    args.push_back(OSTRAFTP_FTPD_SCRIPT);
    if (kind == FtpServerKind::PyftpdlibTelnet) args.push_back("--telnet");
    if (!options_.mlsd) args.push_back("--no-mlsd");
    if (options_.maxConnections > 0)
      args.insert(args.end(), {"--max-connections", std::to_string(options_.maxConnections)});
  }
  args.insert(args.end(), {"--root", root_.string(), "--log", log_.string(), "--faults", faults_.string(),
                           "--user", options_.user, "--password", options_.password});
  if (options_.idleSeconds > 0) args.insert(args.end(), {"--idle", std::to_string(options_.idleSeconds)});
  if (!options_.home.empty()) args.insert(args.end(), {"--home", options_.home});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  pid_t pid;
  const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start the FTP test server");
  }
  pid_ = pid;
  // The first line is "PORT n", or "SKIP reason" from a real server that cannot run here.
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  if (line.rfind("SKIP ", 0) == 0) {
    skipReason_ = line.substr(5);
    return;
  }
  if (std::sscanf(line.c_str(), "PORT %d", &port_) != 1 || port_ <= 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("the FTP test server did not start: " + line);
  }
  if (relay_ && geteuid() == 0) {
    if (const passwd* pw = getpwnam("ostraftp-ftp"))
      ownerUid_ = static_cast<int>(pw->pw_uid), ownerGid_ = static_cast<int>(pw->pw_gid);
  }
}

FtpServer::~FtpServer() {
  if (pid_ > 0) {
    // The relay of a real server stops the server with it on SIGTERM.
    kill(pid_, relay_ ? SIGTERM : SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::filesystem::path FtpServer::local(const std::string& serverPath) const {
  std::string rel = serverPath;
  while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
  // The server's disk holds the names as the bytes the clients send.
  return rel.empty() ? root_ : root_ / std::filesystem::path(rel);
}

std::vector<std::string> FtpServer::commands() const {
  std::vector<std::string> out;
  std::ifstream in(log_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

void FtpServer::clearLog() {
  std::ofstream(log_, std::ios::binary | std::ios::trunc);
}

void FtpServer::setFaults(const std::string& jsonArray) {
  const auto temp = faults_.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << "{\"gen\": " << ++gen_ << ", \"faults\": " << jsonArray << "}";
  }
  std::filesystem::rename(temp, faults_);
}

void FtpServer::makeDir(const std::string& serverPath) const {
  std::filesystem::create_directories(local(serverPath));
  own(local(serverPath));
}

void FtpServer::putFile(const std::string& serverPath, const std::string& bytes) const {
  writeBytes(local(serverPath), bytes);
  own(local(serverPath));
}

// A real server runs as its own user when the tests run as root: what the test makes becomes its.
void FtpServer::own(const std::filesystem::path& p) const {
  if (ownerUid_ < 0) return;
  for (auto q = p; q != root_ && q.has_relative_path(); q = q.parent_path()) {
    if (lchown(q.c_str(), static_cast<uid_t>(ownerUid_), static_cast<gid_t>(ownerGid_)) != 0) break;
  }
}

void FtpServer::setTime(const std::string& serverPath, long long epochSeconds) const {
  utimbuf t{static_cast<time_t>(epochSeconds), static_cast<time_t>(epochSeconds)};
  if (utime(local(serverPath).c_str(), &t) != 0) throw std::runtime_error("utime " + serverPath);
}
