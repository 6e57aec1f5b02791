#pragma once
// A delayed point-to-point link for the latency benchmark: two network namespaces of our own, joined by a
// TUN device in each, with a forwarding process that holds every packet half the round-trip time in
// each direction. TCP handshakes, control and data connections are all delayed alike (what netem would
// do; the kernel here has none). Needs root; the namespaces are removed again by the destructor.

#include <sys/types.h>

#include <string>

class DelayedLink {
 public:
  static constexpr const char* kClientNs = "ostraftp-bench-c";
  static constexpr const char* kServerNs = "ostraftp-bench-s";
  static constexpr const char* kServerAddress = "10.78.0.2";

  DelayedLink() = default;
  ~DelayedLink();
  DelayedLink(const DelayedLink&) = delete;
  DelayedLink& operator=(const DelayedLink&) = delete;

  // Makes the link with this round-trip time; false with the reason when this machine cannot.
  [[nodiscard]] bool open(int roundTripMs, std::string& why);
  // Moves the calling process into the client namespace (its sockets then use the link), or back.
  [[nodiscard]] bool enterClientSide();
  void leaveClientSide();

 private:
  void close();
  pid_t forwarder_ = -1;
  int homeNs_ = -1;  // the namespace the process came from
};
