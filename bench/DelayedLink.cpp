#include "DelayedLink.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool enterNs(const std::string& name) {
  const int fd = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = setns(fd, CLONE_NEWNET) == 0;
  ::close(fd);
  return ok;
}

// A TUN device (no packet information) made inside namespace ns; -1 when it cannot be made.
int tunIn(const std::string& ns, const char* device) {
  const int home = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  if (home < 0 || !enterNs(ns)) return -1;
  int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
  ifreq req{};
  req.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(req.ifr_name, device, IFNAMSIZ - 1);
  if (fd >= 0 && ioctl(fd, TUNSETIFF, &req) != 0) {
    ::close(fd);
    fd = -1;
  }
  (void)setns(home, CLONE_NEWNET);
  ::close(home);
  return fd;
}

// Moves packets between the two devices, each one due half the round trip after it came.
[[noreturn]] void forward(int a, int b, int roundTripMs) {
  struct Packet {
    Clock::time_point due;
    std::vector<char> bytes;
  };
  const auto oneWay = std::chrono::microseconds(roundTripMs * 500);
  std::deque<Packet> toB, toA;  // one delay for all: each direction stays in order
  std::vector<char> buffer(65536);
  for (;;) {
    const auto now = Clock::now();
    for (auto* q : {&toB, &toA}) {
      while (!q->empty() && q->front().due <= now) {
        (void)!write(q == &toB ? b : a, q->front().bytes.data(), q->front().bytes.size());
        q->pop_front();
      }
    }
    int timeout = -1;
    for (auto* q : {&toB, &toA}) {
      if (q->empty()) continue;
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(q->front().due - Clock::now()).count();
      const int w = static_cast<int>(std::max<long long>(0, wait));
      timeout = timeout < 0 ? w : std::min(timeout, w);
    }
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (poll(fds, 2, timeout) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      const ssize_t n = read(fds[i].fd, buffer.data(), buffer.size());
      if (n <= 0) continue;
      (i == 0 ? toB : toA).push_back({Clock::now() + oneWay, {buffer.begin(), buffer.begin() + n}});
    }
  }
}

}  // namespace

bool DelayedLink::open(int roundTripMs, std::string& why) {
  close();
  if (geteuid() != 0) {
    why = "a delayed link needs root (network namespaces and TUN devices)";
    return false;
  }
  for (const char* ns : {kClientNs, kServerNs}) {
    run(std::string("ip netns del ") + ns);  // left over from a run that was killed
    if (!run(std::string("ip netns add ") + ns)) {
      why = std::string("cannot make network namespace ") + ns;
      return false;
    }
  }
  const int a = tunIn(kClientNs, "oslc0"), b = tunIn(kServerNs, "osls0");
  if (a < 0 || b < 0) {
    why = "cannot make TUN devices (/dev/net/tun)";
    close();
    return false;
  }
  forwarder_ = fork();
  if (forwarder_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the benchmark
    forward(a, b, roundTripMs);
  }
  ::close(a);
  ::close(b);
  const struct {
    const char* ns;
    const char* device;
    const char* address;
  } sides[] = {{kClientNs, "oslc0", "10.78.0.1/24"}, {kServerNs, "osls0", "10.78.0.2/24"}};
  for (const auto& s : sides) {
    const std::string ip = std::string("ip -n ") + s.ns + " ";
    if (!run(ip + "link set lo up") || !run(ip + "addr add " + s.address + " dev " + s.device) ||
        !run(ip + "link set " + s.device + " up")) {
      why = "cannot set up the link's addresses";
      close();
      return false;
    }
  }
  return true;
}

bool DelayedLink::enterClientSide() {
  if (homeNs_ < 0) homeNs_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  return homeNs_ >= 0 && enterNs(kClientNs);
}

void DelayedLink::leaveClientSide() {
  if (homeNs_ >= 0) (void)setns(homeNs_, CLONE_NEWNET);
}

void DelayedLink::close() {
  leaveClientSide();
  if (forwarder_ > 0) {
    kill(forwarder_, SIGKILL);
    waitpid(forwarder_, nullptr, 0);
    forwarder_ = -1;
  }
  for (const char* ns : {kClientNs, kServerNs}) run(std::string("ip netns del ") + ns);
}

DelayedLink::~DelayedLink() {
  close();
  if (homeNs_ >= 0) ::close(homeNs_);
}
