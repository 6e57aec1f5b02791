#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/FileSys.h"
#include "settings/TlsFile.h"
#include "support/Platform.h"
#include "support/TempDir.h"

namespace {

using Image = std::array<uint8_t, SettingsFile::kSize>;

void putText(std::string& img, size_t offset, const std::string& s) {
  img.replace(offset, s.size(), s);
}

void putInt32(std::string& img, size_t offset, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int k = 0; k < 4; ++k) img[offset + k] = static_cast<char>(u >> (8 * k));
}

// A settings file as another program would have written it: three connections with Cyrillic names.
std::string foreignImage() {
  std::string img(SettingsFile::kSize, '\0');
  img[0] = 3;
  img[1] = 2;
  const char* names[] = {
      "\xc3\xd0\xd1 \xb9"
      "1",
      "\xd1\xf2\xe0\xed\xf6\xe8\xff \xdf", "\xca\xee\xec\xef\xf0\xe5\xf1\xf1\xee\xf0"};
  for (int i = 0; i < 3; ++i) {
    const size_t r = 2 + 304 * static_cast<size_t>(i);
    putText(img, r + 0, names[i]);
    putText(img, r + 50, "192.168.0." + std::to_string(10 + i));
    putInt32(img, r + 100, 2100 + i);
    putText(img, r + 104, "user" + std::to_string(i));
    putText(img, r + 154, "pa\xf1\xf1" + std::to_string(i));
    putInt32(img, r + 204, 7 * i);
    img[r + 208] = static_cast<char>(i % 2);
    img[r + 209] = 'R';  // reserved bytes of a record survive
    img[r + 303] = 'Z';
  }
  for (int i = 3; i < 10; ++i) putInt32(img, 2 + 304 * static_cast<size_t>(i) + 100, 21);
  putText(img, 3042, "reserved50");
  putText(img, 3092, "D:\\\xce\xf2\xf7\xe5\xf2\xfb");
  putText(img, 3392, "\\\\server\\share\\\xee\xe1\xfa\xe5\xea\xf2\xfb");
  putText(img, 3692, "ABCD");  // ignored on load, zero on save
  putText(img, 3696, "tail");
  return img;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  std::string path() const { return dir.cp1251() + "ftp_conn.ini"; }
  std::string exe() const { return dir.cp1251(); }
  void write(const std::string& bytes) const { writeBytes(dir.path() / "ftp_conn.ini", bytes); }
  std::string saved(const SettingsFile& s) const {
    EXPECT_TRUE(s.save(path()));
    return readBytes(dir.path() / "ftp_conn.ini");
  }
  TempDir dir;
};

TEST_F(SettingsFileTest, ForeignImageRoundTripsExceptTheFourIgnoredBytes) {
  const std::string img = foreignImage();
  write(img);
  SettingsFile s;
  EXPECT_EQ(s.load(path(), exe()), 4196u);
  std::string expected = img;
  std::memset(expected.data() + 3692, 0, 4);
  EXPECT_EQ(saved(s), expected);
}

TEST_F(SettingsFileTest, ForeignImageFieldsReadAtTheirOffsets) {
  write(foreignImage());
  SettingsFile s;
  s.load(path(), exe());
  EXPECT_EQ(s.connectionCount(), 3);
  EXPECT_EQ(s.currentConnection(), 2);
  const ConnectionRecord r = s.record(1);
  EXPECT_EQ(r.name(), "\xd1\xf2\xe0\xed\xf6\xe8\xff \xdf");
  EXPECT_EQ(r.host(), "192.168.0.11");
  EXPECT_EQ(r.port(), 2101);
  EXPECT_EQ(r.user(), "user1");
  EXPECT_EQ(r.password(),
            "pa\xf1\xf1"
            "1");
  EXPECT_EQ(r.lastObjectRow(), 7);
  EXPECT_EQ(r.accessMode(), Access::ObjectDirectory);
  // Any byte but 1 reads as the list of objects, as the connection dialog shows it.
  for (const uint8_t b : {0, 2, 255}) {
    std::array<uint8_t, ConnectionRecord::kSize> bytes = r.bytes();
    bytes[208] = b;
    EXPECT_EQ(ConnectionRecord::fromBytes(bytes.data()).accessMode(), Access::ObjectList) << int(b);
  }
  EXPECT_EQ(s.current().host(), "192.168.0.12");
  EXPECT_EQ(s.treeDirectory(), "D:\\\xce\xf2\xf7\xe5\xf2\xfb");
  EXPECT_EQ(s.typedDirectory(), "\\\\server\\share\\\xee\xe1\xfa\xe5\xea\xf2\xfb");
}

