#include "support/FtpServer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "core/FileSys.h"
#include "support/HostProcess.h"

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
  wire_ = dir_.path() / "wire.bin";
  std::filesystem::create_directories(root_);
  rootHost_ = hostPath(root_);
  if (!options_.home.empty()) makeDir(options_.home);
  setFaults("[]");

  const FtpServerKind kind = options_.kind;
  relay_ = kind != FtpServerKind::Pyftpdlib && kind != FtpServerKind::PyftpdlibTelnet;
  // vsftpd without root rights serves anonymous logins only.
  if (kind == FtpServerKind::Vsftpd) options_.user = "ftp";
  if (kind == FtpServerKind::ProFtpd || kind == FtpServerKind::Vsftpd || kind == FtpServerKind::Inetutils)
    prefix_ = rootHost_;

  std::vector<std::string> args = {"/usr/bin/python3"};
  if (relay_) {
    args.insert(args.end(), {OSTRAFTP_REALFTPD_SCRIPT, "--kind", ftpServerKindName(kind), "--servers",
                             OSTRAFTP_FTP_SERVERS_DIR, "--state", hostPath(dir_.path()) + "/state",
                             "--capture", hostPath(wire_)});
    if (options_.tls != Options::Tls::None) {
      if (options_.certificate.empty())
        options_.certificate = makeCertificate(dir_.path(), "server", options_.key);
      args.insert(args.end(), {"--tls", options_.tls == Options::Tls::Offered ? "offer" : "require", "--cert",
                               options_.certificate});
      if (!options_.tls12Cipher.empty()) args.insert(args.end(), {"--tls12-cipher", options_.tls12Cipher});
      if (!options_.tls13) args.push_back("--no-tls13");
    }
  } else {
    args.push_back(OSTRAFTP_FTPD_SCRIPT);
    if (kind == FtpServerKind::PyftpdlibTelnet) args.push_back("--telnet");
    if (!options_.mlsd) args.push_back("--no-mlsd");
    if (options_.maxConnections > 0)
      args.insert(args.end(), {"--max-connections", std::to_string(options_.maxConnections)});
  }
  args.insert(args.end(), {"--root", rootHost_, "--log", hostPath(log_), "--faults", hostPath(faults_),
                           "--user", options_.user, "--password", options_.password});
  if (options_.unanswered) args.push_back("--unanswered");
  if (options_.idleSeconds > 0) args.insert(args.end(), {"--idle", std::to_string(options_.idleSeconds)});
  if (!options_.home.empty()) args.insert(args.end(), {"--home", options_.home});
  process_ = std::make_unique<HostProcess>(args);
  // The first line is "PORT n", or "SKIP reason" from a real server that cannot run here.
  const std::string line = process_->readLine();
  if (line.rfind("SKIP ", 0) == 0) {
    skipReason_ = line.substr(5);
    return;
  }
  if (std::sscanf(line.c_str(), "PORT %d", &port_) != 1 || port_ <= 0) {
    process_.reset();
    throw std::runtime_error("the FTP test server did not start: " + line);
  }
  if (relay_ && hostIsRoot()) {
    ownerUid_ = std::atoi(hostRun({"/usr/bin/id", "-u", "ostraftp-ftp"}).c_str());
    ownerGid_ = std::atoi(hostRun({"/usr/bin/id", "-g", "ostraftp-ftp"}).c_str());
    if (ownerUid_ <= 0) ownerUid_ = ownerGid_ = -1;
  }
}

FtpServer::~FtpServer() {
  process_.reset();  // the relay of a real server stops the server with it
#ifdef _WIN32
  // Names Windows cannot hold ("..\\x") would lead the removal of the folder astray there.
  try {
    (void)hostRun({"/bin/rm", "-rf", rootHost_});
  } catch (const std::exception&) {
  }
#endif
}

