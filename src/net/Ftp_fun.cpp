#include "net/Ftp_fun.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "core/Cp1251.h"
#include "core/ReportKind.h"
#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "settings/SettingsFile.h"

using ftp::curlError;
using ftp::replyError;
using ftp::safeForCommand;

namespace {

// libcurl's global state, set up once for the process before the first handle.
void curlGlobalInit() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

// Host names and addresses only: anything else could reshape the URL given to libcurl.
bool validHost(const std::string& host) {
  if (host.empty()) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
  });
}

}  // namespace

FtpSession::FtpSession(SettingsFile& settings, BrowseState& browse, Ui& ui)
    : settings_(settings), browse_(browse), ui_(ui), clock_(systemClock()) {}

FtpSession::~FtpSession() {
  FtpClose();
}

bool FtpSession::fail(uint32_t error) {
  lastError_ = error;
  return false;
}

bool FtpSession::connectionValid(HINTERNET h) {
  if (h == kNoHandle || !connection_ || connection_->handle != h) return fail(ftp::kErrorInvalidHandle);
  if (transfer_) return fail(ftp::kErrorFtpTransferInProgress);
  return true;
}

bool FtpSession::transferValid(HINTERNET h, int kind) {
  if (h == kNoHandle || !transfer_ || transfer_->handle != h || transfer_->kind != kind) {
    return fail(ftp::kErrorInvalidHandle);
  }
  return true;
}

std::string ftp::joinPath(const std::string& dir, const std::string& name) {
  return dir + (dir.empty() || dir.back() != '/' ? "/" : "") + name;
}

std::string ftp::parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string FtpSession::resolve(const std::string& path) const {
  if (!path.empty() && path[0] == '/') return path;
  return ftp::joinPath(connection_->cwd, path);
}

bool FtpSession::wire(const std::string& path, std::string& out) {
  uint32_t error = 0;
  return connection_->wire(timeouts_, path, out, error) || fail(error);
}

bool FtpSession::ensureFeatures() {
  if (facts_.featuresKnown) return true;
  long code = 0;
  const CURLcode rc = connection_->command(timeouts_, {"FEAT"}, code);
  if (rc != CURLE_OK) return failed(rc, code);
  connection_->readFeatures();
  learnFeatures(connection_->hasMlst);
  return true;
}

void FtpSession::learnFeatures(bool hasMlst) {
  facts_.featuresKnown = true;
  facts_.hasMlst = hasMlst;
  if (connection_) connection_->hasMlst = hasMlst;
}

bool FtpSession::failed(int curlCode, long replyCode) {
  return fail(curlError(static_cast<CURLcode>(curlCode), replyCode));
}

HINTERNET FtpSession::openTransfer(std::unique_ptr<Transfer> t) {
  t->handle = newHandle();
  transfer_ = std::move(t);
  lastError_ = 0;
  return transfer_->handle;
}

// --- Session lifecycle.

bool FtpSession::FtpOpen() {
  // A new session never leaves the previous one open behind it.
  FtpClose();
  WaitCursor wait(ui_);
  SessionHandle = InternetOpen();
  if (SessionHandle == kNoHandle) {
    wait.release();
    ui_.message(cp1251::text("Неудачная попытка выхода в интернет"));
    return false;
  }
  const ConnectionRecord r = settings_.current();
  ConnectionHandle = InternetConnect(SessionHandle, r.host(), r.port(), r.user(), r.password());
  if (ConnectionHandle != kNoHandle) {
    browse_.Connected = true;
    return true;
  }
  wait.release();
  // The operator who declined the server's key has said the last word; TLS failures name themselves.
  if (lastError_ == ftp::kErrorTlsFailed)
    ui_.message(tlsFailedMessage());
  else if (lastError_ == ftp::kErrorTlsDemanded)
    ui_.message(
        cp1251::text("Сервер принимает только защищенные соединения: выберите TLS в параметрах соединения"));
  else if (lastError_ != ftp::kErrorTlsUntrusted)
    ui_.message(cp1251::text("Не выполнено соединение по IP-адресу"));
  InternetCloseHandle(SessionHandle);
  SessionHandle = kNoHandle;
  return false;
}

