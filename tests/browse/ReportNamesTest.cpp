#include "browse/ReportNames.h"

#include <gtest/gtest.h>

#include "core/FileSys.h"

namespace {

TEST(ReportNames, EntryRule) {
  struct Case {
    const char* name;
    uint32_t size;
    int kind;
    const char* search;
    std::optional<std::string> entry;
  };
  const char* h = "A-v0017n1-chakr";
  const std::string temp = fsys::temporaryName();
  const Case cases[] = {
      {"A-v0017n1-chakr-2009.03.05-14.txt", 2048, 0, h, " 2009.03.05  14:00"},
      {"A-v0017n1-chakr-2009.03.05-15.txt", 0, 0, h, " 2009.03.05  15:00*"},
      {"A-v0017n1-sutkr-2009.03.05.txt", 19, 1, "A-v0017n1-sutkr", " 2009.03.05*"},
      {"A-v0017n1-sutkr-2009.03.05.txt", 20, 1, "A-v0017n1-sutkr", " 2009.03.05"},
      {"A-v0017n1-meskr-2009.03.txt", 100, 3, "A-v0017n1-meskr", " 2009.03"},
      // Numbers may follow any white space %d skips, vertical tab and form feed too.
      {"A-v0017n1-sutkr-\v2009.\f03. \t\n\r05.txt", 100, 1, "A-v0017n1-sutkr", " 2009.03.05"},
      {"A-v0017n1-chakr-2009_03_05_14.txt", 100, 0, h, " 2009.03.05  14:00"},
      {"A-v0017n1-chakr-2009.13.05-14.txt", 100, 0, h, std::nullopt},
      {"A-v0017n1-chakr-2009.03.32-14.txt", 100, 0, h, std::nullopt},
      {"A-v0017n1-chakr-2009.03.05-24.txt", 100, 0, h, std::nullopt},
      {"A-v0017n1-chakr-0000.03.05-14.txt", 100, 0, h, "    0.03.05  14:00"},
      {"A-v0017n1-chakr-2009.03.05.txt", 100, 0, h, std::nullopt},
      {"old-A-v0017n1-chakr-2009.03.05-14.txt", 100, 0, h, " 2009.03.05  14:00"},
      {"XA-v0017n1-chakr-2009.03.05-14.txt", 100, 0, h, " 2009.03.05  14:00"},
      {"A-v0017n2-chakr-2009.03.05-14.txt", 100, 0, h, std::nullopt},
      {"A-v0017n1-chakr", 100, 0, h, std::nullopt},
      {"A-v0017n1-chakr-", 100, 0, h, std::nullopt},
      {"A-v0017n1-mesko-2009.00.txt", 100, 4, "A-v0017n1-mesko", std::nullopt},
      {"A-v0017n1-mesko-20091.03.txt", 100, 4, "A-v0017n1-mesko", std::nullopt},
      // What a write killed half-way leaves in a cache or local folder is no report.
      {temp.c_str(), 100, 0, h, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(catalogueEntry(c.name, c.size, kReportKinds[c.kind], c.search), c.entry) << c.name;
}

TEST(ReportNames, ValidDates) {
  EXPECT_TRUE(IsValidReportDate(1, 1, 0));
  EXPECT_TRUE(IsValidReportDate(12, 31, 23));
  EXPECT_FALSE(IsValidReportDate(0, 1, 0));
  EXPECT_FALSE(IsValidReportDate(1, 0, 0));
  EXPECT_FALSE(IsValidReportDate(1, 1, -1));
}

}  // namespace
