#include "core/FileSys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "support/Platform.h"
#include "support/TempDir.h"
#include "support/TimeZone.h"

namespace {

TEST(FileSys, Windows1251PathsBecomeUtf8NamesOnDisk) {
  TempDir t;
  const std::string dir = t.cp1251() + "\xCE\xE1\xFA\xE5\xEA\xF2 \xFF";  // "Объект я"
  ASSERT_TRUE(fsys::createDirectory(dir));
  EXPECT_TRUE(std::filesystem::is_directory(t.path() / u8"Объект я"));
  EXPECT_TRUE(fsys::isDirectory(dir));
  EXPECT_TRUE(fsys::createDirectory(dir)) << "an existing folder is not an error";
  EXPECT_FALSE(fsys::createDirectory(t.cp1251() + "missing/child")) << "one level only";
  EXPECT_FALSE(fsys::isDirectory(""));
}

TEST(FileSys, SafeNamesNeverLeaveTheirFolder) {
  for (const char* ok : {"obj", "v0017n1", "\xcf\xff\xf2\xfb\xe9", ".hidden", "a.b", "a b", "CONSOLE", "COM0",
                         "LPT10", "xnul", "con-1.txt"}) {
    EXPECT_TRUE(fsys::safeName(ok)) << ok;
  }
  const std::string nul("a\0b", 3);
  for (const std::string bad : {"",           ".",   "..",   ".. ",      "obj.", "obj ", "... ",    "a/b",
                                "a\\b",       "c:",  "a\tb", "a\rb",     "\x1f", "CON",  "con",     "nul.txt",
                                "Aux.tar.gz", "PRN", "COM1", "com9.log", "LPT1", "lpt9", "CON .txt"}) {
    EXPECT_FALSE(fsys::safeName(bad)) << bad;
  }
  EXPECT_FALSE(fsys::safeName(nul));
}

TEST(FileSys, ReadFileStopsAtTheLimit) {
  TempDir t;
  writeBytes(t.path() / "f", std::string(10, 'x'));
  EXPECT_EQ(fsys::readFile(t.cp1251() + "f", 4)->size(), 4u);
  EXPECT_EQ(fsys::readFile(t.cp1251() + "f", 100)->size(), 10u);
  EXPECT_FALSE(fsys::readFile(t.cp1251() + "none", 100).has_value());
}

// The names of a folder, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(FileSys, AtomicWriteReplacesWholeAndIsOwnerOnly) {
  TempDir t;
  const std::string f = t.cp1251() + "s.ini";
  ASSERT_TRUE(fsys::writeFileAtomic(f, "first", true));
  ASSERT_TRUE(fsys::writeFileAtomic(f, "second", true));
  EXPECT_EQ(readBytes(t.path() / "s.ini"), "second");
  EXPECT_EQ(namesIn(t.path()), std::vector<std::string>{"s.ini"}) << "no temporary file left";
  EXPECT_TRUE(ownerOnly(t.path() / "s.ini"));
}

// Each write has a temporary name of its own, which no list of a local folder shows; what a write killed
// half-way left (this name or the fixed one of earlier versions) goes with the first write of a later run
// into the folder once it is a day old, and a younger one, which a live copy may be writing, stays.
TEST(FileSys, TemporaryNamesAreOwnAndStaleOnesGo) {
  const std::string a = fsys::temporaryName(), b = fsys::temporaryName();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, a.rfind('-')), b.substr(0, b.rfind('-'))) << "one run: " << a << " " << b;
  for (const std::string& n : {a, b, std::string(".ostraftp-write.tmp")})
    EXPECT_TRUE(fsys::temporaryFile(n)) << n;
  for (const char* n :
       {"ostraftp-1.tmp", ".ostraftp-1.tmp.txt", "a.tmp", ".ostraftp-.tmp", "obj-gaspar.txt.tmp"})
    EXPECT_FALSE(fsys::temporaryFile(n)) << n;

  TempDir t;
  const std::string stale = ".ostraftp-4242-0badf00d-7.tmp", young = ".ostraftp-4242-1badf00d-1.tmp";
  for (const std::string& n : {stale, young, std::string(".ostraftp-write.tmp"), std::string("r.txt")})
    writeBytes(t.path() / n, "half");
  for (const std::string& n : {stale, std::string(".ostraftp-write.tmp")})
    std::filesystem::last_write_time(t.path() / n,
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(25));
  const auto listed = fsys::listDirectory(t.cp1251());
  ASSERT_TRUE(listed.has_value());
  ASSERT_EQ(listed->size(), 1u);
  EXPECT_EQ((*listed)[0].name, "r.txt");
  ASSERT_TRUE(fsys::writeFileAtomic(t.cp1251() + "r.txt", "whole", false));
  EXPECT_EQ(namesIn(t.path()), (std::vector<std::string>{young, "r.txt"}));
  EXPECT_EQ(readBytes(t.path() / young), "half") << "never written over";
}

