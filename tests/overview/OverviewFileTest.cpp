#include "overview/OverviewFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TempDir.h"

namespace {

using overview::OverviewFile;
using Time = fsys::CalendarTime;
const OverviewFile::Key kA{"h", 21, "u", "o"};
const std::string kT = "=2024-01-01 00:00:00\n";
const std::string kBad =  // each line passed over
    "[overview]\nstale_hours=0\nstale_hours=241\nstale_hours=x\n[seen]\nno equals\nh|21|u" + kT +
    "h|21|u|o|x" + kT + "h|65536|u|o" + kT + "h|-1|u|o" + kT + "h|x|u|o" + kT + "h%2|21|u|o" + kT +
    "h%zz|21|u|o" + kT + "h|21|u|o=2023-02-29 00:00:00\nh|21|u|o=2024-13-01 00:00:00\n" +
    "h|21|u|o=2024-01-01 24:00:00\nh|21|u|o=2024-1-01 00:00:00\nh|21|u|o=2024-01-01T00:00:00\n";

TEST(OverviewFileTest, ReadsTolerantly) {
  const struct {
    std::string text;  // "-": no file
    int stale;
    std::vector<std::pair<OverviewFile::Key, Time>> seen;
  } cases[] = {
      {"-", 2, {}},
      {"; c\n[x]\nstale_hours=9\nh|21|u|o" + kT +
           "[overview]\nfoo=1\nstale_hours = 7 \n[seen]\nh|21|u|o= 2024-02-29 23:59:59\n",
       7,
       {{kA, {2024, 2, 29, 23, 59, 59}}}},
      {"[seen]\r\nh|21|u|o" + kT + "[overview]\r\nstale_hours=240\r\n[seen]\r\n%68|0021|u|%6f=" +
           "2000-02-29 00:00:00\r\n\xe0%0D|65535|%3B|=1999-12-31 23:59:58\r\n",
       240,
       {{kA, {2000, 2, 29, 0, 0, 0}}, {{"\xe0\r", 65535, ";", ""}, {1999, 12, 31, 23, 59, 58}}}},
      {kBad, 2, {}},
      {"[overview]\nstale_hours=5\nstale_hours=5h\n", 5, {}},               // a bad value after a good one
      {"[overview]\nstale_hours=9\n;" + std::string(1 << 20, 'x'), 2, {}},  // past 1 MiB
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    TempDir dir;
    if (c.text != "-") writeBytes(dir.path() / "overview.ini", c.text);
    OverviewFile f;
    f.setStaleHours(100);
    f.setSeen({"old", 1, "", ""}, {2024, 1, 1, 0, 0, 0});
    f.load(dir.cp1251() + "overview.ini");
    EXPECT_EQ(f.staleHours(), c.stale);
    EXPECT_EQ(f.size(), c.seen.size());
    for (const auto& [k, t] : c.seen) EXPECT_TRUE(f.seen(k) && *f.seen(k) == t) << std::get<0>(k);
  }
}

TEST(OverviewFileTest, AwkwardNamesRoundTripAndAFailedSaveKeepsTheFile) {
  TempDir dir;
  const std::string path = dir.cp1251() + "overview.ini";
  const OverviewFile::Key odd{"h|=", 2121, "u%;[]", "\xce\xe1\xfa\xe5\xea\xf2 1\r\n"};
  OverviewFile f;
  f.load(path);
  f.setStaleHours(500);
  f.setSeen(odd, {2024, 2, 29, 23, 59, 59});
  f.setSeen(kA, {2023, 2, 29, 0, 0, 0});  // no calendar time: not written
  ASSERT_TRUE(f.save());
  EXPECT_EQ(readBytes(dir.path() / "overview.ini"),
            "[overview]\r\nstale_hours=240\r\n[seen]\r\n"
            "h%7C%3D|2121|u%25%3B%5B%5D|\xce\xe1\xfa\xe5\xea\xf2 1%0D%0A=2024-02-29 23:59:59\r\n");
  OverviewFile g;
  g.load(path);
  EXPECT_EQ(g.staleHours(), 240);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_TRUE(g.seen(odd) && *g.seen(odd) == (Time{2024, 2, 29, 23, 59, 59}));

  // A folder in the file's place cannot be replaced: save fails and leaves it as it was.
  std::filesystem::create_directory(dir.path() / "dir.ini");
  writeBytes(dir.path() / "dir.ini" / "inside", "kept");
  g.load(dir.cp1251() + "dir.ini");
  EXPECT_FALSE(g.save());
  EXPECT_EQ(readBytes(dir.path() / "dir.ini" / "inside"), "kept");
}

}  // namespace
