#include "net/Ftp_fun.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "core/Cp1251.h"
#include "core/ReportKind.h"
#include "settings/SettingsFile.h"

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

size_t collectBytes(char* data, size_t size, size_t n, void* user) {
  static_cast<std::string*>(user)->append(data, size * n);
  return size * n;
}

struct Download {
  std::string bytes;
  bool tooLarge = false;
};

size_t collectDownload(char* data, size_t size, size_t n, void* user) {
  auto* d = static_cast<Download*>(user);
  if (d->bytes.size() + size * n > ftp::kMaxDownloadBytes) {
    d->tooLarge = true;
    return 0;
  }
  d->bytes.append(data, size * n);
  return size * n;
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

// The server's replies, line by line (libcurl hands FTP replies to the header callback).
size_t collectReplyLine(char* data, size_t size, size_t n, void* user) {
  std::string line(data, size * n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  static_cast<std::vector<std::string>*>(user)->push_back(std::move(line));
  return size * n;
}

// Reply code -> last error for a server that answered.
uint32_t replyError(long code) {
  return code == 421 ? ftp::kErrorInternetTimeout : ftp::kErrorInternetExtendedError;
}

uint32_t curlError(CURLcode rc, long code) {
  if (code == 421) return ftp::kErrorInternetTimeout;  // "service not available, closing connection"
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return ftp::kErrorInternetTimeout;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_WRITE_ERROR:
      return ftp::kErrorInternetExtendedError;
    case CURLE_COULDNT_RESOLVE_HOST:
      return ftp::kErrorInternetNameNotResolved;
    case CURLE_LOGIN_DENIED:
      return ftp::kErrorInternetLoginFailure;
    default:
      // Connection refused, reset, closed by the server, malformed replies: the connection is gone.
      return ftp::kErrorInternetConnectionAborted;
  }
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

// The logged-in connection: libcurl's handle (its connection cache holds the live control connection),
// what the server told at login, and the directory it is in.
struct FtpSession::Connection {
  HINTERNET handle = kNoHandle;
  CURL* curl = nullptr;
  std::string root;  // "ftp://host:port/"
  std::string user, password;
  std::string entryPath;  // login directory
  std::string serverCwd;  // the server's current directory
  bool hasMlst = false;   // FEAT lists MLST: listings use MLSD, single lookups MLST
  std::vector<std::string> replies;

  ~Connection() {
    if (curl) curl_easy_cleanup(curl);
  }

  // URL of an absolute file path: "%2F" for the leading slash, each segment escaped on its own.
  std::string url(const std::string& absPath) const {
    std::string out = root + "%2F";
    bool first = true;
    size_t start = 1;
    while (start <= absPath.size()) {
      size_t end = absPath.find('/', start);
      if (end == std::string::npos) end = absPath.size();
      if (end > start) {
        char* e = curl_easy_escape(curl, absPath.data() + start, static_cast<int>(end - start));
        if (!first) out += '/';
        out += e;
        curl_free(e);
        first = false;
      }
      start = end + 1;
    }
    return out;
  }

  // Resets the handle and sets what every request needs. The live connection survives the reset.
  void prepare(const ftp::Timeouts& t, const std::string& target) {
    curl_easy_reset(curl);
    replies.clear();
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, t.connect);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, t.response);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, t.stall);
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectReplyLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &replies);
  }

  // Sends one command of our own ("*" keeps the connection when the server refuses it) on a request
  // that transfers nothing; returns the reply code, 0 when no reply came.
  CURLcode command(const ftp::Timeouts& t, const std::string& cmd, long& code) {
    prepare(t, root);
    curl_slist* quote = curl_slist_append(nullptr, ("*" + cmd).c_str());
    curl_easy_setopt(curl, CURLOPT_QUOTE, quote);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(quote);
    code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    noteNewConnection();
    return rc;
  }

  // libcurl opens a new connection by itself when it finds the old one closed by the server while idle;
  // the server is then in the login directory again. A new connection shows in its greeting (220).
  void noteNewConnection() {
    for (const auto& line : replies) {
      if (line.compare(0, 4, "220 ") == 0 || line.compare(0, 4, "220-") == 0) {
        serverCwd = entryPath;
        return;
      }
    }
  }

  // The reply lines of the last command whose reply code is code ("257 ..." or "250-...").
  std::vector<std::string> repliesWith(long code) const {
    const std::string tag = std::to_string(code);
    std::vector<std::string> out;
    for (const auto& line : replies) {
      if (line.size() >= 4 && line.compare(0, 3, tag) == 0 && (line[3] == ' ' || line[3] == '-')) {
        out.push_back(line);
      }
    }
    return out;
  }
};

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