// Another program has the file open, as an editor or a virus scanner may: POSIX replaces it all the same;
// Windows refuses to replace a file held open without leave to delete it, and the previous file stays
// whole (the caller then keeps what it had).
TEST(FileSys, AtomicWriteOverAFileHeldOpenByAnotherProgram) {
  TempDir t;
  const std::string f = t.cp1251() + "held.txt";
  ASSERT_TRUE(fsys::writeFileAtomic(f, "old", false));
  const std::string afterwards = [&] {
    const HeldOpen held(t.path() / "held.txt");
    EXPECT_EQ(fsys::writeFileAtomic(f, "new", false), !kWindows);
    return readBytes(t.path() / "held.txt");
  }();
  EXPECT_EQ(afterwards, kWindows ? "old" : "new");
  EXPECT_EQ(namesIn(t.path()), std::vector<std::string>{"held.txt"});
}

TEST(FileSys, FailedAtomicWriteLeavesNothing) {
  TempDir t;
  // A folder of the target's name cannot be replaced by a file.
  std::filesystem::create_directory(t.path() / "s.ini");
  writeBytes(t.path() / "s.ini" / "inside", "kept");
  EXPECT_FALSE(fsys::writeFileAtomic(t.cp1251() + "s.ini", "lost", true));
  EXPECT_EQ(readBytes(t.path() / "s.ini" / "inside"), "kept");
  EXPECT_EQ(namesIn(t.path()), std::vector<std::string>{"s.ini"});
  EXPECT_FALSE(fsys::writeFileAtomic(t.cp1251() + "no/such/dir/x", "x", true));
}

// Two copies of the program, each writing its own file into one folder many times at once: each file
// holds its own bytes after every write and at the end, and nothing else is left in the folder.
TEST(FileSys, TwoProcessesWriteSideBySide) {
  TempDir t;
  {
    const std::string conn = t.cp1251() + "ftp_conn.ini", tls = t.cp1251() + "ftp_tls.ini";
    SideProgram first("fsys_writer", {conn, "c", "4196", "500", tls});
    SideProgram second("fsys_writer", {tls, "t", "300", "500", conn});
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(second.wait(), 0);
  }
  EXPECT_EQ(readBytes(t.path() / "ftp_conn.ini"), std::string(4196, 'c'));
  EXPECT_EQ(readBytes(t.path() / "ftp_tls.ini"), std::string(300, 't'));
  EXPECT_EQ(namesIn(t.path()), (std::vector<std::string>{"ftp_conn.ini", "ftp_tls.ini"}));
}

TEST(FileSys, TextModeTranslatesLineEnds) {
  struct Case {
    std::string disk, text;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", "a\nb\n"}, {"a\nb", "a\nb"}, {"a\r\r\nb", "a\r\nb"}, {"\r", "\r"}, {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(fsys::textModeRead(c.disk), c.text) << c.disk;
  EXPECT_EQ(fsys::textModeWrite("a\nb\n"), "a\r\nb\r\n");
  EXPECT_EQ(fsys::textModeWrite("\x0c\n"), "\x0c\r\n");
}

TEST(FileSys, UtcToLocalUsesTheWorkstationZone) {
  useTestTimeZone();
  // The tests run with TZ=Europe/Moscow: UTC+3 all year since 2014, UTC+3/+4 in 2009.
  EXPECT_EQ(fsys::utcToLocal({2020, 3, 5, 11, 7, 9}), (fsys::CalendarTime{2020, 3, 5, 14, 7, 9}));
  EXPECT_EQ(fsys::utcToLocal({2020, 12, 31, 22, 30, 0}), (fsys::CalendarTime{2021, 1, 1, 1, 30, 0}));
  EXPECT_FALSE(fsys::utcToLocal({2020, 13, 1, 0, 0, 0}).has_value());
  EXPECT_FALSE(fsys::utcToLocal({2020, 1, 1, 24, 0, 0}).has_value());
}

}  // namespace
