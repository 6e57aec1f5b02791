#include "net/FtpConnection.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <optional>
#include <thread>

#include "core/OnUnwind.h"
#include "net/Ftp_fun.h"

namespace ftp {

namespace {

#ifdef _WIN32
constexpr int kShutBoth = SD_BOTH;
constexpr int kSendNow = 0;      // libcurl's sockets do not block; Windows raises no signal
constexpr short kPollError = 0;  // Winsock's poll takes no POLLPRI (and reports errors anyway)
int pollSockets(pollfd* fds, size_t count, int timeoutMs) {
  return WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}
// The sockets in a set: Windows keeps a list of them.
template <typename F>
void forEachSocket(const fd_set& set, int, F f) {
  for (u_int k = 0; k < set.fd_count; ++k) f(set.fd_array[k]);
}
#else
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kSendNow = MSG_NOSIGNAL | MSG_DONTWAIT;
constexpr short kPollError = POLLPRI;
int pollSockets(pollfd* fds, size_t count, int timeoutMs) {
  return poll(fds, count, timeoutMs);
}
// The sockets in a set: POSIX keeps a bit per descriptor up to the highest one.
template <typename F>
void forEachSocket(const fd_set& set, int maxfd, F f) {
  for (int fd = 0; fd <= maxfd; ++fd)
    if (FD_ISSET(fd, &set)) f(fd);
}
#endif

// The requests that ended on their threads, counted, for the window's thread to wait on.
std::mutex endedLock;
std::condition_variable requestEnded;
uint64_t endedCount = 0;

// The server's replies, line by line (libcurl hands FTP replies to the header callback). A download
// that the server announces larger than the limit ends here, before its first byte.
size_t collectReplyLine(char* data, size_t size, size_t n, void* user) {
  auto* c = static_cast<Connection*>(user);
  std::string line(data, size * n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (c->receiving && line.compare(0, 4, "150 ") == 0) {
    const auto announced = announcedSize(line);
    c->receiving->announced = announced;
    if (announced && *announced > kMaxDownloadBytes) {
      c->receiving->tooLarge = true;
      return 0;
    }
  }
  c->replies.push_back(std::move(line));
  return size * n;
}

size_t collectBody(char* data, size_t size, size_t n, void* user) {
  auto* b = static_cast<Body*>(user);
  if (b->bytes.size() + size * n > kMaxDownloadBytes) {
    b->tooLarge = true;
    return 0;
  }
  b->bytes.append(data, size * n);
  return size * n;
}

bool hasFf(const std::string& s) {
  return s.find('\xff') != std::string::npos;
}

}  // namespace

bool listsLiterally(const std::string& path) {
  return path.find_first_of(" \t*?[]{}~\\") == std::string::npos;
}

std::optional<uint64_t> announcedSize(const std::string& line) {
  const size_t end = line.rfind(" bytes)");
  const size_t open = end == std::string::npos ? end : line.rfind('(', end);
  if (open == std::string::npos || end == open + 1) return std::nullopt;
  const std::string digits = line.substr(open + 1, end - open - 1);
  if (digits.size() > 19 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stoull(digits);
}

uint32_t replyError(long code) {
  return code == 421 ? kErrorInternetTimeout : kErrorInternetExtendedError;
}

uint32_t curlError(CURLcode rc, long code) {
  if (code == 421) return kErrorInternetTimeout;  // "service not available, closing connection"
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return kErrorInternetTimeout;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_WRITE_ERROR:
      return kErrorInternetExtendedError;
    case CURLE_COULDNT_RESOLVE_HOST:
      return kErrorInternetNameNotResolved;
    case CURLE_LOGIN_DENIED:
      return kErrorInternetLoginFailure;
    default:
      // Connection refused, reset, closed by the server, malformed replies: the connection is gone.
      return kErrorInternetConnectionAborted;
  }
}

Connection::~Connection() {
  stopWorker();
  // Goodbye without waiting: libcurl would wait for the answer to its QUIT, a round trip per connection
  // (five on a session with extra connections, also at every reconnect). Its own QUIT then fails at
  // once on the closed socket. A request still running gets no QUIT: its data connection may be open.
  for (const curl_socket_t fd : sockets_) {
    if (!running) (void)send(fd, "QUIT\r\n", 6, kSendNow);
    shutdown(fd, kShutBoth);
  }
  if (running) curl_multi_remove_handle(multi, curl);
  if (curl) curl_easy_cleanup(curl);
  curl_slist_free_all(quote_);
  // The live connection is in the multi handle's cache: its cleanup closes it (its QUIT fails at once).
  if (multi) curl_multi_cleanup(multi);
}

void Connection::prepare(const Timeouts& t, const std::string& target) {
  curl_easy_reset(curl);
  curl_slist_free_all(quote_);
  quote_ = nullptr;
  replies.clear();
  receiving = nullptr;
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
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, openSocket);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
  errorText[0] = '\0';
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  if (tls == TlsMode::None) return;
  curl_easy_setopt(curl, CURLOPT_USE_SSL,
                   static_cast<long>(tls == TlsMode::Required || probing_ ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  // One TLS version at a time (see TlsVersion; the session decides which).
  curl_easy_setopt(
      curl, CURLOPT_SSLVERSION,
      tlsVersion == TlsVersion::Tls13
          ? static_cast<long>(CURL_SSLVERSION_TLSv1_3) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_3)
          : static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  // The key share goes out for P-256 first: vsftpd takes no other group, and a share it cannot take costs
  // a round trip (a retried hello) on every handshake; every server takes P-256.
  curl_easy_setopt(curl, CURLOPT_SSL_EC_CURVES, "P-256:X25519:P-384");
#ifdef _WIN32
  // The system's store is Windows' own (OpenSSL would read only a bundle file of its own).
  curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
  // A pinned key replaces the store's verdict: the connection goes on only with that very key.
  const bool pinned = !pin.empty() || probing_;
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, pinned ? 0L : 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
  if (pinned) {
    // The probe's pin is 32 zero bytes: no key hashes to it, so the handshake ends before the login.
    const std::string pins = "sha256//" + (probing_ ? base64(std::string(32, '\0')) : pin);
    curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, pins.c_str());
  }
  if (probing_) curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);
}

void Connection::sameServerAs(const Connection& first) {
  root = first.root;
  user = first.user;
  password = first.password;
  tls = first.tls;
  tlsVersion = first.tlsVersion;
  pin = first.pin;
}

std::optional<ServerKey> Connection::probeKey(const Timeouts& t) {
  probing_ = true;
  prepareLogin(t);
  probing_ = false;
  // No login name or password of the operator's may reach the server here, even by mistake.
  curl_easy_setopt(curl, CURLOPT_USERNAME, "anonymous");
  curl_easy_setopt(curl, CURLOPT_PASSWORD, "");
  long code = 0;
  (void)perform(code);
  curl_certinfo* info = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) != CURLE_OK || !info || info->num_of_certs < 1)
    return std::nullopt;
  std::string subject, pem;
  for (const curl_slist* s = info->certinfo[0]; s; s = s->next) {
    const std::string_view field(s->data);
    if (field.rfind("Subject:", 0) == 0) subject = field.substr(8);
    if (field.rfind("Cert:", 0) == 0) pem = field.substr(5);
  }
  return serverKey(pem, subject);
}

