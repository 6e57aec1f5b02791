#include "net/FtpListing.h"

#include <gtest/gtest.h>

#include "support/TimeZone.h"

namespace {

using ftp::FindData;

// 2026-12-08 12:00 local (TZ=Europe/Moscow, UTC+3).
constexpr std::time_t kNow = 1796720400;

TEST(FtpListing, MlsdEntries) {
  struct Case {
    const char* line;
    bool parsed;
    uint32_t attributes;
    uint64_t size;
    const char* name;
  };
  const Case cases[] = {
      {"type=dir;modify=20090305110709;perm=el; obj-1", true, 0x10, 0, "obj-1"},
      {"Type=DIR;Size=4096; UPPER", true, 0x10, 4096, "UPPER"},
      {"type=file;size=1234;modify=20090305110709; A-B-v0017n1-chakr-2009.03.05-14.txt", true, 0x80, 1234,
       "A-B-v0017n1-chakr-2009.03.05-14.txt"},
      {"type=file;size=5; name with  two spaces ", true, 0x80, 5, "name with  two spaces "},
      {"type=file;size=5; semi;colon; name", true, 0x80, 5, "semi;colon; name"},
      {"type=cdir;modify=20090305110709; .", false, 0, 0, ""},
      {"type=pdir; ..", false, 0, 0, ""},
      {"type=OS.unix=slink:/x;size=1; link", true, 0x400, 1, "link"},
      {"type=OS.unix=chr-3/4; dev", true, 0x40, 0, "dev"},
      {" factless", true, 0x80, 0, "factless"},
      {"garbage without separator", false, 0, 0, ""},
      {"type=file;size=1; ", false, 0, 0, ""},
      {"type=dir; \xcf\xf0\xe8\xec\xe5\xf0 \xff", true, 0x10, 0, "\xcf\xf0\xe8\xec\xe5\xf0 \xff"},
  };
  for (const auto& c : cases) {
    FindData e;
    ASSERT_EQ(ftp::parseMlsxLine(c.line, e), c.parsed) << c.line;
    if (!c.parsed) continue;
    EXPECT_EQ(e.attributes, c.attributes) << c.line;
    EXPECT_EQ(e.size, c.size) << c.line;
    EXPECT_EQ(e.name, c.name) << c.line;
  }
}

TEST(FtpListing, MlsdModifyIsUtcShownAsLocalTime) {
  useTestTimeZone();
  FindData e;
  ASSERT_TRUE(ftp::parseMlsxLine("type=file;modify=20090305110709.123;size=1; f", e));
  EXPECT_TRUE(e.lastWriteValid);
  EXPECT_EQ(e.lastWrite, (fsys::CalendarTime{2009, 3, 5, 14, 7, 9}));
  ASSERT_TRUE(ftp::parseMlsxLine("type=file;modify=2009030511; f", e));
  EXPECT_FALSE(e.lastWriteValid);
  ASSERT_TRUE(ftp::parseMlsxLine("type=file;modify=20091305110709; f", e));
  EXPECT_FALSE(e.lastWriteValid);
}

struct ListCase {
  const char* line;
  bool parsed;
  uint32_t attributes;
  uint64_t size;
  const char* name;
  fsys::CalendarTime when;
};

template <size_t N>
void expectListLines(const ListCase (&cases)[N]) {
  for (const auto& c : cases) {
    FindData e;
    ASSERT_EQ(ftp::parseListLine(c.line, kNow, e), c.parsed) << c.line;
    if (!c.parsed) continue;
    EXPECT_EQ(e.attributes, c.attributes) << c.line;
    EXPECT_EQ(e.size, c.size) << c.line;
    EXPECT_EQ(e.name, c.name) << c.line;
    EXPECT_EQ(e.lastWrite, c.when) << c.line;
    EXPECT_TRUE(e.lastWriteValid) << c.line;
  }
}

TEST(FtpListing, UnixListLines) {
  useTestTimeZone();
  const ListCase cases[] = {
      {"drwxr-xr-x   2 owner    group        4096 Mar 05 14:07 obj-1",
       true,
       0x10,
       4096,
       "obj-1",
       {2026, 3, 5, 14, 7, 0}},
      {"-rw-r--r--   1 owner    group        1234 Mar  5  2009 A-B-sutko-2009.03.05.txt",
       true,
       0x80,
       1234,
       "A-B-sutko-2009.03.05.txt",
       {2009, 3, 5, 0, 0, 0}},
      {"-rw-r--r-- 1 ftp 77 Dec 07 23:59 no group column",
       true,
       0x80,
       77,
       "no group column",
       {2026, 12, 7, 23, 59, 0}},
      // A date ahead of today without a year is last year's.
      {"-rw-r--r-- 1 u g 1 Dec 25 10:00 last-year", true, 0x80, 1, "last-year", {2025, 12, 25, 10, 0, 0}},
      {"lrwxrwxrwx 1 u g 7 Jan  1  2020 current -> obj-1", true, 0x400, 7, "current", {2020, 1, 1, 0, 0, 0}},
      {"crw-rw-rw- 1 u g 0 Jan  1  2020 tty", true, 0x40, 0, "tty", {2020, 1, 1, 0, 0, 0}},
      {"drwxr-xr-x 2 u g 0 Jan  1  2020  leading blank",
       true,
       0x10,
       0,
       " leading blank",
       {2020, 1, 1, 0, 0, 0}},
      {"drwxr-xr-x 2 u g 0 Jan  1  2020 \xce\xe1\xfa\xe5\xea\xf2 \xff",
       true,
       0x10,
       0,
       "\xce\xe1\xfa\xe5\xea\xf2 \xff",
       {2020, 1, 1, 0, 0, 0}},
      {"total 12", false, 0, 0, "", {}},
      {"lrwxrwxrwx 1 u g 6 Feb 29  2024  -> target", false, 0, 0, "", {}},
      {"drwxr-xr-x 2 u g 0 Foo  1  2020 bad-month", false, 0, 0, "", {}},
      {"drwxr-xr-x 2 u g x Jan  1  2020 bad-size", false, 0, 0, "", {}},
      {"drwxr-xr-x 2 u g 0 Jan  1  2020", false, 0, 0, "", {}},
      {"", false, 0, 0, "", {}},
  };
  expectListLines(cases);
}

TEST(FtpListing, DosListLines) {
  useTestTimeZone();
  const ListCase cases[] = {
      {"03-05-09  02:07PM       <DIR>          obj-1", true, 0x10, 0, "obj-1", {2009, 3, 5, 14, 7, 0}},
      {"03-05-09  12:07AM                 1234 file name.txt",
       true,
       0x80,
       1234,
       "file name.txt",
       {2009, 3, 5, 0, 7, 0}},
      {"12-31-99  12:00PM                    0 old", true, 0x80, 0, "old", {1999, 12, 31, 12, 0, 0}},
      {"03-05-2009  11:59AM  <DIR>  four digits", true, 0x10, 0, "four digits", {2009, 3, 5, 11, 59, 0}},
      {"2009-03-05  14:07                   77 iso", true, 0x80, 77, "iso", {2009, 3, 5, 14, 7, 0}},
      {"03-05-09  13:07PM  <DIR>  bad-hour", false, 0, 0, "", {}},
      {"03/05/09  02:07PM  <DIR>  bad-date", false, 0, 0, "", {}},
      {"03-05-09  02:07PM  <DIR>", false, 0, 0, "", {}},
  };
  expectListLines(cases);
}

TEST(FtpListing, WholeListingsAcceptCrLfAndLfAndSkipJunk) {
  const std::string mlsd =
      "type=cdir; /base\r\ntype=dir;modify=20090305110709; a\r\nnonsense\ntype=file;size=3; b\n"
      "type=dir; c";
  const auto m = ftp::parseMlsd(mlsd);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].name, "a");
  EXPECT_EQ(m[1].name, "b");
  EXPECT_EQ(m[2].name, "c");

  const std::string list =
      "total 8\r\ndrwxr-xr-x 2 u g 0 Jan  1  2020 a\r\n???\n-rw-r--r-- 1 u g 3 Jan  1  2020 b\n"
      "03-05-09  02:07PM       <DIR>          c";
  const auto l = ftp::parseList(list, kNow);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0].name, "a");
  EXPECT_EQ(l[1].name, "b");
  EXPECT_EQ(l[2].name, "c");
  EXPECT_TRUE(ftp::parseMlsd("").empty());
  EXPECT_TRUE(ftp::parseList("\r\n\r\n", kNow).empty());
}

