// Listing parser throughput: 100,000 generated entries in MLSD and in Unix LIST form. Prints entries per
// second for each form next to the time of merely splitting the same bytes into lines (the floor).

#include <chrono>
#include <cstdio>
#include <string>

#include "net/FtpListing.h"

namespace {

constexpr int kEntries = 100000;
constexpr int kRounds = 5;

std::string name(int i) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "\xce\xe1\xfa\xe5\xea\xf2-v%04dn1-chakr-2009.%02d.%02d-%02d.txt", i % 10000,
                i % 12 + 1, i % 28 + 1, i % 24);
  return buf;
}

std::string mlsd() {
  std::string s;
  for (int i = 0; i < kEntries; ++i) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "type=%s;size=%d;modify=2009%02d%02d%02d0709;perm=r; ",
                  i % 10 ? "file" : "dir", 1000 + i, i % 12 + 1, i % 28 + 1, i % 24);
    s += buf + name(i) + "\r\n";
  }
  return s;
}

std::string unixList() {
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string s;
  for (int i = 0; i < kEntries; ++i) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s   1 owner    group    %8d %s %02d  2009 ",
                  i % 10 ? "-rw-r--r--" : "drwxr-xr-x", 1000 + i, months[i % 12], i % 28 + 1);
    s += buf + name(i) + "\r\n";
  }
  return s;
}

template <typename F>
double bestSeconds(F f) {
  double best = 1e9;
  for (int r = 0; r < kRounds; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

void report(const char* form, const std::string& data, size_t (*parse)(const std::string&)) {
  size_t lines = 0;
  const double split = bestSeconds([&] {
    lines = 0;
    ftp::forEachLine(data, [&](std::string_view) { ++lines; });
  });
  size_t parsed = 0;
  const double full = bestSeconds([&] { parsed = parse(data); });
  std::printf(
      "%-5s %zu bytes, %zu lines, %zu entries: parse %.1f ms (%.0f entries/s), split only %.1f ms "
      "(%.0f lines/s), parse/split %.1fx\n",
      form, data.size(), lines, parsed, full * 1e3, parsed / full, split * 1e3, lines / split, full / split);
}

}  // namespace

int main() {
  const std::string m = mlsd();
  const std::string l = unixList();
  const std::time_t now = std::time(nullptr);
  static std::time_t s_now;
  s_now = now;
  report("MLSD", m, [](const std::string& d) { return ftp::parseMlsd(d).size(); });
  report("LIST", l, [](const std::string& d) { return ftp::parseList(d, s_now).size(); });
  return 0;
}
