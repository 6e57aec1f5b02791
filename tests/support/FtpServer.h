#pragma once
// A real FTP server for a test: tests/ftpd/ftpd.py (pyftpdlib) on 127.0.0.1, over a temporary root
// folder, with its command log and fault hooks. Started by the constructor, stopped by the destructor.

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempDir.h"

class FtpServer {
 public:
  struct Options {
    bool mlsd = true;        // false: a server without MLSD/MLST (like vsftpd)
    double idleSeconds = 0;  // > 0: the server's idle time-out (421, then it closes)
    std::string home;        // login directory below the root ("" = the root)
    std::string user = "op";
    std::string password = "secret";
  };

  FtpServer();
  explicit FtpServer(Options options);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int port() const { return port_; }
  const Options& options() const { return options_; }
  // Native path of a server path made of Windows-1251 bytes ("/obj/v0017n1").
  std::filesystem::path local(const std::string& serverPath) const;

  // Every command line the server received since the start or the last clearLog().
  std::vector<std::string> commands() const;
  void clearLog();

  // Replaces the fault hooks (a JSON array, see ftpd.py); "[]" removes them.
  void setFaults(const std::string& jsonArray);

  // Files and folders below the root; times are seconds since the epoch.
  void makeDir(const std::string& serverPath) const;
  void putFile(const std::string& serverPath, const std::string& bytes) const;
  void setTime(const std::string& serverPath, long long epochSeconds) const;

 private:
  Options options_;
  TempDir dir_;
  std::filesystem::path root_, log_, faults_;
  int pid_ = -1;
  int port_ = 0;
  int gen_ = 0;
};
