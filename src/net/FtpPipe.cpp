#include "net/FtpPipe.h"

#include <curl/curl.h>

#include <cstring>

#include "net/FtpConnection.h"
#include "net/Ftp_fun.h"
#include "net/Sockets.h"

namespace ftp {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// "NNN" at the start of a line, and what follows it: ' ' (or nothing) ends a reply, '-' opens one.
bool hasCode(const std::string& line) {
  return line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]) &&
         (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

}  // namespace

bool ReplySplitter::feed(std::string_view bytes) {
  for (const char b : bytes) {
    if (b != '\n') {
      line_ += b;
      if (partialBytes_ + line_.size() > kMaxReplyBytes) return false;
      continue;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (!endLine()) return false;
  }
  return true;
}

bool ReplySplitter::endLine() {
  std::string line = std::move(line_);
  line_.clear();
  if (partial_.lines.empty()) {
    if (!hasCode(line)) return false;
    partial_.code = std::stol(line.substr(0, 3));
    partialBytes_ = 0;
  }
  const bool ends =
      hasCode(line) && std::stol(line.substr(0, 3)) == partial_.code && (line.size() == 3 || line[3] == ' ');
  partialBytes_ += line.size();
  partial_.lines.push_back(std::move(line));
  if (ends) {
    whole_.push_back(std::move(partial_));
    partial_ = Reply{};
  }
  return true;
}

std::optional<Reply> ReplySplitter::take() {
  if (whole_.empty()) return std::nullopt;
  Reply r = std::move(whole_.front());
  whole_.pop_front();
  return r;
}

std::optional<Reply> ControlPipe::take() {
  auto r = splitter_.take();
  if (!r) return r;
  if (awaited_ > 0) --awaited_;
  for (const auto& line : r->lines) c_.transcript.hand(Wire::Received, line);
  return r;
}

void ControlPipe::send(const std::string& command) {
  c_.transcript.hand(Wire::Sent, command);
  if (awaited_ == 0) lastActivity_ = std::chrono::steady_clock::now();
  out_ += command;
  out_ += "\r\n";
  ++awaited_;
}

bool ControlPipe::step() {
  // Under TLS a write that could not go out must be offered again from the same bytes: new commands
  // wait in out_ until the bytes being sent went out whole.
  if (sending_.size() == offset_) {
    sending_ = std::move(out_);
    out_.clear();
    offset_ = 0;
  }
  while (offset_ < sending_.size()) {
    size_t sent = 0;
    const CURLcode rc = curl_easy_send(c_.curl, sending_.data() + offset_, sending_.size() - offset_, &sent);
    if (rc == CURLE_AGAIN) break;
    if (rc != CURLE_OK) return false;
    offset_ += sent;
  }
  // At most this much per step, so that a server that never stops sending cannot hold the thread.
  constexpr size_t kReadPerStep = 1u << 20;
  for (size_t read = 0; read < kReadPerStep;) {
    char buffer[16384];
    size_t n = 0;
    const CURLcode rc = curl_easy_recv(c_.curl, buffer, sizeof buffer, &n);
    if (rc == CURLE_AGAIN) break;
    if (rc != CURLE_OK || n == 0) return false;  // an error, or the server closed the connection
    lastActivity_ = std::chrono::steady_clock::now();
    read += n;
    if (!splitter_.feed(std::string_view(buffer, n))) return false;
  }
  return true;
}

std::optional<unsigned> passivePort(const std::string& line) {
  const size_t open = line.find('(');
  if (line.compare(0, 4, "229 ") != 0 || open == std::string::npos || open + 5 > line.size())
    return std::nullopt;
  const char d = line[open + 1];
  if (d < 33 || d > 126 || line[open + 2] != d || line[open + 3] != d) return std::nullopt;
  unsigned port = 0;
  size_t i = open + 4;
  for (; i < line.size() && isDigit(line[i]) && port <= 65535; ++i) port = port * 10 + (line[i] - '0');
  if (i == open + 4 || i + 1 >= line.size() || line[i] != d || line[i + 1] != ')' || port == 0 ||
      port > 65535)
    return std::nullopt;
  return port;
}

DataSocket::~DataSocket() {
  if (fd_ != CURL_SOCKET_BAD) sockets::closeNative(fd_);
}

bool DataSocket::open(curl_socket_t control, unsigned port) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (getpeername(control, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
  if (peer.ss_family == AF_INET)
    reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(static_cast<uint16_t>(port));
  else if (peer.ss_family == AF_INET6)
    reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(static_cast<uint16_t>(port));
  else
    return false;
  fd_ = sockets::openStream(peer.ss_family);
  if (fd_ == CURL_SOCKET_BAD) return false;
  lastActivity_ = std::chrono::steady_clock::now();
  return connect(fd_, reinterpret_cast<sockaddr*>(&peer), length) == 0 || sockets::wouldBlock();
}

DataSocket::State DataSocket::step(std::string& bytes) {
  while (state_ == State::Reading) {
    // Nothing to read yet (also while connecting): no call that could block.
    pollfd p{fd_, POLLIN, 0};
    if (sockets::pollSockets(&p, 1, 0) <= 0) break;
    char buffer[16384];
    const auto n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) {
      if (!sockets::wouldBlock()) state_ = State::Failed;
      break;
    }
    if (n == 0) {
      state_ = State::Ended;
      break;
    }
    lastActivity_ = std::chrono::steady_clock::now();
    if (bytes.size() + static_cast<size_t>(n) > kMaxDownloadBytes) {
      state_ = State::TooLarge;
      break;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return state_;
}

}  // namespace ftp