bool FtpSession::FtpReconnect() {
  forget();
  if (ConnectionHandle != kNoHandle) InternetCloseHandle(ConnectionHandle);
  if (SessionHandle != kNoHandle) InternetCloseHandle(SessionHandle);
  ConnectionHandle = SessionHandle = TransferHandle = kNoHandle;
  browse_.Connected = false;
  SessionHandle = InternetOpen();
  if (SessionHandle == kNoHandle) return false;
  const ConnectionRecord r = settings_.current();
  ConnectionHandle = InternetConnect(SessionHandle, r.host(), r.port(), r.user(), r.password());
  if (ConnectionHandle == kNoHandle) {
    InternetCloseHandle(SessionHandle);
    SessionHandle = kNoHandle;
    return false;
  }
  browse_.Connected = true;
  return FtpSetCurrentDirectory(ConnectionHandle, browse_.CurrentDirectory);
}

void FtpSession::FtpClose() {
  if (TransferHandle != kNoHandle) InternetCloseHandle(TransferHandle);
  TransferHandle = kNoHandle;
  if (ConnectionHandle != kNoHandle) InternetCloseHandle(ConnectionHandle);
  ConnectionHandle = kNoHandle;
  if (SessionHandle != kNoHandle) InternetCloseHandle(SessionHandle);
  SessionHandle = kNoHandle;
  browse_.Connected = false;
}

std::string FtpSession::KindDirectory(ReportKind kind) const {
  return KindDirectory(kind, browse_.ComputerDir);
}

std::string FtpSession::KindDirectory(ReportKind kind, const std::string& computerDir) const {
  return browse_.ObjectPath + "/" + computerDir + "/" + std::string(kindCode(kind));
}

int FtpSession::EnterKindDirectory(ReportKind kind) {
  browse_.CurrentDirectory = KindDirectory(kind);
  int attempts = 2;
  for (;;) {
    if (FtpSetCurrentDirectory(ConnectionHandle, browse_.CurrentDirectory)) return 0;
    if (--attempts == 0) break;
    const uint32_t e = GetLastError();
    if (e == ftp::kErrorInternetTimeout || e == ftp::kErrorInternetConnectionAborted) {
      if (!FtpReconnect()) break;
    }
  }
  return GetLastError() == ftp::kErrorInternetExtendedError ? 1 : 2;
}

// --- Handles.

HINTERNET FtpSession::InternetOpen() {
  curlGlobalInit();
  lastError_ = 0;
  return newHandle();
}

HINTERNET FtpSession::InternetConnect(HINTERNET session, const std::string& host, int32_t port,
                                      const std::string& user, const std::string& password) {
  if (session == kNoHandle || session != SessionHandle) return fail(ftp::kErrorInvalidHandle), kNoHandle;
  if (!validHost(host)) return fail(ftp::kErrorInternetNameNotResolved), kNoHandle;
  if (!safeForCommand(user) || !safeForCommand(password)) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  auto c = std::make_unique<ftp::Connection>();
  c->curl = curl_easy_init();
  if (!c->curl) return fail(ftp::kErrorInternetConnectionAborted), kNoHandle;
  const unsigned tcpPort = static_cast<uint32_t>(port) & 0xFFFFu;
  const bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
  c->root = "ftp://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(tcpPort) + "/";
  c->user = user;
  c->password = password;
  uint32_t error = 0;
  if (facts_.root != c->root) {
    facts_ = ServerFacts{};
    facts_.root = c->root;
  }
  c->bytes = facts_.bytes;
  c->waiting = &waitHook_;
  c->transcript.sink = &transcript_;
  // FEAT once per server: its answer does not change between reconnects. The first listing (STAT)
  // needs none, so with extra connections their logins ask it, off the connect's critical path.
  const bool askFeatures = !facts_.featuresKnown && connections_ == 1;
  const bool in = loginSecurely(*c, host, tcpPort, user, askFeatures, error);
  facts_.bytes = c->bytes;
  if (!in) return fail(error), kNoHandle;
  if (askFeatures) {
    facts_.featuresKnown = true;
    facts_.hasMlst = c->hasMlst;
  }
  c->hasMlst = facts_.hasMlst;
  c->replies.clear();
  c->handle = newHandle();
  connection_ = std::move(c);
  openExtras();
  lastError_ = 0;
  return connection_->handle;
}