std::string FtpSession::resolve(const std::string& path) const {
  if (!path.empty() && path[0] == '/') return path;
  std::string base = connection_->serverCwd;
  if (base.empty() || base.back() != '/') base += '/';
  return base + path;
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

int FtpSession::EnterKindDirectory(int kind) {
  if (kind < 0 || kind >= kReportKindCount) return 1;
  browse_.CurrentDirectory =
      browse_.ObjectPath + "/" + browse_.ComputerDir + "/" + std::string(kReportKindCodes[kind]);
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
  auto c = std::make_unique<Connection>();
  c->curl = curl_easy_init();
  if (!c->curl) return fail(ftp::kErrorInternetConnectionAborted), kNoHandle;
  const unsigned tcpPort = static_cast<uint32_t>(port) & 0xFFFFu;
  const bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
  c->root = "ftp://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(tcpPort) + "/";
  c->user = user;
  c->password = password;
  // Log in (USER, PASS, PWD) and ask for the server's features on the same round of commands.
  c->prepare(timeouts_, c->root);
  curl_slist* quote = curl_slist_append(nullptr, "*FEAT");
  curl_easy_setopt(c->curl, CURLOPT_QUOTE, quote);
  curl_easy_setopt(c->curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(c->curl, CURLOPT_FRESH_CONNECT, 1L);
  const CURLcode rc = curl_easy_perform(c->curl);
  curl_slist_free_all(quote);
  long code = 0;
  curl_easy_getinfo(c->curl, CURLINFO_RESPONSE_CODE, &code);
  if (rc != CURLE_OK) return fail(curlError(rc, code)), kNoHandle;
  const char* entry = nullptr;
  curl_easy_getinfo(c->curl, CURLINFO_FTP_ENTRY_PATH, &entry);
  c->entryPath = entry ? entry : "/";
  c->serverCwd = c->entryPath;
  for (const auto& line : c->replies) {
    // Feature lines of the FEAT reply start with a blank: " MLST type*;size*;modify*;".
    if (line.size() >= 5 && line[0] == ' ' &&
        (line.compare(1, 4, "MLST") == 0 || line.compare(1, 4, "mlst") == 0)) {
      c->hasMlst = true;
    }
  }
  c->replies.clear();
  c->handle = newHandle();
  connection_ = std::move(c);
  lastError_ = 0;
  return connection_->handle;
}

bool FtpSession::InternetCloseHandle(HINTERNET handle) {
  if (handle == kNoHandle) return fail(ftp::kErrorInvalidHandle);
  if (transfer_ && transfer_->handle == handle) {
    transfer_.reset();
    return true;
  }
  if (connection_ && connection_->handle == handle) {
    transfer_.reset();
    connection_.reset();  // sends QUIT and closes the control connection
    return true;
  }
  if (handle == SessionHandle) {
    // Closing the session closes what was opened on it.
    transfer_.reset();
    connection_.reset();
    return true;
  }
  return fail(ftp::kErrorInvalidHandle);
}

// --- Directories.

bool FtpSession::FtpGetCurrentDirectory(HINTERNET connection, std::string& directory) {
  if (!connectionValid(connection)) return false;
  long code = 0;
  const CURLcode rc = connection_->command(timeouts_, "PWD", code);
  if (rc != CURLE_OK) return fail(curlError(rc, code));
  if (code != 257) return fail(replyError(code));
  // 257 "<dir>" text; a quote inside the name is doubled.
  const auto lines = connection_->repliesWith(257);
  if (lines.empty()) return fail(ftp::kErrorInternetExtendedError);
  const std::string& line = lines.back();
  const size_t open = line.find('"');
  if (open == std::string::npos) return fail(ftp::kErrorInternetExtendedError);
  std::string dir;
  size_t i = open + 1;
  for (; i < line.size(); ++i) {
    if (line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        dir += '"';
        ++i;
        continue;
      }
      break;
    }
    dir += line[i];
  }
  if (i >= line.size()) return fail(ftp::kErrorInternetExtendedError);
  connection_->serverCwd = dir;
  directory = dir;
  lastError_ = 0;
  return true;
}

bool FtpSession::FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory) {
  if (!connectionValid(connection)) return false;
  if (directory.empty() || !safeForCommand(directory)) return fail(ftp::kErrorInvalidParameter);
  const std::string path = resolve(directory);
  long code = 0;
  const CURLcode rc = connection_->command(timeouts_, "CWD " + path, code);
  if (rc != CURLE_OK) return fail(curlError(rc, code));
  if (code < 200 || code >= 300)
    return fail(code == 0 ? ftp::kErrorInternetConnectionAborted : replyError(code));
  connection_->serverCwd = path;
  lastError_ = 0;
  return true;
}

