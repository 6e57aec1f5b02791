#pragma once
// ftp_tls.ini, beside ftp_conn.ini: the TLS choice and the pinned server key of each connection, kept
// apart so that the settings file other programs read stays as it is. One line per connection, fields
// separated by a tab; bytes below 0x20, '%' and 0x7F in texts are written as %XX:
//
//   field  meaning
//       1  Host, as in the connection record (Windows-1251 bytes)
//       2  Port, decimal (the low 16 bits the connection uses)
//       3  User, as in the connection record
//       4  Mode: 0 = no TLS, 1 = TLS when the server offers it, 2 = TLS required
//       5  Pin: base64 SHA-256 of the server's public key the operator trusted; empty when none
//       6  Fingerprint: SHA-256 of that server's certificate, "AB:CD:..."; empty when none
//
// Lines starting with '#' and lines that do not read as above are ignored: a missing or damaged file
// means no TLS and nothing pinned. The file is written whole, atomically, readable by its owner only.
// A file that cannot be read, or one past 1 MiB (a few hundred bytes hold ten connections), is used as
// far as it was read but never overwritten, so that nothing it holds is lost.

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "net/FtpTls.h"

class ConnectionRecord;
class SettingsFile;

struct TlsEntry {
  ftp::TlsMode mode = ftp::TlsMode::None;
  std::string pin;
  std::string fingerprint;
  bool operator==(const TlsEntry&) const = default;
};

class TlsFile {
 public:
  // What identifies a connection to the file: host, port (low 16 bits) and user.
  using Key = std::tuple<std::string, unsigned, std::string>;
  [[nodiscard]] static Key keyOf(const ConnectionRecord& r);
  // The indexes of the saved records that connect as k, the one at except left out (-1: none).
  [[nodiscard]] static std::vector<int> recordsWith(const SettingsFile& s, const Key& k, int except);

  // Reads path; every entry it cannot read is dropped. The path is kept for save().
  void load(std::string path);
  // Writes every entry; false when the file cannot be written, or was not read whole (the previous one
  // then stays as it is).
  [[nodiscard]] bool save() const;

  [[nodiscard]] TlsEntry entry(const Key& k) const;
  // Sets the entry of k (a mode of None with nothing pinned removes it).
  void set(const Key& k, const TlsEntry& e);
  void remove(const Key& k) { entries_.erase(k); }
  [[nodiscard]] size_t size() const { return entries_.size(); }

 private:
  std::string path_;
  bool whole_ = true;  // the file at path_ was read whole (or is missing)
  std::map<Key, TlsEntry> entries_;
};
