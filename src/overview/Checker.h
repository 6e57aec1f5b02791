#pragma once
// Checks every saved connection at once: one thread per server (host and port), which checks that
// server's stations one after the other on at most CheckSetup::connections connections, so that no
// controller gets more. Rows reach the sink from those threads as they fill.

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "overview/Station.h"

namespace overview {

class Checker {
 public:
  // Starts at once; settings and tls are copied, so the window may change its own meanwhile.
  Checker(const SettingsFile& settings, const TlsFile& tls, CheckSetup setup, RowSink sink);
  // Stops every check and waits for the threads (each ends within milliseconds of the stop).
  ~Checker();
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  // Tells every check to stop; returns at once. Rows not done then stay as they are.
  void stop() { stop_ = true; }
  // True once every thread has ended (all rows done, or stopped).
  [[nodiscard]] bool finished() const { return running_ == 0; }
  // The stations in the order their rows are shown: every saved record.
  [[nodiscard]] int stations() const { return stations_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> running_{0};
  int stations_ = 0;
  std::vector<std::thread> threads_;
};

}  // namespace overview