bool FtpSession::InternetCloseHandle(HINTERNET handle) {
  if (handle == kNoHandle) return fail(ftp::kErrorInvalidHandle);
  if (transfer_ && transfer_->handle == handle) {
    transfer_.reset();
    return true;
  }
  if ((connection_ && connection_->handle == handle) || handle == SessionHandle) {
    // Closing the session closes what was opened on it; QUIT goes to every connection.
    transfer_.reset();
    closeExtras();
    connection_.reset();
    forget();
    return true;
  }
  return fail(ftp::kErrorInvalidHandle);
}

// --- Directories.

bool FtpSession::FtpGetCurrentDirectory(HINTERNET connection, std::string& directory) {
  if (!connectionValid(connection)) return false;
  ftp::Connection& c = *connection_;
  if (c.entryNamed && c.cwd == c.entryPath) {
    // Nothing entered since the login: the login's own PWD named this directory.
    directory = c.entryPath;
    lastError_ = 0;
    return true;
  }
  long code = 0;
  CURLcode rc = c.command(timeouts_, {"PWD"}, code);
  if (rc == CURLE_OK && code == 257 && c.reconnected() && c.cwd != c.entryPath) {
    // A new connection starts in the login directory: enter the callers' directory there first.
    std::string sent;
    if (!wire(c.cwd, sent)) return false;
    rc = c.command(timeouts_, {"CWD " + sent, "PWD"}, code);
  }
  if (rc != CURLE_OK) return failed(rc, code);
  if (code != 257) return fail(replyError(code));
  uint32_t error = 0;
  std::string dir;
  if (!c.replyPath(timeouts_, dir, error)) return fail(error);
  c.cwd = dir;
  directory = dir;
  lastError_ = 0;
  return true;
}

// CWD and MKD: one command of our own, judged by its reply code.
bool FtpSession::pathCommand(const char* verb, const std::string& path) {
  std::string sent;
  if (!wire(path, sent)) return false;
  long code = 0;
  const CURLcode rc = connection_->command(timeouts_, {verb + (" " + sent)}, code);
  if (rc != CURLE_OK) return failed(rc, code);
  if (code < 200 || code >= 300)
    return fail(code == 0 ? ftp::kErrorInternetConnectionAborted : replyError(code));
  lastError_ = 0;
  return true;
}

bool FtpSession::FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory) {
  if (!connectionValid(connection)) return false;
  if (directory.empty() || !safeForCommand(directory)) return fail(ftp::kErrorInvalidParameter);
  const std::string path = resolve(directory);
  uint32_t lost = 0;
  switch (knownEntry(path, lost)) {
    case KnownEntry::Lost:
      return fail(lost);
    case KnownEntry::Enterable:
      connection_->cwd = path;
      lastError_ = 0;
      return true;
    case KnownEntry::Refused:
      return fail(ftp::kErrorInternetExtendedError);
    case KnownEntry::Unknown:
      break;
  }
  if (!pathCommand("CWD", path)) return false;
  connection_->cwd = path;
  return true;
}

bool FtpSession::FtpCreateDirectory(HINTERNET connection, const std::string& path) {
  if (!connectionValid(connection)) return false;
  if (path.empty() || !safeForCommand(path)) return fail(ftp::kErrorInvalidParameter);
  forget();
  return pathCommand("MKD", resolve(path));
}

bool FtpSession::FtpRenameFile(HINTERNET connection, const std::string& from, const std::string& to) {
  if (!connectionValid(connection)) return false;
  if (from.empty() || to.empty() || !safeForCommand(from) || !safeForCommand(to))
    return fail(ftp::kErrorInvalidParameter);
  forget();
  std::string sentFrom, sentTo;
  if (!wire(resolve(from), sentFrom) || !wire(resolve(to), sentTo)) return false;
  long code = 0;
  // Both in one request; a refused RNFR makes the RNTO fail too, and the last reply tells.
  const CURLcode rc = connection_->command(timeouts_, {"RNFR " + sentFrom, "RNTO " + sentTo}, code);
  if (rc != CURLE_OK) return failed(rc, code);
  if (code < 200 || code >= 300)
    return fail(code == 0 ? ftp::kErrorInternetConnectionAborted : replyError(code));
  lastError_ = 0;
  return true;
}

bool FtpSession::FtpDeleteFile(HINTERNET connection, const std::string& name) {
  if (!connectionValid(connection)) return false;
  if (name.empty() || !safeForCommand(name)) return fail(ftp::kErrorInvalidParameter);
  forget();
  return pathCommand("DELE", resolve(name));
}
