#include "Transcript.h"

#include <cstdio>
#include <map>
#include <string_view>

namespace {

constexpr size_t kWidth = 60;

std::string cut(std::string_view line) {
  if (line.size() <= kWidth) return std::string(line);
  return std::string(line.substr(0, kWidth - 3)) + "...";
}

// What the transcript keeps of one connection between its lines.
struct State {
  bool dataPending = false;    // a data connection is being opened
  bool offersSession = false;  // the next TLS handshake offers the session of an earlier one
  std::string openCode;        // the code of a reply of several lines under way
  int openLines = 0;
};

// libcurl's notes worth a line: a connection made (the control connection or a data connection), a TLS
// handshake begun and done, the server's TLS close and a TLS 1.3 session ticket; "" for the others.
std::string note(std::string_view text, State& s) {
  const auto has = [&](std::string_view part) { return text.find(part) != std::string_view::npos; };
  if (has("Connecting to ")) {
    s.dataPending = true;  // libcurl's words for a data connection only
  } else if (text.rfind("Connected to ", 0) == 0) {
    const bool data = s.dataPending;
    s.dataPending = false;
    return data ? "data connection up" : "control connection up";
  } else if (has("SSL re-using session ID")) {
    s.offersSession = true;
  } else if (has("TLS handshake, Client hello")) {
    const bool resumes = s.offersSession;
    s.offersSession = false;
    return resumes ? "TLS handshake begins (offers the earlier session)" : "TLS handshake begins";
  } else if (text.rfind("SSL connection using ", 0) == 0) {
    return "TLS handshake done: " + std::string(text.substr(21));
  } else if (has("(IN), TLS alert, close notify")) {
    return "the server closes its TLS (close notify)";
  } else if (has("(IN), TLS handshake, Newsession Ticket")) {
    return "TLS session ticket";
  }
  return "";
}

// "213-..." begins a reply of several lines; "213 ..." of the same code ends it.
bool opens(std::string_view line) {
  return line.size() >= 4 && line[3] == '-' && line[0] >= '1' && line[0] <= '5';
}

}  // namespace

ftp::TranscriptSink RoadTranscript::sink() {
  return [this](int connection, ftp::Wire kind, std::string_view line) {
    const auto at = Clock::now();
    std::lock_guard<std::mutex> hold(lock_);
    lines_.push_back({at, connection, kind, std::string(line)});
  };
}

void RoadTranscript::begin(const std::string& step) {
  std::lock_guard<std::mutex> hold(lock_);
  steps_.push_back({step, Clock::now(), {}, lines_.size(), 0});
}

void RoadTranscript::end() {
  std::lock_guard<std::mutex> hold(lock_);
  steps_.back().end = Clock::now();
  steps_.back().last = lines_.size();
}

void RoadTranscript::print(const std::string& title, int roundTripMs) const {
  std::lock_guard<std::mutex> hold(lock_);
  const auto rt = [&](Clock::time_point at, Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(at - from).count() / roundTripMs;
  };
  for (const Step& s : steps_) {
    std::printf("\n%s, %s (%.1f RT)\n", title.c_str(), s.name.c_str(), rt(s.end, s.begin));
    std::map<int, State> states;
    for (size_t i = s.first; i < s.last; ++i) {
      const Line& l = lines_[i];
      State& state = states[l.connection];
      std::string shown;
      char mark = '<';
      if (l.kind == ftp::Wire::Sent) {
        mark = '>';
        shown = cut(l.text);
      } else if (l.kind == ftp::Wire::Note) {
        mark = '*';
        shown = note(l.text, state);
      } else if (!state.openCode.empty()) {
        ++state.openLines;
        if (l.text.compare(0, 4, state.openCode + " ") != 0) continue;
        shown = cut(l.text) + " (" + std::to_string(state.openLines) + " lines)";
        state.openCode.clear();
      } else {
        if (opens(l.text)) {
          state.openCode = l.text.substr(0, 3);
          state.openLines = 1;
        }
        shown = cut(l.text);
      }
      if (!shown.empty())
        std::printf("  %5.1f c%d %c %s\n", rt(l.at, s.begin), l.connection, mark, shown.c_str());
    }
    if (const size_t after = (&s == &steps_.back() ? lines_.size() : (&s + 1)->first) - s.last; after > 0)
      std::printf("  (%zu lines more before the next step)\n", after);
  }
}
