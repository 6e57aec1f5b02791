#pragma once
// One logged-in FTP connection on a libcurl easy handle: the requests the FTP operations are made of.
//
// libcurl never changes the server's directory on its own (NOCWD, absolute paths), so the server's own
// current directory never matters: the directory the callers entered is kept here (cwd) and is the base
// of relative names, also after libcurl silently opened a new connection for one the server had closed.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/FtpTelnet.h"
#include "net/FtpTls.h"
#include "net/FtpTranscript.h"

namespace ftp {

struct Timeouts;

// The last-error value of a failed request: libcurl's result and the server's last reply code.
[[nodiscard]] uint32_t curlError(CURLcode rc, long code);
// The last-error value of a refusal by a server that answered.
[[nodiscard]] uint32_t replyError(long code);

// Servers without MLSD may hand LIST's argument to ls, which splits it at blanks and expands wildcards
// (inetutils-ftpd, netkit ftpd): "LIST /Станция я" lists "/Станция" and "я", and answers 226. False for
// a path that such a server would not take literally.
[[nodiscard]] bool listsLiterally(const std::string& path);

// The body of a listing or a download as it arrives, refused past the download limit (or as soon as the
// server announces a larger size).
struct Body {
  std::string bytes;
  bool tooLarge = false;
  std::optional<uint64_t> announced;  // the size the 150 reply names ("(123 bytes)"), if any
};

// The size a 150 reply names: "150 Opening BINARY mode data connection for f (123 bytes)".
[[nodiscard]] std::optional<uint64_t> announcedSize(const std::string& line);

// The transfer type the server was last switched to on a connection (libcurl sends TYPE A before a
// listing and TYPE I before a file transfer whenever the connection is in the other one).
enum class TransferType { Unknown, Ascii, Binary };

// Calls a wait hook (may be empty) now and then while a request is awaited: at most every 30 ms.
class WaitPacer {
 public:
  explicit WaitPacer(const std::function<void()>* hook);
  void tick();

 private:
  const std::function<void()>* hook_;
  std::chrono::steady_clock::time_point last_;
};

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
  // TLS on this connection: the operator's choice and the pinned key (empty: the system's store decides).
  // Each connection keeps its own TLS session, which its data connections resume: servers such as vsftpd
  // refuse a data connection that does not resume the session of its own control connection, and a
  // session of another connection (another server process) never resumes there.
  TlsMode tls = TlsMode::None;
  TlsVersion tlsVersion = TlsVersion::Tls12;
  std::string pin;
  std::string entryPath;    // login directory, exactly as named on the server
  bool entryNamed = false;  // the server named it (PWD at the login answered); "/" otherwise
  std::string cwd;          // the directory the callers last entered
  bool hasMlst = false;     // FEAT lists MLST: listings use MLSD, single lookups MLST
  ByteRules bytes;          // how this server reads and writes byte 0xFF
  TransferType type = TransferType::Unknown;
  std::vector<std::string> replies;
  // libcurl's words for the failure of the last request.
  char errorText[CURL_ERROR_SIZE] = {};
  // Called now and then while a request waits, so that the window can repaint (may be empty).
  const std::function<void()>* waiting = nullptr;
  // What drives the requests of other connections a step while this one waits (may be empty).
  const std::function<void()>* background = nullptr;
  // Where the lines of its requests go (the benchmarks): set before the first request.
  Transcript transcript;

  // The same server, login and TLS as first (the session's extra connections).
  void sameServerAs(const Connection& first);
  // The certificate of the server: a TLS handshake that ends before the login (the key is checked
  // against a pin no key matches), so that nothing of the login crosses an unverified channel. Nothing
  // when the server offers no TLS or its certificate cannot be read.
  [[nodiscard]] std::optional<ServerKey> probeKey(const Timeouts& t);

  // Logs in (USER, PASS, PWD) and, unless the caller knows the answer, reads FEAT; false with the last
  // error in error.
  [[nodiscard]] bool login(const Timeouts& t, bool askFeatures, uint32_t& error);
  // The login request of login(), prepared to run along with others.
  void prepareLogin(const Timeouts& t, bool askFeatures = false);
  // A login (connect, TLS as set, USER, PASS, PWD) after which libcurl leaves the control connection to
  // a ControlPipe: it sends nothing more on it, and the connection serves no other request.
  void prepareControlOnly(const Timeouts& t);
  // The features of a FEAT reply among the last replies (hasMlst; none in a refusal).
  void readFeatures();
  // After a login: the features and the login directory, as login() reads them.
  [[nodiscard]] bool finishLogin(const Timeouts& t, CURLcode rc, uint32_t& error);

  // Resets the handle and sets what every request needs. The live connection survives the reset.
  void prepare(const Timeouts& t, const std::string& target);
  // Sends commands of our own ("*" keeps the connection when the server refuses one) on a request
  // that transfers nothing; code is the last reply code, 0 when no reply came.
  CURLcode command(const Timeouts& t, const std::vector<std::string>& commands, long& code);
  // The request of command(), prepared to run along with others.
  void prepareCommands(const Timeouts& t, const std::vector<std::string>& commands);
  // The last reply code of the last request, 0 when no reply came.
  [[nodiscard]] long replyCode() const;
  // Runs a prepared request; code as for command().
  CURLcode perform(long& code);
  // What the last listing or download brought. The connection owns it, so that its worker never
  // writes into memory of a caller, whatever order the caller frees its own in.
  Body body;
  // A listing (MLSD or LIST) of a directory in its wire form, into body.
  void prepareListing(const Timeouts& t, const std::string& wirePath);
  // A download of a file in its wire form, into body. With handEarly, a file whose data connection ended
  // with exactly the size its 150 reply announced is handed over at once (takeEarlyBody), while the
  // request still waits for the final reply, which vsftpd sends a round trip late.
  void prepareDownload(const Timeouts& t, const std::string& wirePath, bool handEarly = false);
  [[nodiscard]] bool takeEarlyBody(std::string& out);
  // An upload of bytes to a file in its wire form (STOR, or APPE when append); the bytes are kept here
  // until the request ends. Under TLS 1.3 a server sends a session ticket on the upload's data connection
  // once its handshake is done; libcurl 7.88 reads it only if it has come when it closes that connection:
  // unread, the close resets the connection (the server may lose the end of the file), and the next data
  // connection offers the session the upload used up, which vsftpd and ProFTPD refuse ("session reuse
  // required"). With awaitTicket the upload waits for the ticket first (a round trip at most);
  // ticketCame() tells whether it came.
  void prepareUpload(const Timeouts& t, const std::string& wirePath, std::string bytes, bool append,
                     bool awaitTicket = false);
  [[nodiscard]] bool ticketCame() const { return ticketCame_; }
  // After a download: the server began to send the file (150 or 125), so a failure cut it short.
  [[nodiscard]] bool transferStarted() const;

