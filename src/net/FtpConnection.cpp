#include "net/FtpConnection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <optional>

#include "net/Ftp_fun.h"

namespace ftp {

namespace {

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

// The server's replies, line by line (libcurl hands FTP replies to the header callback). A download
// that the server announces larger than the limit ends here, before its first byte.
size_t Connection::collectReply(char* data, size_t size, size_t n, void* self) {
  auto* c = static_cast<Connection*>(self);
  std::string line(data, size * n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (c->downloading_ && line.compare(0, 4, "150 ") == 0) {
    const auto announced = announcedSize(line);
    c->body.announced = announced;
    if (announced && *announced > kMaxDownloadBytes) {
      c->body.tooLarge = true;
      return 0;
    }
  }
  c->replies.push_back(std::move(line));
  return size * n;
}

size_t Connection::feedUpload(char* buffer, size_t size, size_t n, void* self) {
  auto* c = static_cast<Connection*>(self);
  if (c->awaitTicket_) {
    constexpr int kTicketWaitMs = 1000;
    c->ticketCame_ = c->awaitDataBytes(kTicketWaitMs);
    c->awaitTicket_ = false;
  }
  const size_t k = std::min(size * n, c->outgoing_.size() - c->sent_);
  std::memcpy(buffer, c->outgoing_.data() + c->sent_, k);
  c->sent_ += k;
  return k;
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

void Connection::prepare(const Timeouts& t, const std::string& target) {
  curl_easy_reset(curl);
  curl_slist_free_all(quote_);
  quote_ = nullptr;
  replies.clear();
  downloading_ = false;
  handEarly_ = false;
  {
    const std::lock_guard<std::mutex> lock(socketsLock_);
    early_.reset();
  }
  outgoing_.clear();
  sent_ = 0;
  controlOnly_ = false;
  curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // A name still being resolved when a request is abandoned is left to its resolver thread: libcurl
  // would otherwise wait for that thread as the request is put down.
  curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, t.connect);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, t.response);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, t.stall);
  curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectReply);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, openSocket);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
  errorText[0] = '\0';
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  tapTranscript(curl, transcript);
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
  transcript.sink = first.transcript.sink;
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

bool Connection::reconnected() const {
  long connects = 0;
  curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
  return connects > 0;
}

void Connection::prepareLogin(const Timeouts& t, bool askFeatures) {
  // Log in (USER, PASS, PWD) and ask for the server's features on the same round of commands.
  prepare(t, url("/"));
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  if (askFeatures) {
    quote_ = curl_slist_append(nullptr, "*FEAT");
    curl_easy_setopt(curl, CURLOPT_QUOTE, quote_);
  }
}

void Connection::prepareControlOnly(const Timeouts& t) {
  prepareLogin(t);
  curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
  controlOnly_ = true;
}

void Connection::readFeatures() {
  // Feature lines of the FEAT reply start with a blank: " MLST type*;size*;modify*;".
  hasMlst = std::any_of(replies.begin(), replies.end(), [](const std::string& line) {
    return line.size() >= 5 && line[0] == ' ' &&
           (line.compare(1, 4, "MLST") == 0 || line.compare(1, 4, "mlst") == 0);
  });
}

bool Connection::login(const Timeouts& t, bool askFeatures, uint32_t& error) {
  prepareLogin(t, askFeatures);
  long code = 0;
  const CURLcode rc = perform(code);
  return finishLogin(t, rc, error);
}

bool Connection::finishLogin(const Timeouts& t, CURLcode rc, uint32_t& error) {
  if (rc != CURLE_OK) {
    error = curlError(rc, replyCode());
    return false;
  }
  readFeatures();
  const char* entry = nullptr;
  curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entry);
  const std::string named = entry ? entry : "/";
  entryNamed = entry != nullptr;
  if (!readPath(t, named, entryPath, error)) return false;
  cwd = entryPath;
  return true;
}

void Connection::prepareListing(const Timeouts& t, const std::string& wireDir) {
  // On a directory URL under NOCWD libcurl sends the command with the directory as its argument.
  prepare(t, directoryUrl(wireDir));
  body = Body{};
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

void Connection::prepareDownload(const Timeouts& t, const std::string& wirePath, bool handEarly) {
  prepare(t, url(wirePath));
  handEarly_ = handEarly;
  body = Body{};
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxDownloadBytes));
  // No SIZE before RETR: a round trip for a number that the 150 reply and the 226 reply cover.
  curl_easy_setopt(curl, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  downloading_ = true;
  type = TransferType::Binary;
}

void Connection::prepareUpload(const Timeouts& t, const std::string& wirePath, std::string bytes, bool append,
                               bool awaitTicket) {
  prepare(t, url(wirePath));
  outgoing_ = std::move(bytes);
  awaitTicket_ = awaitTicket;
  ticketCame_ = false;
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, feedUpload);
  curl_easy_setopt(curl, CURLOPT_READDATA, this);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(outgoing_.size()));
  if (append) curl_easy_setopt(curl, CURLOPT_APPEND, 1L);
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
