#pragma once
// The command transcript of one road of the latency benchmark: what the session's connections sent and
// received during each step of the road, printed compactly, timed in round trips from the step's start.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "net/FtpTranscript.h"

class RoadTranscript {
 public:
  // The sink for FtpSession::setTranscript: keeps each line with the time it came (any thread).
  [[nodiscard]] ftp::TranscriptSink sink();
  // A step of the road begins now, or the one begun ended now.
  void begin(const std::string& step);
  void end();
  // Each step's lines under "title, step (n RT)": one line per command or reply ("  1.0 c0 > EPSV"),
  // replies cut to about 60 characters, a reply of several lines as its first and its last with their
  // count, of libcurl's notes only those that show a connection or a TLS handshake.
  void print(const std::string& title, int roundTripMs) const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Line {
    Clock::time_point at;
    int connection;
    ftp::Wire kind;
    std::string text;
  };
  struct Step {
    std::string name;
    Clock::time_point begin, end;
    size_t first = 0, last = 0;  // its lines: [first, last)
  };
  mutable std::mutex lock_;
  std::vector<Line> lines_;
  std::vector<Step> steps_;
};
