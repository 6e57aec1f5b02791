// The station overview's check of ten stations behind a delayed link of 0, 100 and 300 ms round trip:
// ten FTP servers on the link's server address (the test server, or the real server named), each with
// objects A, B and C of two lines, checked at once by the overview's checker on three connections per
// server with the program's time-outs. Per round trip the medians of three runs of the time until the
// first row update arrives, until the first row is done and until every row is done, in seconds and in
// round trips, and whether the goals hold at 300 ms (every row within 6 s, the first rows within 2 s).
// With --transcript, the first run at the largest round trip prints every command and reply of every
// connection of the first station, timed in round trips, and when each of its rows changed.
// Needs root for the link (network namespaces and TUN devices); says so and skips otherwise.
//
//   bench_overview [--server vsftpd|proftpd|pureftpd] [--transcript] [ROUND_TRIP_MS ...]
//                                                               (default the test server; 0 100 300)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DelayedLink.h"
#include "LinkServers.h"
#include "Transcript.h"
#include "overview/Checker.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStations = 10;
const std::vector<std::string> kObjects = {"A", "B", "C"};

// The times of one check of every station, in seconds from its start; problem says what went wrong.
struct Run {
  double firstUpdate = -1, firstDone = -1, allDone = -1;
  std::string problem;
};

// A change of a row of the transcribed station: when, which row, and whether it was done then.
struct Event {
  double at;
  std::string object;
  bool done;
};

// The saved connections to the servers ports[from, to), with the login the servers take.
SettingsFile stations(const std::vector<int>& ports, size_t from, size_t to, const std::string& user) {
  SettingsFile s;
  for (size_t i = from; i < to; ++i) {
    ConnectionRecord r;
    r.setName("st" + std::to_string(i));
    r.setHost(DelayedLink::kServerAddress);
    r.setPort(ports[i]);
    r.setUser(user);
    r.setPassword("secret");
    s.setRecord(static_cast<int>(i - from), r);
  }
  s.setConnectionCount(static_cast<int>(to - from));
  return s;
}

// What is wrong with a station's rows as the last updates left them ("" when nothing): every object
// listed with its alarm time, both lines with their newest hourly report, and the gas values.
std::string wrong(const std::map<int, overview::RowUpdate>& rows) {
  if (rows.size() != kObjects.size()) return std::to_string(rows.size()) + " rows";
  for (const auto& [index, u] : rows) {
    const overview::ObjectRow& r = u.row;
    const char* what = !u.done                                   ? "not done"
                       : r.failure != overview::Failure::None    ? "failed"
                       : r.object != kObjects[size_t(index)]     ? "wrong object"
                       : !r.listed || !r.alarm                   ? "no alarm time"
                       : r.lines.size() != 2 || !r.reportsListed ? "lines not listed"
                       : !r.newestHourly                         ? "no hourly report"
                       : r.gas != overview::Gas::Values          ? "no gas values"
                                                                 : nullptr;
    if (what) return "row " + std::to_string(index) + " (" + r.object + "): " + what + " " + r.detail;
  }
  return "";
}

