#pragma once
// One logged-in FTP connection on a libcurl easy handle: the requests the FTP operations are made of.
//
// libcurl never changes the server's directory on its own (NOCWD, absolute paths), so the server's own
// current directory never matters: the directory the callers entered is kept here (cwd) and is the base
// of relative names, also after libcurl silently opened a new connection for one the server had closed.

#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/FtpTelnet.h"

namespace ftp {

struct Timeouts;

// The last-error value of a failed request: libcurl's result and the server's last reply code.
[[nodiscard]] uint32_t curlError(CURLcode rc, long code);
// The last-error value of a refusal by a server that answered.
[[nodiscard]] uint32_t replyError(long code);

class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  uint32_t handle = 0;
  CURL* curl = nullptr;
  CURLM* multi = nullptr;  // runs the requests of curl; holds its live connection between them
  std::string root;        // "ftp://host:port/"
  std::string user, password;
  std::string entryPath;  // login directory, exactly as named on the server
  std::string cwd;        // the directory the callers last entered
  bool hasMlst = false;   // FEAT lists MLST: listings use MLSD, single lookups MLST
  ByteRules bytes;        // how this server reads and writes byte 0xFF
  std::vector<std::string> replies;

  // Logs in (USER, PASS, PWD) and reads FEAT; false with the last error in error.
  [[nodiscard]] bool login(const Timeouts& t, uint32_t& error);

  // Resets the handle and sets what every request needs. The live connection survives the reset.
  void prepare(const Timeouts& t, const std::string& target);
  // Sends commands of our own ("*" keeps the connection when the server refuses one) on a request
  // that transfers nothing; code is the last reply code, 0 when no reply came.
  CURLcode command(const Timeouts& t, const std::vector<std::string>& commands, long& code);
  // Runs a prepared request; code as for command().
  CURLcode perform(long& code);
  // True when the last request had to open a new control connection.
  [[nodiscard]] bool reconnected() const;

  // A path as the server must receive it in a command, learning first how the server reads 0xFF
  // when the path holds one; false (error set) when the connection failed meanwhile.
  [[nodiscard]] bool wire(const Timeouts& t, const std::string& path, std::string& out, uint32_t& error);
  // URL of an absolute path already in its wire form: "%2F" for the leading slash, each segment escaped.
  // Every request names an absolute path: on a URL without one, a request that follows a transfer on
  // the same connection makes libcurl send "CWD <login directory>" first, in its own raw form.
  [[nodiscard]] std::string url(const std::string& wirePath) const;
  // URL of a directory whose listing command carries the directory (libcurl adds it under NOCWD).
  [[nodiscard]] std::string directoryUrl(const std::string& wirePath) const;
  // The path named by a 257 reply among the last replies, read as this server writes 0xFF.
  [[nodiscard]] bool replyPath(const Timeouts& t, std::string& out, uint32_t& error);
  // The reply lines of the last request with reply code code ("257 ..." or "250-...").
  [[nodiscard]] std::vector<std::string> repliesWith(long code) const;

 private:
  // Runs the request to its end on the multi handle, with short waits of our own (see the .cpp).
  [[nodiscard]] CURLcode run();
  [[nodiscard]] bool learnCommandBytes(const Timeouts& t, uint32_t& error);
  [[nodiscard]] bool readPath(const Timeouts& t, const std::string& named, std::string& out, uint32_t& error);
};

}  // namespace ftp
