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

namespace {

// libcurl's global state, set up once for the process before the first handle.
void curlGlobalInit() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

// A text that may go on the control connection: no CR, LF or other control bytes that could end the
// command early or smuggle another one.
bool safeForCommand(const std::string& s) {
  return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool hasWildcards(const std::string& s) {
  return s.find_first_of("*?") != std::string::npos;
}

// Wildcard match of a whole name: '*' any run, '?' one byte.
bool globMatch(const char* p, const char* s) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (; *s; ++s) {
        if (globMatch(p, s)) return true;
      }
      return false;
    }
    if (!*s || (*p != '?' && *p != *s)) return false;
    ++p, ++s;
  }
  return !*s;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Upload {
  const char* data;
  size_t left;
};

size_t feedUpload(char* buffer, size_t size, size_t n, void* user) {
  auto* u = static_cast<Upload*>(user);
  const size_t k = std::min(size * n, u->left);
  std::memcpy(buffer, u->data, k);
  u->data += k;
  u->left -= k;
  return k;
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

// The one open listing or file.
struct FtpSession::Transfer {
  enum Kind { Find, Read, Write } kind;
  HINTERNET handle = kNoHandle;
  std::vector<ftp::FindData> entries;  // Find
  size_t next = 0;
  std::string bytes;  // Read
  std::string path;   // Write: absolute path of the file
  bool written = false;
};

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

std::string FtpSession::resolve(const std::string& path) const {
  if (!path.empty() && path[0] == '/') return path;
  return ftp::joinPath(connection_->cwd, path);
}

bool FtpSession::wire(const std::string& path, std::string& out) {
  uint32_t error = 0;
  return connection_->wire(timeouts_, path, out, error) || fail(error);
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
  return browse_.ObjectPath + "/" + browse_.ComputerDir + "/" + std::string(kindCode(kind));
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
  // FEAT once per server: its answer does not change between reconnects.
  const bool in = c->login(timeouts_, !facts_.featuresKnown, error);
  facts_.bytes = c->bytes;
  if (!in) return fail(error), kNoHandle;
  if (facts_.featuresKnown) {
    c->hasMlst = facts_.hasMlst;
  } else {
    facts_.featuresKnown = true;
    facts_.hasMlst = c->hasMlst;
  }
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

// --- Listings.

bool FtpSession::listDirectory(const std::string& dir, std::vector<ftp::FindData>& out) {
  ftp::Connection& c = *connection_;
  std::string sent;
  if (!wire(dir, sent)) return false;
  ftp::Body body;
  c.prepareListing(timeouts_, sent, body);
  long code = 0;
  const CURLcode rc = c.perform(code);
  if (rc != CURLE_OK) return fail(body.tooLarge ? ftp::kErrorInternetExtendedError : curlError(rc, code));
  out = parseListing(body.bytes);
  return true;
}

std::vector<ftp::FindData> FtpSession::parseListing(const std::string& body) const {
  return connection_->hasMlst ? ftp::parseMlsd(body) : ftp::parseList(body, clock_());
}

bool FtpSession::findOne(const std::string& path, std::vector<ftp::FindData>& out) {
  ftp::Connection& c = *connection_;
  out.clear();
  const size_t slash = path.rfind('/');
  if (const auto* listed = knownListing(slash == 0 ? "/" : path.substr(0, slash))) {
    // The directory was just listed in this action: the entry is as listed there.
    for (const auto& e : *listed) {
      if (e.name == baseName(path)) out.push_back(e);
    }
    lastError_ = 0;
    return true;
  }
  if (c.hasMlst) {
    // MLST answers on the control connection: no data connection for one file.
    std::string sent;
    if (!wire(path, sent)) return false;
    long code = 0;
    const CURLcode rc = c.command(timeouts_, {"MLST " + sent}, code);
    if (rc != CURLE_OK) return failed(rc, code);
    if (code == 421) return fail(ftp::kErrorInternetTimeout);
    if (code < 200 || code >= 300) return true;  // no such file: an empty result
    for (const auto& line : c.replies) {
      ftp::FindData e;
      if (!line.empty() && line[0] == ' ' && ftp::parseMlsxLine(line.substr(1), e)) {
        // The name asked for, not the name in the reply: replies may double 0xFF.
        e.name = baseName(path);
        out.push_back(std::move(e));
      }
    }
    return true;
  }
  std::vector<ftp::FindData> listed;
  if (!listDirectory(path, listed)) {
    // A server that refuses LIST of a missing name has answered: the file is not there.
    return GetLastError() == ftp::kErrorInternetExtendedError ? (out.clear(), true) : false;
  }
  const std::string name = baseName(path);
  for (auto& e : listed) {
    if (baseName(e.name) == name) {
      e.name = name;
      out.push_back(std::move(e));
    }
  }
  return true;
}

HINTERNET FtpSession::FtpFindFirstFile(HINTERNET connection, const std::string& pattern,
                                       ftp::FindData& entry) {
  if (!connectionValid(connection)) return kNoHandle;
  if (!safeForCommand(pattern)) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  auto t = std::make_unique<Transfer>();
  t->kind = Transfer::Find;
  const bool all = pattern.empty() || pattern == "*.*" || pattern == "*";
  if (all || hasWildcards(pattern)) {
    uint32_t lost = 0;
    if (const auto* listed = knownListing(connection_->cwd, &lost)) {
      t->entries = *listed;
    } else if (lost != 0) {
      return fail(lost), kNoHandle;
    } else {
      if (!listDirectory(connection_->cwd, t->entries)) return kNoHandle;
      remember(connection_->cwd, t->entries);
    }
    if (!all) {
      std::erase_if(t->entries,
                    [&](const ftp::FindData& e) { return !globMatch(pattern.c_str(), e.name.c_str()); });
    }
  } else if (!findOne(resolve(pattern), t->entries)) {
    return kNoHandle;
  }
  if (t->entries.empty()) return fail(ftp::kErrorNoMoreFiles), kNoHandle;
  entry = t->entries[0];
  t->next = 1;
  return openTransfer(std::move(t));
}

bool FtpSession::InternetFindNextFile(HINTERNET find, ftp::FindData& entry) {
  if (!transferValid(find, Transfer::Find)) return false;
  if (transfer_->next >= transfer_->entries.size()) return fail(ftp::kErrorNoMoreFiles);
  entry = transfer_->entries[transfer_->next++];
  lastError_ = 0;
  return true;
}

// --- Files.

HINTERNET FtpSession::FtpOpenFile(HINTERNET connection, const std::string& name, uint32_t access) {
  if (!connectionValid(connection)) return kNoHandle;
  if (name.empty() || !safeForCommand(name)) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  const std::string path = resolve(name);
  auto t = std::make_unique<Transfer>();
  if (access == ftp::kGenericWrite) {
    t->kind = Transfer::Write;
    t->path = path;
    return openTransfer(std::move(t));
  }
  if (access != ftp::kGenericRead) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  t->kind = Transfer::Read;
  uint32_t refused = 0;
  if (takeKnownFile(path, t->bytes, refused)) {
    if (refused != 0) return fail(refused), kNoHandle;
    return openTransfer(std::move(t));
  }
  ftp::Connection& c = *connection_;
  std::string sent;
  if (!wire(path, sent)) return kNoHandle;
  ftp::Body body;
  c.prepareDownload(timeouts_, sent, body);
  long code = 0;
  const CURLcode rc = c.perform(code);
  if (rc != CURLE_OK) {
    return fail(body.tooLarge ? ftp::kErrorInternetExtendedError : curlError(rc, code)), kNoHandle;
  }
  // Fewer bytes than announced: the transfer was cut, as libcurl reports it when it knows the size.
  if (!c.sizeAsAnnounced(body)) return fail(ftp::kErrorInternetConnectionAborted), kNoHandle;
  t->bytes = std::move(body.bytes);
  return openTransfer(std::move(t));
}

uint32_t FtpSession::FtpGetFileSize(HINTERNET file, uint32_t* high) {
  if (!transferValid(file, Transfer::Read)) return 0xFFFFFFFFu;
  const uint64_t size = transfer_->bytes.size();
  if (high) *high = static_cast<uint32_t>(size >> 32);
  lastError_ = 0;
  return static_cast<uint32_t>(size);
}

bool FtpSession::InternetReadFile(HINTERNET file, void* buffer, uint32_t size, uint32_t* read) {
  if (read) *read = 0;
  if (!transferValid(file, Transfer::Read)) return false;
  const std::string& b = transfer_->bytes;
  const size_t k = std::min<size_t>(size, b.size() - transfer_->next);
  if (k > 0) std::memcpy(buffer, b.data() + transfer_->next, k);
  transfer_->next += k;
  if (read) *read = static_cast<uint32_t>(k);
  lastError_ = 0;
  return true;
}

bool FtpSession::InternetWriteFile(HINTERNET file, const void* data, uint32_t size, uint32_t* written) {
  if (written) *written = 0;
  if (!transferValid(file, Transfer::Write)) return false;
  ftp::Connection& c = *connection_;
  std::string sent;
  if (!wire(transfer_->path, sent)) return false;
  forget();
  Upload u{static_cast<const char*>(data), size};
  c.prepare(timeouts_, c.url(sent));
  c.type = ftp::TransferType::Binary;
  curl_easy_setopt(c.curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c.curl, CURLOPT_READFUNCTION, feedUpload);
  curl_easy_setopt(c.curl, CURLOPT_READDATA, &u);
  curl_easy_setopt(c.curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  // The first write creates the file; later writes of the same handle add to it.
  if (transfer_->written) curl_easy_setopt(c.curl, CURLOPT_APPEND, 1L);
  long code = 0;
  const CURLcode rc = c.perform(code);
  if (rc != CURLE_OK) return failed(rc, code);
  transfer_->written = true;
  if (written) *written = size;
  lastError_ = 0;
  return true;
}

FtpSession::WholeFile FtpSession::ReadWholeFile(const std::string& name, std::string& bytes) {
  bytes.clear();
  TransferHandle = FtpOpenFile(ConnectionHandle, name, ftp::kGenericRead);
  if (TransferHandle == kNoHandle) return WholeFile::OpenFailed;
  const uint32_t error = lastError_;
  const auto close = [&](WholeFile result) {
    InternetCloseHandle(TransferHandle);
    TransferHandle = kNoHandle;
    lastError_ = error;
    return result;
  };
  uint32_t high = 0;
  const uint32_t size = FtpGetFileSize(TransferHandle, &high);
  if (size == 0xFFFFFFFFu || high != 0) return close(WholeFile::ReadFailed);
  if (size == 0) return close(WholeFile::Empty);
  bytes.assign(size, '\0');
  uint32_t total = 0;
  bool ok = true;
  while (ok && total < size) {
    uint32_t got = 0;
    ok = InternetReadFile(TransferHandle, bytes.data() + total, size - total, &got);
    if (got == 0) break;
    total += got;
  }
  if (!ok || total != size) {
    bytes.clear();
    return close(WholeFile::ReadFailed);
  }
  return close(WholeFile::Read);
}

FtpSession::Listing FtpSession::ForEachEntry(const std::string& pattern, ftp::FindData& entry,
                                             const std::function<bool(const ftp::FindData&)>& visit) {
  entry = ftp::FindData{};
  TransferHandle = FtpFindFirstFile(ConnectionHandle, pattern, entry);
  if (TransferHandle == kNoHandle) {
    return GetLastError() == ftp::kErrorNoMoreFiles ? Listing::Empty : Listing::Failed;
  }
  while (visit(entry) && InternetFindNextFile(TransferHandle, entry)) {
  }
  InternetCloseHandle(TransferHandle);
  TransferHandle = kNoHandle;
  return Listing::Listed;
}
