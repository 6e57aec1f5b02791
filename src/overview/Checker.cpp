#include "overview/Checker.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

namespace overview {

Checker::Checker(const SettingsFile& settings, const TlsFile& tls, CheckSetup setup, RowSink sink) {
  stations_ = settings.connectionCount();
  // The stations of one server (host and port as the session connects to them) are checked in turn.
  std::map<std::pair<std::string, unsigned>, std::vector<int>> servers;
  for (int i = 0; i < stations_; ++i) {
    const ConnectionRecord r = settings.record(i);
    std::string host = r.host();
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    servers[{host, static_cast<unsigned>(r.port()) & 0xFFFFu}].push_back(i);
  }
  running_ = static_cast<int>(servers.size());
  for (auto& [server, records] : servers) {
    threads_.emplace_back([this, settings, tls, setup, sink, records = std::move(records)] {
      for (const int record : records) {
        try {
          checkStation(settings, record, tls, setup, stop_, sink);
        } catch (const Stopped&) {
          break;
        } catch (...) {
          // Nothing may end the program from a checking thread; the walk marked its rows where it could.
        }
      }
      --running_;
    });
  }
}

Checker::~Checker() {
  stop();
  for (auto& t : threads_) t.join();
}

}  // namespace overview