  // The request in steps, so that several connections run at once: start() hands the prepared request
  // to the connection's worker, a thread that lives as long as the connection; step() is true once the
  // request ended (result set). In between the worker alone touches the connection: its handle, its
  // buffers, its replies. Why threads: libcurl 7.88 waits in blocking calls for the final reply of a
  // transfer (vsftpd sends its 226 only once the client acknowledged the data, a round trip later) and
  // for FTP's TLS handshakes; on one thread each such wait held up every other connection and the window.
  [[nodiscard]] bool start();
  [[nodiscard]] bool step();
  // The window's thread waits for requests this way: done() steps them and says whether the wait is
  // over; until it is, each round sleeps until some request ends (one that ended during done() counts)
  // or 30 ms pass, then ticks the pacer (may be null) so that the window repaints.
  static void awaitRequests(const std::function<bool()>& done, WaitPacer* pacer);
  CURLcode result = CURLE_OK;
  // Ends the running request at once, in whatever phase it is (resolving, connecting, a handshake, a
  // wait for a reply): its sockets are shut down, no new one is opened, and the worker puts the request
  // down within milliseconds; abandon() returns then, the connection idle and its next request on a new
  // control connection. Nothing when no request runs.
  void abandon();
  // The first half of abandon(): the request is told to stop, not awaited (so that several stop at once).
  void stop();
  // True when the last request had to open a new control connection.
  [[nodiscard]] bool reconnected() const;
  // Waits at most timeoutMs until the running request's data connection has bytes to read; false when
  // none came (or no data connection is open).
  [[nodiscard]] bool awaitDataBytes(int timeoutMs);
  // Ends the control connection, so that the next request logs in on a new one (and a new TLS session).
  void renew();

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
  // The reply lines of the last request with reply code code ("257 ..." or "250-..."); whether any came.
  [[nodiscard]] std::vector<std::string> repliesWith(long code) const;
  [[nodiscard]] bool hasReply(long code) const;

 private:
  // Runs the request to its end on the worker, the window repainting meanwhile.
  [[nodiscard]] CURLcode run();

  [[nodiscard]] bool learnCommandBytes(const Timeouts& t, uint32_t& error);
  [[nodiscard]] bool readPath(const Timeouts& t, const std::string& named, std::string& out, uint32_t& error);
  curl_slist* quote_ = nullptr;       // the commands of the prepared request, alive while it runs
  bool probing_ = false;              // probeKey() runs
  bool downloading_ = false;          // the header callback reads the size a 150 reply announces
  bool handEarly_ = false;            // the download is handed over when its data connection ends whole
  std::optional<std::string> early_;  // so handed over (under socketsLock_)
  std::string outgoing_;              // the bytes of an upload
  size_t sent_ = 0;                   // of them already handed to libcurl
  bool awaitTicket_ = false;          // the upload waits for a TLS 1.3 session ticket before its data
  bool ticketCame_ = false;
  static size_t feedUpload(char* buffer, size_t size, size_t n, void* self);
  static size_t collectReply(char* data, size_t size, size_t n, void* self);
  // The worker's loop: each request handed over is driven on the multi handle by advance() with short
  // waits of waitSockets() until it ends or is abandoned.
  void serve();
  [[nodiscard]] bool advance();
  void waitSockets();
  void putDown();  // on the worker: a request abandoned midway leaves the multi handle
  // The directory libcurl's own CWD last entered on this handle (listings that enter first).
  std::string curlEntered_;
  // The sockets libcurl opened for this handle and has not closed: between requests only the control
  // connection's. The destructor says QUIT on it without waiting for the answer.
  std::set<curl_socket_t> sockets_;
  curl_socket_t control_ = CURL_SOCKET_BAD;  // the control connection's among them
  std::mutex socketsLock_;                   // the sockets are opened and closed on the worker
  bool stopping_ = false;                    // abandon() runs: no socket is opened (under socketsLock_)
  std::atomic<bool> stop_{false};            // abandon() runs: the worker puts the request down
  // The worker and the request it holds; phase_ and quit_ under the lock of the ended requests.
  enum class Phase { Idle, Handed, Running, Ended };
  Phase phase_ = Phase::Idle;
  bool quit_ = false;
  std::condition_variable wake_;
  std::thread worker_;
  bool running_ = false;  // the easy handle is in the multi handle (the worker's while a request runs)
  // The request is a login for a ControlPipe: once done, the handle stays in the multi handle, where
  // libcurl keeps the connection it hands over (removed, it would close it).
  bool controlOnly_ = false;
  static curl_socket_t openSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
  static int closeSocket(void* self, curl_socket_t fd);
};

}  // namespace ftp