// One check of every station, as the overview starts it. With a transcript, the first station is
// checked by a checker of its own whose connections hand their lines to it (the checker runs one
// thread per server either way), and its rows' changes go to events.
Run checkAll(const std::vector<int>& ports, const std::string& user, RoadTranscript* transcript,
             std::vector<Event>& events) {
  TempDir data;
  overview::CheckSetup setup;
  setup.dataFolder = data.cp1251();
  std::mutex m;
  Run run;
  std::map<int, std::map<int, overview::RowUpdate>> rows;  // by station, by index
  const auto t0 = Clock::now();
  const auto sinkFrom = [&](int first) {
    return [&, first](overview::RowUpdate u) {
      const double at = std::chrono::duration<double>(Clock::now() - t0).count();
      const std::lock_guard<std::mutex> hold(m);
      u.station += first;
      if (run.firstUpdate < 0) run.firstUpdate = at;
      if (u.done && run.firstDone < 0) run.firstDone = at;
      if (u.done) run.allDone = at;
      auto& station = rows[u.station];
      station[u.index] = u;
      if (!transcript || u.station != 0) return;
      events.push_back({at, u.row.object, u.done});
      if (std::all_of(station.begin(), station.end(), [&](const auto& r) { return r.second.done; }) &&
          static_cast<int>(station.size()) == u.count)
        transcript->end();
    };
  };
  std::vector<std::unique_ptr<overview::Checker>> checkers;
  const TlsFile tls;
  if (transcript) {
    transcript->begin("the overview's check");
    overview::CheckSetup first = setup;
    first.transcript = transcript->sink();
    checkers.push_back(
        std::make_unique<overview::Checker>(stations(ports, 0, 1, user), tls, first, sinkFrom(0)));
  }
  const size_t rest = transcript ? 1 : 0;
  checkers.push_back(std::make_unique<overview::Checker>(stations(ports, rest, ports.size(), user), tls,
                                                         setup, sinkFrom(static_cast<int>(rest))));
  const auto deadline = t0 + std::chrono::minutes(3);
  while (std::any_of(checkers.begin(), checkers.end(), [](const auto& c) { return !c->finished(); })) {
    if (Clock::now() > deadline) {
      checkers.clear();  // stops every check and waits for its thread
      run.problem = "the check did not end within three minutes";
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::lock_guard<std::mutex> hold(m);
  for (int s = 0; s < kStations && run.problem.empty(); ++s) {
    if (const std::string w = wrong(rows[s]); !w.empty())
      run.problem = "station st" + std::to_string(s) + ": " + w;
  }
  return run;
}

void printTime(double s, int rtt) {
  if (rtt == 0)
    std::printf("  %7.3f s %7s", s, "");
  else
    std::printf("  %7.3f s %5.1f RT", s, s * 1000 / rtt);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> delays;
  std::string kind;  // empty: the test server
  bool wantTranscript = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--server" && i + 1 < argc) {
      kind = argv[++i];
    } else if (arg == "--transcript") {
      wantTranscript = true;
    } else {
      delays.push_back(std::atoi(argv[i]));
    }
  }
  if (delays.empty()) delays = {0, 100, 300};
  const int largest = *std::max_element(delays.begin(), delays.end());
  const std::string user = serverUser(kind);
  const std::string serverName = kind.empty() ? "the test server (pyftpdlib)" : kind;

  TempDir tree;
  fillStation(tree.path() / "root", kObjects);
  std::unique_ptr<RoadTranscript> transcript;
  std::vector<Event> events;
  std::optional<Run> at300;
  std::printf(
      "ten stations (objects A, B, C of two lines each) on ten servers: %s; three connections per "
      "server; medians of 3 runs\n\n",
      serverName.c_str());
  std::printf("  %-10s  %-18s  %-18s  %-18s\n", "round trip", "first row update", "first row done",
              "all rows done");
  for (const int rtt : delays) {
    DelayedLink link;
    std::string why;
    if (!link.open(rtt, why)) {
      std::printf("bench_overview: skipped: %s\n", why.c_str());
      return 0;
    }
    std::vector<int> ports;
    std::vector<pid_t> servers;
    for (int s = 0; s < kStations; ++s) {
      pid_t pid = -1;
      ports.push_back(startServer(tree.path() / "root", kind, "", pid, s + 1));
      servers.push_back(pid);
      if (ports.back() == 0) {
        std::printf("bench_overview: server %d of ten (%s) did not start behind the link\n", s + 1,
                    serverName.c_str());
        stopServers(servers);
        return 1;
      }
    }
    if (!link.enterClientSide()) {
      stopServers(servers);
      std::printf("bench_overview: cannot enter the link's client side\n");
      return 1;
    }
    std::vector<double> firstUpdate, firstDone, allDone;
    std::string problem;
    for (int i = 0; i < 3 && problem.empty(); ++i) {
      const bool transcribed = wantTranscript && rtt == largest && largest > 0 && i == 0;
      if (transcribed) transcript = std::make_unique<RoadTranscript>();
      const Run r = checkAll(ports, user, transcribed ? transcript.get() : nullptr, events);
      problem = r.problem;
      firstUpdate.push_back(r.firstUpdate);
      firstDone.push_back(r.firstDone);
      allDone.push_back(r.allDone);
    }
    link.leaveClientSide();
    stopServers(servers);
    if (!problem.empty()) {
      std::printf("bench_overview: at %d ms %s\n", rtt, problem.c_str());
      return 1;
    }
    const Run m{median(firstUpdate), median(firstDone), median(allDone), ""};
    std::printf("  %7d ms", rtt);
    for (const double s : {m.firstUpdate, m.firstDone, m.allDone}) printTime(s, rtt);
    std::printf("\n");
    if (rtt == 300) at300 = m;
  }
  if (at300) {
    const auto verdict = [](double s, double goal) { return s <= goal ? "met" : "MISSED"; };
    std::printf(
        "\ngoals at 300 ms: every row done within 6 s: %.2f s, %s; the first rows shown within 2 s: "
        "%.2f s, %s (the first row done: %.2f s)\n",
        at300->allDone, verdict(at300->allDone, 6), at300->firstUpdate, verdict(at300->firstUpdate, 2),
        at300->firstDone);
  }
  if (transcript) {
    transcript->print("station st0 at " + std::to_string(largest) + " ms", largest);
    std::printf("\nstation st0's rows:\n");
    for (const Event& e : events)
      std::printf("  %5.1f RT  %s %s\n", e.at * 1000 / largest, e.object.c_str(),
                  e.done ? "done" : "updated");
  }
  return 0;
}