bool FtpSession::FtpCreateDirectory(HINTERNET connection, const std::string& path) {
  if (!connectionValid(connection)) return false;
  if (path.empty() || !safeForCommand(path)) return fail(ftp::kErrorInvalidParameter);
  long code = 0;
  const CURLcode rc = connection_->command(timeouts_, "MKD " + resolve(path), code);
  if (rc != CURLE_OK) return fail(curlError(rc, code));
  if (code < 200 || code >= 300)
    return fail(code == 0 ? ftp::kErrorInternetConnectionAborted : replyError(code));
  lastError_ = 0;
  return true;
}

// --- Listings.

bool FtpSession::listDirectory(const std::string& dir, std::vector<ftp::FindData>& out) {
  Connection& c = *connection_;
  std::string body;
  // The command goes with its absolute argument as written; libcurl adds nothing to a bare root URL.
  c.prepare(timeouts_, c.root);
  const std::string request = (c.hasMlst ? "MLSD " : "LIST ") + dir;
  curl_easy_setopt(c.curl, CURLOPT_CUSTOMREQUEST, request.c_str());
  curl_easy_setopt(c.curl, CURLOPT_WRITEFUNCTION, collectBytes);
  curl_easy_setopt(c.curl, CURLOPT_WRITEDATA, &body);
  const CURLcode rc = curl_easy_perform(c.curl);
  long code = 0;
  curl_easy_getinfo(c.curl, CURLINFO_RESPONSE_CODE, &code);
  c.noteNewConnection();
  if (rc != CURLE_OK) return fail(curlError(rc, code));
  out = c.hasMlst ? ftp::parseMlsd(body) : ftp::parseList(body, clock_());
  return true;
}

bool FtpSession::findOne(const std::string& path, std::vector<ftp::FindData>& out) {
  Connection& c = *connection_;
  out.clear();
  if (c.hasMlst) {
    // MLST answers on the control connection: no data connection for one file.
    long code = 0;
    const CURLcode rc = c.command(timeouts_, "MLST " + path, code);
    if (rc != CURLE_OK) return fail(curlError(rc, code));
    if (code == 421) return fail(ftp::kErrorInternetTimeout);
    if (code < 200 || code >= 300) return true;  // no such file: an empty result
    for (const auto& line : c.replies) {
      ftp::FindData e;
      if (!line.empty() && line[0] == ' ' && ftp::parseMlsxLine(line.substr(1), e)) {
        e.name = baseName(e.name);
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
    if (!listDirectory(connection_->serverCwd, t->entries)) return kNoHandle;
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
  Connection& c = *connection_;
  Download d;
  c.prepare(timeouts_, c.url(path));
  curl_easy_setopt(c.curl, CURLOPT_WRITEFUNCTION, collectDownload);
  curl_easy_setopt(c.curl, CURLOPT_WRITEDATA, &d);
  curl_easy_setopt(c.curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(ftp::kMaxDownloadBytes));
  const CURLcode rc = curl_easy_perform(c.curl);
  long code = 0;
  curl_easy_getinfo(c.curl, CURLINFO_RESPONSE_CODE, &code);
  c.noteNewConnection();
  if (rc != CURLE_OK) {
    return fail(d.tooLarge ? ftp::kErrorInternetExtendedError : curlError(rc, code)), kNoHandle;
  }
  t->kind = Transfer::Read;
  t->bytes = std::move(d.bytes);
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
  Connection& c = *connection_;
  Upload u{static_cast<const char*>(data), size};
  c.prepare(timeouts_, c.url(transfer_->path));
  curl_easy_setopt(c.curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c.curl, CURLOPT_READFUNCTION, feedUpload);
  curl_easy_setopt(c.curl, CURLOPT_READDATA, &u);
  curl_easy_setopt(c.curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  // The first write creates the file; later writes of the same handle add to it.
  if (transfer_->written) curl_easy_setopt(c.curl, CURLOPT_APPEND, 1L);
  const CURLcode rc = curl_easy_perform(c.curl);
  long code = 0;
  curl_easy_getinfo(c.curl, CURLINFO_RESPONSE_CODE, &code);
  c.noteNewConnection();
  if (rc != CURLE_OK) return fail(curlError(rc, code));
  transfer_->written = true;
  if (written) *written = size;
  lastError_ = 0;
  return true;
}