TEST_F(SettingsFileTest, LongerFileYieldsItsFirst4196Bytes) {
  std::string img = foreignImage();
  write(img + "trailing garbage");
  SettingsFile s;
  EXPECT_EQ(s.load(path(), exe()), 4196u);
  EXPECT_EQ(s.connectionCount(), 3);
  EXPECT_EQ(saved(s).size(), 4196u);
}

TEST_F(SettingsFileTest, LegacySizesKeepWhatWasReadAndGetTheDefaultTreeDirectory) {
  for (size_t size : {size_t{3142}, size_t{3442}}) {
    SCOPED_TRACE(size);
    const std::string img = foreignImage();
    write(img.substr(0, size));
    SettingsFile s;
    EXPECT_EQ(s.load(path(), exe()), size);
    EXPECT_EQ(s.connectionCount(), 3);
    EXPECT_EQ(s.record(2).name(), "\xca\xee\xec\xef\xf0\xe5\xf1\xf1\xee\xf0");
    EXPECT_EQ(s.treeDirectory(), exe() + "REPORT");
    std::string expected(4196, '\0');
    expected.replace(0, size, img.substr(0, size));
    std::memset(expected.data() + 3092, 0, 300);
    expected.replace(3092, exe().size() + 6, exe() + "REPORT");
    EXPECT_EQ(saved(s), expected);
    if (size == 3442) {
      // The first 50 bytes of TypedDirectory as read, the rest zero.
      EXPECT_EQ(s.typedDirectory(), img.substr(3392, 50).c_str());
    } else {
      EXPECT_EQ(s.typedDirectory(), "");
    }
  }
}

TEST_F(SettingsFileTest, ForeignFieldsWithoutTerminatorAndOverlongExeFolders) {
  std::string img = foreignImage();
  putText(img, 2, std::string(50, 'N'));      // a name field full to its last byte
  putText(img, 3092, std::string(300, 'T'));  // TreeDirectory likewise
  write(img.substr(0, 3442));
  SettingsFile s;
  // An executable folder too long for TreeDirectory leaves it empty (and copies nothing).
  EXPECT_EQ(s.load(path(), std::string(294, 'x')), 3442u);
  EXPECT_EQ(s.treeDirectory(), "");
  ConnectionRecord r = s.record(0);
  EXPECT_EQ(r.name(), std::string(49, 'N'));
  EXPECT_TRUE(r.setName(r.name())) << "what was read can be stored back unchanged";
  write(img);
  ASSERT_EQ(s.load(path(), exe()), 4196u);
  EXPECT_EQ(s.treeDirectory(), std::string(299, 'T'));
  EXPECT_TRUE(s.setTreeDirectory(s.treeDirectory()));
}

TEST_F(SettingsFileTest, OtherSizesAndMissingFilesGiveTheDefaults) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{3141}, size_t{3143}, size_t{4000}, size_t{4195}}) {
    SCOPED_TRACE(size);
    write(foreignImage().substr(0, size));
    SettingsFile s;
    EXPECT_EQ(s.load(path(), exe()), 0u);
    EXPECT_EQ(s.connectionCount(), 0);
    std::string expected(4196, '\0');
    for (int i = 0; i < 10; ++i) expected[2 + 304 * i + 100] = 21;
    expected.replace(3092, exe().size() + 6, exe() + "REPORT");
    EXPECT_EQ(saved(s), expected);
  }
  std::filesystem::remove(dir.path() / "ftp_conn.ini");
  SettingsFile s;
  EXPECT_EQ(s.load(path(), exe()), 0u);
  EXPECT_EQ(s.treeDirectory(), exe() + "REPORT");
}

