#pragma once
// ftp_conn.ini: everything the program remembers between runs, as the byte-for-byte image of one 4196-byte
// block. Integers are little-endian; texts are zero-terminated Windows-1251 strings padded with zeros.
//
//   offset  size  field
//        0     1  ConnectionCount (0..10)
//        1     1  CurrentConnection (0-based)
//        2  3040  ten ConnectionRecords of 304 bytes
//     3042    50  reserved (zero)
//     3092   300  TreeDirectory
//     3392   300  TypedDirectory
//     3692     4  reserved (ignored when read, zero when written)
//     3696   500  reserved (zero)
//
// Older layouts of 3142 and 3442 bytes are accepted: the bytes read are kept, the rest stays zero.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// One saved connection: 304 bytes.
//
//   offset  size  field
//        0    50  Name
//       50    50  Host
//      100     4  Port (signed; the connection uses its low 16 bits)
//      104    50  User
//      154    50  Password (plain text)
//      204     4  LastObjectRow (signed)
//      208     1  AccessMode (0 = list of objects, 1 = directory of one object)
//      209    95  reserved, kept unchanged when a record is copied or edited
// What the login directory of a connection is: the directory holding the objects, or one object's own.
enum class Access : uint8_t { ObjectList = 0, ObjectDirectory = 1 };

class ConnectionRecord {
 public:
  static constexpr size_t kSize = 304;
  static constexpr size_t kTextField = 50;  // bytes, terminator included
  static constexpr size_t kMaxText = kTextField - 1;

  ConnectionRecord();               // a new record: Port 21, every other byte zero
  static ConnectionRecord blank();  // all 304 bytes zero, Port included
  static ConnectionRecord fromBytes(const uint8_t* bytes);
  const std::array<uint8_t, kSize>& bytes() const { return bytes_; }

  std::string name() const { return text(kName); }
  std::string host() const { return text(kHost); }
  std::string user() const { return text(kUser); }
  std::string password() const { return text(kPassword); }
  int32_t port() const { return int32At(kPort); }
  int32_t lastObjectRow() const { return int32At(kLastObjectRow); }
  // Byte 1 is the directory of one object; every other value reads as the list of objects.
  Access accessMode() const {
    return bytes_[kAccessMode] == 1 ? Access::ObjectDirectory : Access::ObjectList;
  }

  // Text setters refuse (return false, change nothing) a text longer than 49 bytes or one holding a zero
  // byte: the stored field could not hold it, and a cut name or password would be a different one.
  bool setName(std::string_view v) { return setText(kName, v); }
  bool setHost(std::string_view v) { return setText(kHost, v); }
  bool setUser(std::string_view v) { return setText(kUser, v); }
  bool setPassword(std::string_view v) { return setText(kPassword, v); }
  void setPort(int32_t v) { setInt32At(kPort, v); }
  void setLastObjectRow(int32_t v) { setInt32At(kLastObjectRow, v); }
  void setAccessMode(Access v) { bytes_[kAccessMode] = static_cast<uint8_t>(v); }

  bool operator==(const ConnectionRecord&) const = default;

 private:
  static constexpr size_t kName = 0, kHost = 50, kPort = 100, kUser = 104, kPassword = 154,
                          kLastObjectRow = 204, kAccessMode = 208;
  std::string text(size_t offset) const;
  bool setText(size_t offset, std::string_view v);
  int32_t int32At(size_t offset) const;
  void setInt32At(size_t offset, int32_t v);

  std::array<uint8_t, kSize> bytes_{};
};

class SettingsFile {
 public:
  static constexpr size_t kSize = 4196;
  static constexpr size_t kLegacySizeA = 3142;
  static constexpr size_t kLegacySizeB = 3442;
  static constexpr int kMaxConnections = 10;
  static constexpr size_t kDirectoryField = 300;
  static constexpr size_t kMaxDirectory = kDirectoryField - 1;

  // A fresh image: no connections, every record with Port 21, TreeDirectory empty.
  SettingsFile();

  // Loads the image from path (Windows-1251 bytes). A missing, unreadable or wrongly sized file gives the
  // defaults. dataFolder (ending with a separator) + "REPORT" becomes TreeDirectory for the defaults and
  // the older layouts. Returns the number of bytes accepted (0 for the defaults), for tests.
  size_t load(std::string_view path, std::string_view dataFolder);
  // Writes the whole image; false when it cannot be written (the previous file then stays whole).
  bool save(std::string_view path) const;

  // The raw image, as saved (the four reserved bytes at 3692 read as zero).
  std::array<uint8_t, kSize> image() const;

  // Number of saved connections, never above 10 even when the file holds a larger count.
  int connectionCount() const;
  void setConnectionCount(int n);
  // Index of the connection in use; 0 when the stored index is outside the list.
  int currentConnection() const;
  void setCurrentConnection(int i);

  // Record i of the ten slots (0..9); indices outside the slots are never read or written.
  ConnectionRecord record(int i) const;
  void setRecord(int i, const ConnectionRecord& r);
  // The record at CurrentConnection.
  ConnectionRecord current() const { return record(currentConnection()); }

  std::string treeDirectory() const;
  std::string typedDirectory() const;
  // Refuse (false, nothing changed) a path of more than 299 bytes or one holding a zero byte.
  bool setTreeDirectory(std::string_view dir);
  bool setTypedDirectory(std::string_view dir);

 private:
  static constexpr size_t kRecords = 2, kTree = 3092, kTyped = 3392, kReserved4 = 3692;
  void setDefaults(std::string_view dataFolder);
  std::string text(size_t offset) const;
  bool setText(size_t offset, std::string_view v);

  std::array<uint8_t, kSize> image_{};
};
