#include "support/HostProcess.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2 first: windows.h would bring the old winsock.
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

std::string HostProcess::readLine() {
  size_t end;
  while ((end = pending_.find('\n')) == std::string::npos && readSome(pending_)) {
  }
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end == std::string::npos ? end : end + 1);
  return line;
}

std::string HostProcess::readAll() {
  while (readSome(pending_)) {
  }
  return std::move(pending_);
}

std::string hostRun(const std::vector<std::string>& argv) {
  return HostProcess(argv).readAll();
}

#ifdef _WIN32

namespace {

std::map<std::string, std::string>& hostEnvironment() {
  static std::map<std::string, std::string> variables;
  return variables;
}

bool socketsStarted() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

using Socket = SOCKET;
void closeSocket(Socket s) {
  closesocket(s);
}

}  // namespace

void setHostEnvironment(const std::string& name, const std::string& value) {
  hostEnvironment()[name] = value;
}

// Request: the arguments, each ending in a NUL byte, and one NUL more. Answer: the program's output;
// the end of the program ends the answer. Half-closing the request stops the program, and the host
// closes the connection once it has ended.
HostProcess::HostProcess(const std::vector<std::string>& argv) {
  const char* port = std::getenv("OSTRAFTP_HOST_PORT");
  if (!socketsStarted() || !port)
    throw std::runtime_error("OSTRAFTP_HOST_PORT is not set: run the tests with make test-windows");
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    throw std::runtime_error("cannot reach the test host on port " + std::string(port));
  }
  socket_ = s;
  std::string request;
  if (!hostEnvironment().empty()) request.append("/usr/bin/env").push_back('\0');
  for (const auto& [name, value] : hostEnvironment()) request.append(name + "=" + value).push_back('\0');
  for (const auto& arg : argv) request.append(arg).push_back('\0');
  request.push_back('\0');
  for (size_t done = 0; done < request.size();) {
    const int n = send(s, request.data() + done, static_cast<int>(request.size() - done), 0);
    if (n <= 0) throw std::runtime_error("the test host took no request");
    done += static_cast<size_t>(n);
  }
}

HostProcess::~HostProcess() {
  const SOCKET s = static_cast<SOCKET>(socket_);
  shutdown(s, SD_SEND);
  char sink[4096];
  while (recv(s, sink, sizeof sink, 0) > 0) {
  }
  closesocket(s);
}

bool HostProcess::readSome(std::string& into) {
  char buf[65536];
  const int n = recv(static_cast<SOCKET>(socket_), buf, sizeof buf, 0);
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

std::string hostPath(const std::filesystem::path& local) {
  // Wine's own export: the Unix file name of a Windows path, allocated on the process heap.
  using UnixName = char* (*)(const wchar_t*);
  static const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (!unixName) throw std::runtime_error("not under Wine: no Linux path for " + local.string());
  char* name = unixName(std::filesystem::absolute(local).c_str());
  if (!name) throw std::runtime_error("no Linux path for " + local.string());
  std::string out(name);
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

bool hostIsRoot() {
  static const bool root = hostRun({"/usr/bin/id", "-u"}) == "0\n";
  return root;
}

#else

namespace {
using Socket = int;
bool socketsStarted() {
  return true;
}
void closeSocket(Socket s) {
  close(s);
}
}  // namespace

void setHostEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

HostProcess::HostProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  pid_t pid;
  const int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  pid_ = pid;
  out_ = out[0];
}

HostProcess::~HostProcess() {
  close(out_);
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

bool HostProcess::readSome(std::string& into) {
  char buf[65536];
  ssize_t n;
  do n = read(out_, buf, sizeof buf);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

std::string hostPath(const std::filesystem::path& local) {
  return local.string();
}

bool hostIsRoot() {
  return geteuid() == 0;
}

#endif

int unusedLoopbackPort() {
  // A port the system hands out and takes back: nobody listens on it right after.
  const Socket s = socketsStarted() ? socket(AF_INET, SOCK_STREAM, 0) : Socket(-1);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("no loopback port");
  closeSocket(s);
  return ntohs(a.sin_port);
}
