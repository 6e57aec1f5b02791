#pragma once
// The few socket calls that differ between Winsock and POSIX, for the sockets the program handles
// itself (libcurl's own sockets at a stop, the piped connection's data connections).

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstddef>

namespace ftp::sockets {

#ifdef _WIN32
using Native = SOCKET;
inline constexpr Native kBad = INVALID_SOCKET;
inline constexpr int kShutBoth = SD_BOTH;
inline constexpr int kSendNow = 0;      // these sockets do not block; Windows raises no signal
inline constexpr short kPollError = 0;  // Winsock's poll takes no POLLPRI (and reports errors anyway)
inline int pollSockets(pollfd* fds, size_t count, int timeoutMs) {
  return WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}
inline int closeNative(Native fd) {
  return closesocket(fd);
}
// A socket not inherited by programs the process starts (as close-on-exec elsewhere).
inline Native openSocket(int family, int type, int protocol) {
  return WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}
inline bool setNonBlocking(Native fd) {
  u_long on = 1;
  return ioctlsocket(fd, FIONBIO, &on) == 0;
}
inline bool wouldBlock() {
  const int e = WSAGetLastError();
  return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS;
}
#else
using Native = int;
inline constexpr Native kBad = -1;
inline constexpr int kShutBoth = SHUT_RDWR;
inline constexpr int kSendNow = MSG_NOSIGNAL | MSG_DONTWAIT;
inline constexpr short kPollError = POLLPRI;
inline int pollSockets(pollfd* fds, size_t count, int timeoutMs) {
  return poll(fds, count, timeoutMs);
}
inline int closeNative(Native fd) {
  return close(fd);
}
inline Native openSocket(int family, int type, int protocol) {
  return socket(family, type | SOCK_CLOEXEC, protocol);
}
inline bool setNonBlocking(Native fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}
inline bool wouldBlock() {
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS;
}
#endif

// A TCP socket of openSocket() that does not block.
inline Native openStream(int family) {
  const Native fd = openSocket(family, SOCK_STREAM, IPPROTO_TCP);
  if (fd != kBad && !setNonBlocking(fd)) {
    closeNative(fd);
    return kBad;
  }
  return fd;
}

}  // namespace ftp::sockets