curl_socket_t Connection::openSocket(void* self, curlsocktype, curl_sockaddr* address) {
#ifdef _WIN32
  // Not inherited by programs the process starts (as close-on-exec elsewhere).
  const curl_socket_t fd = WSASocketW(address->family, address->socktype, address->protocol, nullptr, 0,
                                      WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
#else
  const curl_socket_t fd = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
#endif
  if (fd == CURL_SOCKET_BAD) return fd;
  auto* c = static_cast<Connection*>(self);
  const std::lock_guard<std::mutex> lock(c->socketsLock_);
  // A data connection is only opened beside a control connection.
  if (c->sockets_.empty()) c->control_ = fd;
  c->sockets_.insert(fd);
  return fd;
}

int Connection::closeSocket(void* self, curl_socket_t fd) {
  {
    auto* c = static_cast<Connection*>(self);
    const std::lock_guard<std::mutex> lock(c->socketsLock_);
    c->sockets_.erase(fd);
    if (fd == c->control_) c->control_ = CURL_SOCKET_BAD;
  }
#ifdef _WIN32
  return closesocket(fd);
#else
  return close(fd);
#endif
}

CURLcode Connection::run() {
  if (!start()) return result;
  // An error thrown by the wait hook or the background work ends the request: libcurl closes its
  // connection, and the next request starts afresh.
  const OnUnwind abandon([this] {
    stopWorker();
    curl_multi_remove_handle(multi, curl);
    running = false;
    result = CURLE_ABORTED_BY_CALLBACK;
  });
  WaitPacer pacer(waiting);
  awaitRequests(
      [this] {
        if (step()) return true;
        if (background && *background) (*background)();
        return false;
      },
      &pacer);
  return result;
}

void Connection::stopWorker() {
  if (!worker_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(socketsLock_);
    for (const curl_socket_t fd : sockets_) shutdown(fd, kShutBoth);
  }
  worker_.join();
  const std::lock_guard<std::mutex> lock(endedLock);
  workerDone_ = false;
}

WaitPacer::WaitPacer(const std::function<void()>* hook)
    : hook_(hook), last_(std::chrono::steady_clock::now()) {}

void WaitPacer::tick() {
  constexpr auto kEvery = std::chrono::milliseconds(30);
  if (!hook_ || !*hook_ || std::chrono::steady_clock::now() - last_ < kEvery) return;
  (*hook_)();
  last_ = std::chrono::steady_clock::now();
}

bool Connection::start() {
  if (!begin()) return false;
  workerDone_ = false;
  worker_ = std::thread([this] {
    while (!advance()) waitSockets();
    {
      const std::lock_guard<std::mutex> lock(endedLock);
      workerDone_ = true;
      ++endedCount;
    }
    requestEnded.notify_all();
  });
  return true;
}

bool Connection::step() {
  if (!worker_.joinable()) return !running;
  {
    const std::lock_guard<std::mutex> lock(endedLock);
    if (!workerDone_) return false;
    workerDone_ = false;
  }
  worker_.join();
  return true;
}

void Connection::awaitRequests(const std::function<bool()>& done, WaitPacer* pacer) {
  for (;;) {
    uint64_t seen = 0;
    {
      const std::lock_guard<std::mutex> lock(endedLock);
      seen = endedCount;
    }
    if (done()) return;
    {
      std::unique_lock<std::mutex> lock(endedLock);
      requestEnded.wait_for(lock, std::chrono::milliseconds(30), [seen] { return endedCount != seen; });
    }
    if (pacer) pacer->tick();
  }
}

bool Connection::begin() {
  result = CURLE_COULDNT_CONNECT;  // a request that ends without a result lost its connection
  if (!multi && !(multi = curl_multi_init())) {
    result = CURLE_OUT_OF_MEMORY;
    return false;
  }
  if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
    result = CURLE_FAILED_INIT;
    return false;
  }
  running = true;
  return true;
}