TEST_F(SettingsFileTest, FreshRecordsHavePort21AndOtherwiseZeroBytes) {
  SettingsFile s;
  for (int i = 0; i < 10; ++i) {
    const ConnectionRecord r = s.record(i);
    const auto& b = r.bytes();
    for (size_t k = 0; k < b.size(); ++k) ASSERT_EQ(b[k], k == 100 ? 21 : 0) << i << " " << k;
  }
  const ConnectionRecord fresh;
  const auto& n = fresh.bytes();
  EXPECT_EQ(n[100], 21);
  EXPECT_EQ(n[101] | n[102] | n[103], 0);
}

TEST_F(SettingsFileTest, CountAboveTenAndCurrentOutsideTheListAreClamped) {
  std::string img = foreignImage();
  img[0] = static_cast<char>(200);
  img[1] = static_cast<char>(150);
  write(img);
  SettingsFile s;
  s.load(path(), exe());
  EXPECT_EQ(s.connectionCount(), 10);
  EXPECT_EQ(s.currentConnection(), 0);
  // Slots outside the ten are never touched.
  EXPECT_EQ(s.record(10), ConnectionRecord());
  EXPECT_EQ(s.record(-1), ConnectionRecord());
  const auto before = s.image();
  s.setRecord(10, s.record(0));
  s.setRecord(-1, s.record(0));
  EXPECT_EQ(s.image(), before);

  img[0] = 3;
  img[1] = 3;
  write(img);
  s.load(path(), exe());
  EXPECT_EQ(s.currentConnection(), 0);
}

TEST_F(SettingsFileTest, TextFieldsRefuseWhatTheyCannotHold) {
  ConnectionRecord r;
  EXPECT_TRUE(r.setName(std::string(49, 'n')));
  EXPECT_FALSE(r.setName(std::string(50, 'x')));
  EXPECT_EQ(r.name(), std::string(49, 'n'));
  EXPECT_FALSE(r.setPassword(std::string("a\0b", 3)));
  SettingsFile s;
  EXPECT_TRUE(s.setTypedDirectory(std::string(299, 'd')));
  EXPECT_FALSE(s.setTypedDirectory(std::string(300, 'e')));
  EXPECT_EQ(s.typedDirectory(), std::string(299, 'd'));
}

TEST_F(SettingsFileTest, SaveLeavesNoTemporaryFileAndIsOwnerOnly) {
  SettingsFile s;
  s.load(path(), exe());
  ASSERT_TRUE(s.save(path()));
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_FALSE(fsys::temporaryFile(e.path().filename().string())) << e.path();
  EXPECT_TRUE(ownerOnly(dir.path() / "ftp_conn.ini"));
  EXPECT_FALSE(s.save(dir.cp1251() + "missing/ftp_conn.ini"));
}

TEST_F(SettingsFileTest, RecordEditsLandAtTheirOffsets) {
  SettingsFile s;
  ConnectionRecord r;
  ASSERT_TRUE(r.setName("\xc8\xec\xff"));
  ASSERT_TRUE(r.setHost("10.0.0.1"));
  r.setPort(-2);
  r.setLastObjectRow(0x01020304);
  r.setAccessMode(Access::ObjectDirectory);
  s.setRecord(9, r);
  s.setConnectionCount(10);
  s.setCurrentConnection(9);
  const auto img = s.image();
  const size_t base = 2 + 304 * 9;
  EXPECT_EQ(img[0], 10);
  EXPECT_EQ(img[1], 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&img[base]), 3), "\xc8\xec\xff");
  EXPECT_EQ(img[base + 3], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&img[base + 50]), 8), "10.0.0.1");
  EXPECT_EQ(img[base + 100], 0xFE);
  EXPECT_EQ(img[base + 103], 0xFF);
  EXPECT_EQ(img[base + 204], 0x04);
  EXPECT_EQ(img[base + 207], 0x01);
  EXPECT_EQ(img[base + 208], 1);
  EXPECT_EQ(base + 304, 3042u);
}

}  // namespace

