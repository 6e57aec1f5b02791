#pragma once
// Several commands in flight on one control connection. Behind a link of a few hundred milliseconds a
// station's thirty folder listings (STAT) and alarm times (MDTM) cost thirty round trips one at a time,
// and one when they go out together: a server reads its commands from the stream in order and answers
// each in turn, so the replies come back in the order of the commands.
//
// The connection is logged in by libcurl (TLS and the pinned key included) and then handed over; the
// pipe writes and reads its bytes through libcurl, so that TLS stays libcurl's. Nothing blocks: the
// session drives the pipe a step whenever it drives its other connections.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

class Connection;

// One reply: its code and its lines, without CR LF ("213-Status of /a:", ..., "213 End").
struct Reply {
  long code = 0;
  std::vector<std::string> lines;
};

// Splits the bytes of a control connection into replies. A reply is one line "NNN text", or lines from
// "NNN-text" to the first line that begins with the same code and a blank (RFC 959); lines in between
// may say anything.
class ReplySplitter {
 public:
  // False when the bytes cannot be replies: a first line without a code, or one reply past maxBytes.
  [[nodiscard]] bool feed(std::string_view bytes);
  [[nodiscard]] std::optional<Reply> take();

  static constexpr size_t kMaxReplyBytes = 16u << 20;

 private:
  [[nodiscard]] bool endLine();
  std::string line_;  // the line being received
  Reply partial_;     // the reply being received (its first line read)
  size_t partialBytes_ = 0;
  std::deque<Reply> whole_;
};

// The commands and replies of a control connection handed over after its login.
class ControlPipe {
 public:
  // The connection must stay logged in and idle (no request of libcurl's) while the pipe uses it.
  explicit ControlPipe(Connection& c) : c_(c) {}

  // Queues a command line (without CR LF) to go out at the next step.
  void send(const std::string& command);
  // Writes what waits to go out and reads what has come; false once the connection failed (closed,
  // an error, bytes that are no replies).
  [[nodiscard]] bool step();
  // The next whole reply, in the order of the commands.
  [[nodiscard]] std::optional<Reply> take();
  // When the last byte came, or the first command of a burst went out while none was awaited.
  [[nodiscard]] std::chrono::steady_clock::time_point lastActivity() const { return lastActivity_; }

 private:
  Connection& c_;
  std::string out_;      // commands not yet handed to libcurl
  std::string sending_;  // the bytes being written, unchanged until they went out whole
  size_t offset_ = 0;    // of them already written
  size_t awaited_ = 0;
  ReplySplitter splitter_;
  std::chrono::steady_clock::time_point lastActivity_ = std::chrono::steady_clock::now();
};

// The port of a reply to EPSV: "229 Entering Extended Passive Mode (|||6446|)" (RFC 2428; any
// printable delimiter in place of '|').
[[nodiscard]] std::optional<unsigned> passivePort(const std::string& line);

// A passive data connection of the piped connection, to the control connection's own server address:
// connected and read without blocking, its bytes kept up to the download limit.
class DataSocket {
 public:
  DataSocket() = default;
  ~DataSocket();
  DataSocket(const DataSocket&) = delete;
  DataSocket& operator=(const DataSocket&) = delete;

  // Starts the connection to port at the peer of the connected socket control; false when it cannot.
  [[nodiscard]] bool open(curl_socket_t control, unsigned port);
  enum class State { Reading, Ended, Failed, TooLarge };
  // Reads what has come; Ended once the server closed the connection after the last byte.
  [[nodiscard]] State step(std::string& bytes);
  // When the last byte came (or the connection began).
  [[nodiscard]] std::chrono::steady_clock::time_point lastActivity() const { return lastActivity_; }

 private:
  curl_socket_t fd_ = CURL_SOCKET_BAD;
  State state_ = State::Reading;
  std::chrono::steady_clock::time_point lastActivity_ = std::chrono::steady_clock::now();
};

}  // namespace ftp
