#include "core/FileSys.h"

#include <gtest/gtest.h>

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

TEST(FileSys, AtomicWriteReplacesWholeAndIsOwnerOnly) {
  TempDir t;
  const std::string f = t.cp1251() + "s.ini";
  ASSERT_TRUE(fsys::writeFileAtomic(f, "first", true));
  // A write killed half-way left its temporary file: the next write into the folder replaces it.
  writeBytes(t.path() / fsys::kTemporaryFileName, "half");
  ASSERT_TRUE(fsys::writeFileAtomic(f, "second", true));
  EXPECT_EQ(readBytes(t.path() / "s.ini"), "second");
  EXPECT_FALSE(std::filesystem::exists(t.path() / fsys::kTemporaryFileName));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.path()), {}), 1);
  EXPECT_TRUE(ownerOnly(t.path() / "s.ini"));
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
  EXPECT_FALSE(std::filesystem::exists(t.path() / fsys::kTemporaryFileName));
}

TEST(FileSys, FailedAtomicWriteKeepsThePreviousFile) {
  TempDir t;
  const std::string f = t.cp1251() + "s.ini";
  ASSERT_TRUE(fsys::writeFileAtomic(f, "kept", true));
  // The temporary file cannot be created where a folder of its name stands.
  std::filesystem::create_directory(t.path() / fsys::kTemporaryFileName);
  EXPECT_FALSE(fsys::writeFileAtomic(f, "lost", true));
  EXPECT_EQ(readBytes(t.path() / "s.ini"), "kept");
  EXPECT_FALSE(fsys::writeFileAtomic(t.cp1251() + "no/such/dir/x", "x", true));
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
