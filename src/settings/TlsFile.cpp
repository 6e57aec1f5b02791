#include "settings/TlsFile.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/FileSys.h"
#include "core/Text.h"
#include "settings/SettingsFile.h"

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;  // ten connections need a few hundred bytes

bool escaped(unsigned char b) {
  return b < 0x20 || b == '%' || b == 0x7f;
}

std::string escape(const std::string& s) {
  return text::percentEscape(s, escaped);
}

// A pin as libcurl compares it: the base64 of a SHA-256, exactly as written (no blank, no line break).
bool validPin(const std::string& pin) {
  const auto raw = ftp::unbase64(pin);
  return raw && raw->size() == 32 && ftp::base64(*raw) == pin;
}

// "AB:CD:...": 32 bytes in upper-case hex, separated by colons.
bool validFingerprint(const std::string& f) {
  if (f.size() != 95) return false;
  for (size_t i = 0; i < f.size(); ++i) {
    const bool ok = i % 3 == 2 ? f[i] == ':' : (f[i] >= '0' && f[i] <= '9') || (f[i] >= 'A' && f[i] <= 'F');
    if (!ok) return false;
  }
  return true;
}

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> out(1);
  for (const char c : line) {
    if (c == sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

}  // namespace

TlsFile::Key TlsFile::keyOf(const ConnectionRecord& r) {
  return {r.host(), static_cast<uint32_t>(r.port()) & 0xFFFFu, r.user()};
}

std::vector<int> TlsFile::recordsWith(const SettingsFile& s, const Key& k, int except) {
  std::vector<int> out;
  for (int i = 0; i < s.connectionCount(); ++i)
    if (i != except && keyOf(s.record(i)) == k) out.push_back(i);
  return out;
}

void TlsFile::load(std::string path) {
  path_ = std::move(path);
  entries_.clear();
  const auto bytes = fsys::readFile(path_, kMaxFileBytes + 1);
  // A file that exists but cannot be read, or is larger than any the program writes, is never replaced
  // by what little was read of it: save() then refuses.
  std::error_code ec;
  whole_ =
      bytes ? bytes->size() <= kMaxFileBytes : !std::filesystem::exists(fsys::nativePath(path_), ec) && !ec;
  if (!bytes) return;
  for (std::string line : split(*bytes, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto f = split(line, '\t');
    if (f.size() != 6) continue;
    const auto host = text::percentUnescape(f[0]), user = text::percentUnescape(f[2]);
    const auto port = text::parseInteger(f[1]);
    const auto mode = text::parseInteger(f[3]);
    if (!host || !user || !port || *port < 0 || *port > 65535 || !mode || *mode < 0 || *mode > 2) continue;
    const bool pinned = validPin(f[4]) && validFingerprint(f[5]);
    if (!f[4].empty() && !pinned) continue;
    TlsEntry e{static_cast<ftp::TlsMode>(*mode), pinned ? f[4] : "", pinned ? f[5] : ""};
    set({*host, static_cast<unsigned>(*port), *user}, e);
  }
}

bool TlsFile::save() const {
  if (!whole_) return false;
  std::string out = "# ostraftp: TLS per connection (host, port, user, mode, pinned key, fingerprint)\r\n";
  for (const auto& [k, e] : entries_) {
    out += escape(std::get<0>(k)) + '\t' + std::to_string(std::get<1>(k)) + '\t' + escape(std::get<2>(k)) +
           '\t' + std::to_string(static_cast<int>(e.mode)) + '\t' + e.pin + '\t' + e.fingerprint + "\r\n";
  }
  return fsys::writeFileAtomic(path_, out, true);
}

TlsEntry TlsFile::entry(const Key& k) const {
  const auto at = entries_.find(k);
  return at == entries_.end() ? TlsEntry{} : at->second;
}

void TlsFile::set(const Key& k, const TlsEntry& e) {
  if (e == TlsEntry{})
    entries_.erase(k);
  else
    entries_[k] = e;
}
