#pragma once
// A real FTP server for a test on 127.0.0.1, over a temporary root folder, with its command log and fault
// hooks: tests/ftpd/ftpd.py (pyftpdlib), or ProFTPD, vsftpd, Pure-FTPd or inetutils-ftpd behind the
// logging relay of tests/ftpd/realftpd.py. Started by the constructor, stopped by the destructor.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/HostProcess.h"
#include "support/TempDir.h"

// The order of the test server's STAT listings: pyftpdlib sorts them by name, byte by byte.
void sortAsStatLists(std::vector<std::string>& names);

enum class FtpServerKind { Pyftpdlib, PyftpdlibTelnet, ProFtpd, Vsftpd, PureFtpd, Inetutils };
// "proftpd", "vsftpd", ... as the launcher and the test names spell them.
const char* ftpServerKindName(FtpServerKind k);

class FtpServer {
 public:
  struct Options {
    FtpServerKind kind = FtpServerKind::Pyftpdlib;  // PyftpdlibTelnet reads 0xFF as Telnet IAC, as ProFTPD
    bool mlsd = true;                               // false: a server without MLSD/MLST (like vsftpd)
    double idleSeconds = 0;                         // > 0: the server's idle time-out (421, then it closes)
    std::string home;                               // login directory below the root ("" = the root)
    int maxConnections = 0;  // > 0: more connections at once get "421 Too many connections" (pyftpdlib)
    std::string user = "op";
    std::string password = "secret";
    // Explicit FTPS (real servers): offered, or required for the login and the data connections; with a
    // certificate made for the server (or this one, a PEM file of key and certificate on the Linux side).
    enum class Tls { None, Offered, Required } tls = Tls::None;
    std::string certificate;
    // Not a server: a port on 127.0.0.1 whose connections never complete (pyftpdlib's script).
    bool unanswered = false;
    enum class Key { Ec, Rsa } key = Key::Ec;  // the key of the certificate made for the server
    // The server's own TLS settings unless: the one TLS 1.2 cipher it offers, and (ProFTPD) no TLS 1.3.
    std::string tls12Cipher;
    bool tls13 = true;
  };

  FtpServer();
  explicit FtpServer(Options options);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  // Why this server cannot run here ("" when it runs); the test is then skipped with this text.
  const std::string& skipReason() const { return skipReason_; }
  int port() const { return port_; }
  // The login user and password the server takes (vsftpd without root takes only "ftp").
  const std::string& user() const { return options_.user; }
  // The server's own path of a path below the root: ProFTPD, vsftpd and inetutils-ftpd run without a
  // changed root, so their paths are the real paths of the folders.
  std::string path(const std::string& below) const { return prefix_ + below; }
  const Options& options() const { return options_; }
  // Native path of a server path made of Windows-1251 bytes ("/obj/v0017n1").
  std::filesystem::path local(const std::string& serverPath) const;

  // Every command line the server received since the start or the last clearLog().
  std::vector<std::string> commands() const;
  void clearLog();
  // Every byte the clients sent on their control connections (real servers).
  std::string wire() const;
  // Makes a self-signed certificate with its key (P-256 or RSA 2048) into a PEM file in folder (on the
  // Linux side); returns its Linux path.
  static std::string makeCertificate(const std::filesystem::path& folder, const std::string& name,
                                     Options::Key key = Options::Key::Ec);

  // Replaces the fault hooks (a JSON array, see ftpd.py); "[]" removes them.
  void setFaults(const std::string& jsonArray);

  // Files and folders below the root; times are seconds since the epoch.
  void makeDir(const std::string& serverPath) const;
  void putFile(const std::string& serverPath, const std::string& bytes) const;
  void setTime(const std::string& serverPath, long long epochSeconds) const;
  // Removes a file or a folder with all it holds.
  void remove(const std::string& serverPath) const;
  // What a folder holds (Windows-1251 names) in the order of the disk, the order servers list in.
  struct Entry {
    std::string name;
    bool folder = false;
  };
  std::vector<Entry> entries(const std::string& serverPath) const;

 private:
  Options options_;
  TempDir dir_;
  std::filesystem::path root_, log_, faults_, wire_;
  void own(const std::string& serverPath) const;
  std::string hostLocal(const std::string& serverPath) const;
  std::string rootHost_;  // the root's Linux path

  std::string prefix_;
  std::string skipReason_;
  int ownerUid_ = -1, ownerGid_ = -1;  // the server's user, when the tests run as root
  bool relay_ = false;
  std::unique_ptr<HostProcess> process_;
  int port_ = 0;
  int gen_ = 0;
};