// A LIST body with no entry but text is the error of a server that hands the argument to ls and answers
// 226 anyway; an empty folder ("total 0", nothing, blank lines) and a folder with entries are not.
TEST(FtpListing, ErrorTextInsteadOfEntries) {
  const struct {
    const char* body;
    size_t entries;
    bool errorText;
  } cases[] = {
      {"", 0, false},
      {"total 0\r\n", 0, false},
      {"\r\n \r\n", 0, false},
      {"/st/\xd1\xf2\xe0\xed\xf6\xe8\xff: No such file or directory\r\n\xff: No such file or directory\r\n",
       0, true},
      {"ls: cannot access '/a b': No such file or directory\n", 0, true},
      {"total 0\r\nls: /x: Permission denied\r\n", 0, true},
      {"total 4\r\ndrwxr-xr-x 2 u g 0 Jan  1  2020 a b\r\n", 1, false},
      {"ls: /x: No such file or directory\r\ndrwxr-xr-x 2 u g 0 Jan  1  2020 a\r\n", 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    bool errorText = !c.errorText;
    EXPECT_EQ(ftp::parseList(c.body, kNow, &errorText).size(), c.entries);
    EXPECT_EQ(errorText, c.errorText);
  }
}

TEST(FtpListing, LinesSplitAsGiven) {
  std::vector<std::string> lines;
  ftp::forEachLine("a\r\nb\n\nc\r", [&](std::string_view l) { lines.emplace_back(l); });
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c"}));
}

// The STAT answers of the servers as they come (reply lines of the whole request), taken or not.
TEST(FtpListing, StatAnswers) {
  using Lines = std::vector<std::string>;
  const std::string file = "-rw-r--r--    1 999      995             2 Dec 10 04:57 ";
  const std::string dir = "drwxr-xr-x    2 999      995          4096 Dec 10 04:57 ";
  const struct {
    const char* server;
    Lines replies;
    std::optional<std::vector<std::string>> names;
  } cases[] = {
      {"pyftpdlib",
       {"213-Status of \"/o\":", file + "o-alarm.txt", dir + "v0017n1", "213 End of status."},
       std::vector<std::string>{"o-alarm.txt", "v0017n1"}},
      {"ProFTPD, after a silent reconnect",
       {"220 ready", "230 User op logged in", "212-Status of /o:", " " + dir + ".", " " + dir + "..",
        " " + file + "\xc7\xe0\xf0\xff-\xf4 x.txt", "212 End of status"},
       std::vector<std::string>{"\xc7\xe0\xf0\xff-\xf4 x.txt"}},
      {"vsftpd, an empty folder",
       {"213-Status follows:", dir + ".", dir + "..", "213 End of status"},
       std::vector<std::string>{}},
      {"inetutils",
       {"211- status of /o:", "total 20", file + "a", "211 End of Status"},
       std::vector<std::string>{"a"}},
      {"vsftpd, a missing folder", {"213-Status follows:", "213 End of status"}, std::nullopt},
      {"inetutils, a path split at its blank",
       {"211- status of /a b:", "/a: No such file or directory", file + "b", "211 End of Status"},
       std::nullopt},
      {"Pure-FTPd, a file by its whole path", {"213-STAT", file + "/plain/f1.txt", "213 End."}, std::nullopt},
      {"a refusal", {"550 No such file or directory."}, std::nullopt},
      {"no closing line", {"213-Status follows:", file + "a"}, std::nullopt},
  };
  useTestTimeZone();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    const auto got = ftp::parseStatListing(c.replies, kNow);
    ASSERT_EQ(got.has_value(), c.names.has_value());
    if (!got) continue;
    std::vector<std::string> names;
    for (const auto& e : *got) names.push_back(e.name);
    EXPECT_EQ(names, *c.names);
    // Two days ahead of the clock: last year's, as in a LIST.
    if (!got->empty()) {
      EXPECT_EQ(got->front().lastWrite, (fsys::CalendarTime{2025, 12, 10, 4, 57, 0}));
    }
  }
}

}  // namespace