std::string FtpServer::wire() const {
  std::ifstream in(wire_, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string FtpServer::makeCertificate(const std::filesystem::path& folder, const std::string& name,
                                       Options::Key kind) {
  const std::string key = hostPath(folder) + "/" + name + ".key",
                    cert = hostPath(folder) + "/" + name + ".crt";
  const std::string pem = hostPath(folder) + "/" + name + ".pem";
  const bool rsa = kind == Options::Key::Rsa;
  (void)hostRun({"/usr/bin/openssl", "req", "-x509", "-newkey", rsa ? "rsa" : "ec", "-pkeyopt",
                 rsa ? "rsa_keygen_bits:2048" : "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                 "-subj", "/CN=" + name, "-keyout", key, "-out", cert});
  (void)hostRun(
      {"/bin/sh", "-c", "cat '" + key + "' '" + cert + "' > '" + pem + "' && chmod 644 '" + pem + "'"});
  return pem;
}

std::filesystem::path FtpServer::local(const std::string& serverPath) const {
  std::string rel = serverPath;
  while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
  if (rel.empty()) return root_;
#ifdef _WIN32
  // The same name on the Windows side: Wine runs the tests in the Windows-1251 locale, where the bytes
  // on the Linux disk read as Windows-1251.
  return root_ / fsys::nativePath(rel);
#else
  // The server's disk holds the names as the bytes the clients send.
  return root_ / std::filesystem::path(rel);
#endif
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

// The Linux path of a server path: its bytes as they are on the disk.
std::string FtpServer::hostLocal(const std::string& serverPath) const {
  std::string rel = serverPath;
  while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
  return rel.empty() ? rootHost_ : rootHost_ + "/" + rel;
}

// Names that Windows cannot hold (a backslash, a control byte) are made on the Linux side under Wine;
// Linux makes them itself.
void FtpServer::makeDir(const std::string& serverPath) const {
#ifdef _WIN32
  (void)hostRun({"/bin/mkdir", "-p", hostLocal(serverPath)});
#else
  std::filesystem::create_directories(local(serverPath));
#endif
  own(serverPath);
}

void FtpServer::putFile(const std::string& serverPath, const std::string& bytes) const {
#ifdef _WIN32
  const auto staged = dir_.path() / "staged";
  writeBytes(staged, bytes);
  (void)hostRun({"/bin/sh", "-c", "mkdir -p \"$(dirname \"$1\")\" && mv \"$0\" \"$1\"", hostPath(staged),
                 hostLocal(serverPath)});
#else
  writeBytes(local(serverPath), bytes);
#endif
  own(serverPath);
}

void FtpServer::remove(const std::string& serverPath) const {
#ifdef _WIN32
  (void)hostRun({"/bin/rm", "-rf", hostLocal(serverPath)});
#else
  std::filesystem::remove_all(local(serverPath));
#endif
}

std::vector<FtpServer::Entry> FtpServer::entries(const std::string& serverPath) const {
  std::vector<Entry> out;
#ifdef _WIN32
  // Wine lists a folder in an order of its own: the disk's order comes from Linux.
  const std::string listed = hostRun(
      {"/usr/bin/find", hostLocal(serverPath), "-mindepth", "1", "-maxdepth", "1", "-printf", "%y%f\\n"});
  for (size_t at = 0, end; (end = listed.find('\n', at)) != std::string::npos; at = end + 1)
    out.push_back({listed.substr(at + 1, end - at - 1), listed[at] == 'd'});
#else
  for (const auto& e : std::filesystem::directory_iterator(local(serverPath)))
    out.push_back({e.path().filename().string(), e.is_directory()});
#endif
  return out;
}

// A real server runs as its own user when the tests run as root: what the test makes becomes its.
void FtpServer::own(const std::string& serverPath) const {
  if (ownerUid_ < 0) return;
  std::vector<std::string> args = {"/bin/chown", "-h",
                                   std::to_string(ownerUid_) + ":" + std::to_string(ownerGid_)};
  for (std::string p = serverPath; !p.empty() && p != "/"; p = p.substr(0, p.find_last_of('/')))
    args.push_back(hostLocal(p));
  (void)hostRun(args);
}

void FtpServer::setTime(const std::string& serverPath, long long epochSeconds) const {
  (void)hostRun({"/usr/bin/touch", "-h", "-d", "@" + std::to_string(epochSeconds), hostLocal(serverPath)});
}

void sortAsStatLists(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return uint8_t(x) < uint8_t(y); });
  });
}
