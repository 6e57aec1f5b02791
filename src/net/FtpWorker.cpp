// The worker of a connection: a thread that lives as long as the connection and runs each request handed
// to it from start to result, on the connection's own handle and buffers; and how a request is abandoned
// at once, in whatever phase it is.

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

#include "core/OnUnwind.h"
#include "net/FtpConnection.h"
#include "net/Sockets.h"

namespace ftp {

namespace {

using sockets::closeNative;
using sockets::kPollError;
using sockets::kSendNow;
using sockets::kShutBoth;
using sockets::pollSockets;

#ifdef _WIN32
// The sockets in a set: Windows keeps a list of them.
template <typename F>
void forEachSocket(const fd_set& set, int, F f) {
  for (u_int k = 0; k < set.fd_count; ++k) f(set.fd_array[k]);
}
#else
// The sockets in a set: POSIX keeps a bit per descriptor up to the highest one.
template <typename F>
void forEachSocket(const fd_set& set, int maxfd, F f) {
  for (int fd = 0; fd <= maxfd; ++fd)
    if (FD_ISSET(fd, &set)) f(fd);
}
#endif

// The state of every worker's request and the count of the requests that ended, for the threads that
// wait on them. One lock for all connections of all sessions: a few tens at most (the station overview
// checks each server on three), each holding it for a few instructions; a waiter woken by another
// session's request looks and waits again.
std::mutex requestsLock;
std::condition_variable requestEnded;
uint64_t endedCount = 0;

}  // namespace

Connection::~Connection() {
  abandon();
  if (worker_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(requestsLock);
      quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }
  // Goodbye without waiting: libcurl would wait for the answer to its QUIT, a round trip per connection
  // (five on a session with extra connections, also at every reconnect). Its own QUIT then fails at
  // once on the closed socket.
  for (const curl_socket_t fd : sockets_) {
    (void)send(fd, "QUIT\r\n", 6, kSendNow);
    shutdown(fd, kShutBoth);
  }
  if (curl) curl_easy_cleanup(curl);
  curl_slist_free_all(quote_);
  // The live connection is in the multi handle's cache: its cleanup closes it (its QUIT fails at once).
  if (multi) curl_multi_cleanup(multi);
}

curl_socket_t Connection::openSocket(void* self, curlsocktype, curl_sockaddr* address) {
  auto* c = static_cast<Connection*>(self);
  // Decided under the lock that abandon() shuts the sockets under: a socket is either shut by it or
  // never opened, also one libcurl opens after the stop (a data connection, the next address of a name).
  const std::lock_guard<std::mutex> lock(c->socketsLock_);
  if (c->stopping_) return CURL_SOCKET_BAD;
  const curl_socket_t fd = sockets::openSocket(address->family, address->socktype, address->protocol);
  if (fd == CURL_SOCKET_BAD) return fd;
  // A data connection is only opened beside a control connection.
  if (c->sockets_.empty()) c->control_ = fd;
  c->sockets_.insert(fd);
  return fd;
}

int Connection::closeSocket(void* self, curl_socket_t fd) {
  bool handed = false;
  {
    auto* c = static_cast<Connection*>(self);
    const std::lock_guard<std::mutex> lock(c->socketsLock_);
    c->sockets_.erase(fd);
    const bool data = fd != c->control_;
    if (!data) c->control_ = CURL_SOCKET_BAD;
    // libcurl closes the data connection once it ended, then waits for the final reply: a file that
    // came whole by its announced size is the caller's now. No byte of it is written after this.
    const Body& b = c->body;
    if (data && c->handEarly_ && !c->early_ && !b.tooLarge && b.announced && *b.announced > 0 &&
        *b.announced == b.bytes.size()) {
      c->early_ = std::move(c->body.bytes);
      handed = true;
    }
  }
  if (handed) {  // the window's thread waits for this as for a request that ended
    {
      const std::lock_guard<std::mutex> lock(requestsLock);
      ++endedCount;
    }
    requestEnded.notify_all();
  }
  return closeNative(fd);
}

bool Connection::takeEarlyBody(std::string& out) {
  const std::lock_guard<std::mutex> lock(socketsLock_);
  if (!early_) return false;
  out = std::move(*early_);
  early_.reset();
  handEarly_ = false;
  return true;
}

CURLcode Connection::run() {
  if (!start()) return result;
  // An error thrown by the wait hook or the background work (the window closing meanwhile) ends the
  // request: it is abandoned, and the next request starts afresh.
  const OnUnwind abandonIt([this] { abandon(); });
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

bool Connection::start() {
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {
      result = CURLE_FAILED_INIT;  // nothing was handed over: the connection stays as it was
      return false;
    }
  }
  {
    const std::lock_guard<std::mutex> lock(requestsLock);
    phase_ = Phase::Handed;
  }
  wake_.notify_all();
  return true;
}

bool Connection::step() {
  const std::lock_guard<std::mutex> lock(requestsLock);
  if (phase_ == Phase::Ended) phase_ = Phase::Idle;
  return phase_ == Phase::Idle;
}

void Connection::serve() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(requestsLock);
      wake_.wait(lock, [this] { return phase_ == Phase::Handed || quit_; });
      if (quit_) return;
      phase_ = Phase::Running;
    }
    result = CURLE_ABORTED_BY_CALLBACK;
    if (!stop_) {
      result = CURLE_COULDNT_CONNECT;  // a request that ends without a result lost its connection
      if (!multi) multi = curl_multi_init();
      if (!multi) {
        result = CURLE_OUT_OF_MEMORY;
      } else if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
      } else {
        running_ = true;
        while (!stop_ && !advance()) waitSockets();
        if (running_) putDown();
      }
    }
    {
      const std::lock_guard<std::mutex> lock(requestsLock);
      phase_ = Phase::Ended;
      ++endedCount;
    }
    requestEnded.notify_all();
  }
}