bool Connection::advance() {
  if (!running) return true;
  int active = 0;
  bool done = curl_multi_perform(multi, &active) != CURLM_OK;
  int queued = 0;
  while (const CURLMsg* m = curl_multi_info_read(multi, &queued)) {
    if (m->msg == CURLMSG_DONE && m->easy_handle == curl) {
      result = m->data.result;
      done = true;
    }
  }
  if (!done && active != 0) return false;
  curl_multi_remove_handle(multi, curl);
  running = false;
  return true;
}

// Why not curl_easy_perform: libcurl 7.88 (Debian 12) sometimes reads the reply to EPSV/PASV in the same
// step that sent the command; it then sets up the data connection but opens its socket only on its next
// step, and meanwhile watches no socket at all. curl_easy_perform then sleeps its full poll time, one
// second, before that next step: every listing or transfer may be a second late, on a fast link most
// often. Here libcurl runs on a multi handle of our own, and whenever it watches no socket while the
// request is still running, the wait lasts at most a millisecond, so such a step costs that. With
// sockets the wait is bounded too, as a safety net for any other socket it forgets. Every time-out of
// the request stays libcurl's own, checked at each step.
void Connection::waitSockets() {
  constexpr long kNoSocketWaitMs = 1;
  constexpr long kSocketWaitMs = 50;
  fd_set read, write, error;
  FD_ZERO(&read);
  FD_ZERO(&write);
  FD_ZERO(&error);
  int maxfd = -1;
  curl_multi_fdset(multi, &read, &write, &error, &maxfd);
  long timeout = maxfd < 0 ? kNoSocketWaitMs : kSocketWaitMs;
  std::vector<pollfd> fds;
  const auto add = [&fds](curl_socket_t fd, short events) {
    auto at = std::find_if(fds.begin(), fds.end(), [fd](const pollfd& p) { return p.fd == fd; });
    if (at == fds.end()) at = fds.insert(fds.end(), pollfd{fd, 0, 0});
    at->events = static_cast<short>(at->events | events);
  };
  forEachSocket(read, maxfd, [&](curl_socket_t fd) { add(fd, POLLIN); });
  forEachSocket(write, maxfd, [&](curl_socket_t fd) { add(fd, POLLOUT); });
  forEachSocket(error, maxfd, [&](curl_socket_t fd) { add(fd, kPollError); });
  // While the data connection's TLS handshake is pending libcurl watches that connection alone, but the
  // handshake waits for the RETR or LIST that only the reply to TYPE lets it send: until the transfer
  // begins, the control connection is watched too (else the safety net's 50 ms pass on each transfer).
  if (maxfd >= 0 && !transferStarted()) {
    const std::lock_guard<std::mutex> lock(socketsLock_);
    if (control_ != CURL_SOCKET_BAD) add(control_, POLLIN);
  }
  long own = -1;
  curl_multi_timeout(multi, &own);
  if (own >= 0) timeout = std::min(timeout, own);
  // Winsock's poll fails at once on no sockets instead of waiting.
  if (fds.empty())
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
  else
    (void)pollSockets(fds.data(), fds.size(), static_cast<int>(timeout));
}