namespace {

// ftp_tls.ini: what is written reads back (texts with tabs, '%' and 0xFF), damaged lines are dropped
// one by one, and the file is its owner's only.
TEST(TlsFileTest, RoundTripAndDamagedLines) {
  TempDir dir;
  const std::string path = dir.cp1251() + "ftp_tls.ini";
  const std::string pin = ftp::base64(std::string(32, 'p'));
  std::string print = "0F";
  for (int i = 1; i < 32; ++i) print += ":A" + std::to_string(i % 10);
  TlsFile f;
  f.load(path);
  EXPECT_EQ(f.size(), 0u);
  const TlsFile::Key odd{"host", 21, "us\ter%\xff\r"};
  f.set(odd, {ftp::TlsMode::Required, pin, print});
  f.set({"10.0.0.1", 2121, "op"}, {ftp::TlsMode::WhenOffered, "", ""});
  f.set({"gone", 21, "op"}, {});  // no TLS and nothing pinned: no line
  ASSERT_TRUE(f.save());
  EXPECT_TRUE(ownerOnly(dir.path() / "ftp_tls.ini"));
  TlsFile g;
  g.load(path);
  EXPECT_EQ(g.size(), 2u);
  EXPECT_EQ(g.entry(odd), (TlsEntry{ftp::TlsMode::Required, pin, print}));
  EXPECT_EQ(g.entry({"10.0.0.1", 2121, "op"}).mode, ftp::TlsMode::WhenOffered);

  // Each damaged line names another connection, so that taking it in would show.
  const std::string good = "h\t21\tu\t2\t" + pin + "\t" + print, damaged = "x" + good.substr(1);
  std::string blank = pin;
  blank.insert(20, " ");
  const std::string lines[] = {
      "x\t21\tu\t3\t\t",                                    // unknown mode
      "x\t70000\tu\t1\t\t",                                 // port out of range
      "x\t21\tu\t1\tshort\t" + print,                       // a pin that is not a SHA-256
      "x\t21\tu\t1\t" + blank + "\t" + print,               // a pin holding a blank never matches a key
      "x\t21\tu\t1\t" + pin + "\tAB:CD",                    // a fingerprint cut short
      "x\t21\tu\t1\t" + pin + "\t" + std::string(95, 'G'),  // a fingerprint that is not hex pairs
      "x%G1\t21\tu\t1\t\t",                                 // a broken escape
      "x\t21\tu\t1\t\t\textra",                             // a field too many
      damaged.substr(0, damaged.size() - 10),               // the file ends mid-line
  };
  for (const auto& line : lines) {
    SCOPED_TRACE(line);
    writeBytes(dir.path() / "ftp_tls.ini", "# comment\r\n" + good + "\r\n" + line + "\n");
    g.load(path);
    EXPECT_EQ(g.size(), 1u);
    EXPECT_EQ(g.entry({"h", 21, "u"}), (TlsEntry{ftp::TlsMode::Required, pin, print}));
  }
  writeBytes(dir.path() / "ftp_tls.ini", damaged);
  g.load(path);
  EXPECT_EQ(g.size(), 1u) << "the damaged line itself reads when whole";

  // A file past 1 MiB is used as far as it was read, and never overwritten: its later lines stay.
  const std::string large = good + "\r\n#" + std::string(1 << 20, '-') + "\r\n" + damaged + "\r\n";
  writeBytes(dir.path() / "ftp_tls.ini", large);
  g.load(path);
  EXPECT_EQ(g.size(), 1u);
  g.set({"new", 21, "u"}, {ftp::TlsMode::Required, "", ""});
  EXPECT_FALSE(g.save());
  EXPECT_EQ(readBytes(dir.path() / "ftp_tls.ini"), large);
  // Nor is a file that could not be read at all.
  const Unreadable held(dir.path() / "ftp_tls.ini");
  if (!held.works()) return;
  g.load(path);
  EXPECT_EQ(g.size(), 0u);
  g.set({"new", 21, "u"}, {ftp::TlsMode::Required, "", ""});
  EXPECT_FALSE(g.save());
}

}  // namespace