void Connection::putDown() {
  // Removed midway, libcurl closes the connection without a word (no QUIT awaited on a shut socket).
  curl_multi_remove_handle(multi, curl);
  running_ = false;
  result = CURLE_ABORTED_BY_CALLBACK;
}

void Connection::stop() {
  {
    const std::lock_guard<std::mutex> lock(requestsLock);
    if (phase_ == Phase::Idle || phase_ == Phase::Ended) return;
  }
  const std::lock_guard<std::mutex> lock(socketsLock_);
  stopping_ = true;
  stop_ = true;
  for (const curl_socket_t fd : sockets_) shutdown(fd, kShutBoth);
}

void Connection::abandon() {
  stop();
  // Short: the worker checks the stop between its waits of at most 50 ms, and a blocking call of
  // libcurl's (a handshake, the wait for a final reply) fails at once on a shut socket.
  {
    std::unique_lock<std::mutex> lock(requestsLock);
    requestEnded.wait(lock, [this] { return phase_ == Phase::Idle || phase_ == Phase::Ended; });
    phase_ = Phase::Idle;
  }
  const std::lock_guard<std::mutex> lock(socketsLock_);
  stopping_ = false;
  stop_ = false;
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

WaitPacer::WaitPacer(const std::function<void()>* hook)
    : hook_(hook), last_(std::chrono::steady_clock::now()) {}

void WaitPacer::tick() {
  constexpr auto kEvery = std::chrono::milliseconds(30);
  if (!hook_ || !*hook_ || std::chrono::steady_clock::now() - last_ < kEvery) return;
  (*hook_)();
  last_ = std::chrono::steady_clock::now();
}

void Connection::awaitRequests(const std::function<bool()>& done, WaitPacer* pacer) {
  for (;;) {
    uint64_t seen = 0;
    {
      const std::lock_guard<std::mutex> lock(requestsLock);
      seen = endedCount;
    }
    if (done()) return;
    {
      std::unique_lock<std::mutex> lock(requestsLock);
      requestEnded.wait_for(lock, std::chrono::milliseconds(30), [seen] { return endedCount != seen; });
    }
    if (pacer) pacer->tick();
  }
}

bool Connection::advance() {
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
  if (!controlOnly_ || result != CURLE_OK) curl_multi_remove_handle(multi, curl);
  running_ = false;
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

}  // namespace ftp