CURLcode Connection::perform(long& code) {
  const CURLcode rc = run();
  code = replyCode();
  return rc;
}

long Connection::replyCode() const {
  long code = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

void Connection::prepareCommands(const Timeouts& t, const std::vector<std::string>& commands) {
  prepare(t, url("/"));
  for (const auto& c : commands) quote_ = curl_slist_append(quote_, ("*" + c).c_str());
  curl_easy_setopt(curl, CURLOPT_QUOTE, quote_);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
}

CURLcode Connection::command(const Timeouts& t, const std::vector<std::string>& commands, long& code) {
  prepareCommands(t, commands);
  return perform(code);
}

bool Connection::awaitDataBytes(int timeoutMs) {
  pollfd p{CURL_SOCKET_BAD, POLLIN, 0};
  {
    const std::lock_guard<std::mutex> lock(socketsLock_);
    for (const curl_socket_t fd : sockets_)
      if (fd != control_) p.fd = fd;
  }
  return p.fd != CURL_SOCKET_BAD && pollSockets(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

void Connection::renew() {
  // libcurl finds the connection closed at the next request and opens a new one.
  const std::lock_guard<std::mutex> lock(socketsLock_);
  if (control_ != CURL_SOCKET_BAD) shutdown(control_, kShutBoth);
}

bool Connection::reconnected() const {
  long connects = 0;
  curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
  return connects > 0;
}

void Connection::prepareLogin(const Timeouts& t) {
  prepare(t, url("/"));
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
}

bool Connection::login(const Timeouts& t, bool askFeatures, uint32_t& error) {
  // Log in (USER, PASS, PWD) and ask for the server's features on the same round of commands.
  prepareLogin(t);
  if (askFeatures) {
    quote_ = curl_slist_append(nullptr, "*FEAT");
    curl_easy_setopt(curl, CURLOPT_QUOTE, quote_);
  }
  long code = 0;
  const CURLcode rc = perform(code);
  return finishLogin(t, rc, error);
}

bool Connection::finishLogin(const Timeouts& t, CURLcode rc, uint32_t& error) {
  if (rc != CURLE_OK) {
    error = curlError(rc, replyCode());
    return false;
  }
  for (const auto& line : replies) {
    // Feature lines of the FEAT reply start with a blank: " MLST type*;size*;modify*;".
    if (line.size() >= 5 && line[0] == ' ' &&
        (line.compare(1, 4, "MLST") == 0 || line.compare(1, 4, "mlst") == 0)) {
      hasMlst = true;
    }
  }
  const char* entry = nullptr;
  curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entry);
  const std::string named = entry ? entry : "/";
  entryNamed = entry != nullptr;
  if (!readPath(t, named, entryPath, error)) return false;
  cwd = entryPath;
  return true;
}

void Connection::prepareListing(const Timeouts& t, const std::string& wireDir, Body& body) {
  // On a directory URL under NOCWD libcurl sends the command with the directory as its argument.
  prepare(t, directoryUrl(wireDir));
  if (!hasMlst && !listsLiterally(wireDir)) {
    // LIST without an argument in the directory entered: libcurl sends one CWD of the whole path itself.
    // It skips that CWD when its own previous CWD entered the same directory, although our commands may
    // have moved the server since: then the CWD goes first, as a command of ours.
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    if (curlEntered_ == wireDir) {
      quote_ = curl_slist_append(nullptr, ("CWD " + wireDir).c_str());
      curl_easy_setopt(curl, CURLOPT_QUOTE, quote_);
    }
    curlEntered_ = wireDir;
  }
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, hasMlst ? "MLSD" : "LIST");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  type = TransferType::Ascii;
}

void Connection::prepareDownload(const Timeouts& t, const std::string& wirePath, Body& body) {
  prepare(t, url(wirePath));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxDownloadBytes));
  // No SIZE before RETR: a round trip for a number that the 150 reply and the 226 reply cover.
  curl_easy_setopt(curl, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  receiving = &body;
  type = TransferType::Binary;
}

