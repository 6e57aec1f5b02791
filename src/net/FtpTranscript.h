#pragma once
// The command transcript of a session's connections, for the benchmarks: every command line a connection
// sends, every reply line it receives, and libcurl's own notes on the connection (a data connection
// opened, a TLS handshake's steps), each with the connection's index (0 the first, 1.. the extra ones).
// Nothing of it runs unless a sink is set.

#include <functional>
#include <string_view>

namespace ftp {

enum class Wire { Sent, Received, Note };

// Called on each connection's worker thread, several at once: the sink must be safe for that.
using TranscriptSink = std::function<void(int connection, Wire kind, std::string_view line)>;

// What a connection hands its lines to: the session's sink (null or empty: none) under its index.
struct Transcript {
  const TranscriptSink* sink = nullptr;
  int connection = 0;
  void hand(Wire kind, std::string_view line) const {
    if (sink && *sink) (*sink)(connection, kind, line);
  }
};

// Hands the lines of the request prepared on the easy handle curl (a CURL*) to t's sink; nothing when
// there is none. t must outlive the request. No password is handed on: "PASS ****".
void tapTranscript(void* curl, const Transcript& t);

}  // namespace ftp
