#pragma once
// One operator's road through the headless window, step by step, for the latency benchmark.

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Transcript.h"

// The seconds each step of the road took, one per round.
struct Times {
  std::vector<double> connect, object, line, report, objectLater, close;
};

// A column of the table: a server (the test server when kind is empty), plain or with TLS (cert names
// its PEM file), on one connection or on five, with its times and the transcript of its first road.
struct Column {
  Column(std::string name_, std::string kind_, std::string cert_, int connections_, std::string user_ = "op",
         std::string pin_ = "")
      : name(std::move(name_)),
        kind(std::move(kind_)),
        cert(std::move(cert_)),
        connections(connections_),
        user(std::move(user_)),
        pin(std::move(pin_)) {}
  std::string name, kind, cert;
  int connections;
  std::string user;  // the login the server takes
  std::string pin;   // the server's key for a TLS road ("" for plain FTP)
  int port = 0;
  pid_t pid = -1;
  Times times;
  std::unique_ptr<RoadTranscript> transcript;
};

// One operator's road, timed: connect and list the objects, choose A (its first line's reports come
// with it), choose its other line, open that line's newest daily report, choose B, close. The
// transcript, when one is given, receives every line of the session's connections. host: the server's
// address; false (with the reason printed) when a step failed.
[[nodiscard]] bool road(const char* host, const Column& col, Times& t, RoadTranscript* transcript);