bool Connection::transferStarted() const {
  return hasReply(150) || hasReply(125);
}

bool Connection::learnCommandBytes(const Timeouts& t, uint32_t& error) {
  // A refused CWD changes nothing on the server, and the server's own directory never matters here.
  long code = 0;
  const CURLcode rc = command(t, {std::string("CWD ") + kProbePath}, code);
  if (rc != CURLE_OK) {
    error = curlError(rc, code);
    return false;
  }
  const ByteRules learnt = readProbeReply(replies);
  bytes.commands = learnt.commands;
  if (learnt.replies != ReplyBytes::Unknown) bytes.replies = learnt.replies;
  return true;
}

bool Connection::wire(const Timeouts& t, const std::string& path, std::string& out, uint32_t& error) {
  if (hasFf(path) && bytes.commands == CommandBytes::Unknown && !learnCommandBytes(t, error)) return false;
  out = commandText(path, bytes.commands);
  return true;
}

bool Connection::readPath(const Timeouts& t, const std::string& named, std::string& out, uint32_t& error) {
  if (!hasFf(named) || bytes.replies == ReplyBytes::Raw) {
    out = named;
    return true;
  }
  if (bytes.replies == ReplyBytes::Doubled) {
    out = undoubleFf(named);
    return true;
  }
  if (hasOddFfRun(named)) {  // a doubling server never writes a lone 0xFF
    bytes.replies = ReplyBytes::Raw;
    out = named;
    return true;
  }
  // Every 0xFF comes in pairs: either the server doubles them or the name holds "яя". Enter the
  // undoubled path and ask where the server is: a doubling server names it doubled again.
  const std::string single = undoubleFf(named);
  std::string sent;
  if (!wire(t, single, sent, error)) return false;
  long code = 0;
  const CURLcode rc = command(t, {"CWD " + sent, "PWD"}, code);
  if (rc != CURLE_OK) {
    error = curlError(rc, code);
    return false;
  }
  const auto pwd = repliesWith(257);
  const auto entered = pwd.empty() ? std::nullopt : parsePathReply(pwd.back());
  const bool doubled = hasReply(250) && entered && *entered == doubleFf(single);
  bytes.replies = doubled ? ReplyBytes::Doubled : ReplyBytes::Raw;
  out = doubled ? single : named;
  return true;
}

bool Connection::replyPath(const Timeouts& t, std::string& out, uint32_t& error) {
  const auto lines = repliesWith(257);
  const auto named = lines.empty() ? std::nullopt : parsePathReply(lines.back());
  if (!named) {
    error = kErrorInternetExtendedError;
    return false;
  }
  return readPath(t, *named, out, error);
}

std::string Connection::url(const std::string& wirePath) const {
  std::string out = root + "%2F";
  bool first = true;
  size_t start = 1;
  while (start <= wirePath.size()) {
    size_t end = wirePath.find('/', start);
    if (end == std::string::npos) end = wirePath.size();
    if (end > start) {
      char* e = curl_easy_escape(curl, wirePath.data() + start, static_cast<int>(end - start));
      if (!first) out += '/';
      out += e;
      curl_free(e);
      first = false;
    }
    start = end + 1;
  }
  return out;
}

std::string Connection::directoryUrl(const std::string& wirePath) const {
  std::string u = url(wirePath);
  if (u.size() < 3 || u.compare(u.size() - 3, 3, "%2F") != 0) u += '/';
  return u;
}

namespace {
// A reply line of this code: "257 ..." or "250-...".
bool isReplyOf(const std::string& line, long code) {
  return line.size() >= 4 && line.compare(0, 3, std::to_string(code)) == 0 &&
         (line[3] == ' ' || line[3] == '-');
}
}  // namespace

std::vector<std::string> Connection::repliesWith(long code) const {
  std::vector<std::string> out;
  std::copy_if(replies.begin(), replies.end(), std::back_inserter(out),
               [code](const std::string& line) { return isReplyOf(line, code); });
  return out;
}

bool Connection::hasReply(long code) const {
  return std::any_of(replies.begin(), replies.end(),
                     [code](const std::string& line) { return isReplyOf(line, code); });
}

}  // namespace ftp
