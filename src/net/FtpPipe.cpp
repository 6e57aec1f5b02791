#include "net/FtpPipe.h"

#include <curl/curl.h>

#include "net/FtpConnection.h"

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
  if (c_.transcript.sink && *c_.transcript.sink)
    for (const auto& line : r->lines) (*c_.transcript.sink)(c_.transcript.connection, Wire::Received, line);
  return r;
}

void ControlPipe::send(const std::string& command) {
  if (c_.transcript.sink && *c_.transcript.sink)
    (*c_.transcript.sink)(c_.transcript.connection, Wire::Sent, command);
  if (awaited_ == 0) lastActivity_ = std::chrono::steady_clock::now();
  out_ += command;
  out_ += "\r\n";
  ++awaited_;
}

bool ControlPipe::step() {
  while (!out_.empty()) {
    size_t sent = 0;
    const CURLcode rc = curl_easy_send(c_.curl, out_.data(), out_.size(), &sent);
    if (rc == CURLE_AGAIN) break;
    if (rc != CURLE_OK) return false;
    out_.erase(0, sent);
  }
  for (;;) {
    char buffer[16384];
    size_t n = 0;
    const CURLcode rc = curl_easy_recv(c_.curl, buffer, sizeof buffer, &n);
    if (rc == CURLE_AGAIN) break;
    if (rc != CURLE_OK || n == 0) return false;  // an error, or the server closed the connection
    lastActivity_ = std::chrono::steady_clock::now();
    if (!splitter_.feed(std::string_view(buffer, n))) return false;
  }
  return true;
}

}  // namespace ftp
