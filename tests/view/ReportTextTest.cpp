#include "view/ReportText.h"

#include <gtest/gtest.h>

#include "browse/ReportNames.h"
#include "view/TextRows.h"

namespace {

using Rows = std::vector<std::string>;

TEST(ReportTextTest, ViewerRows) {
  const struct {
    const char* name;
    std::string text;
    Rows rows;
  } cases[] = {
      {"two CR LF lines", "A\r\nB\r\n", {"  A", "  B", "  "}},
      {"no closing line feed", "A\nB", {"  A", "  B"}},
      {"form feed then CR LF", "A\f\r\nB", {"  A", "    ", "  B"}},
      {"form feed inside a line", "A\fB", {"  A", "    B"}},
      {"NUL skipped, tab kept", std::string("a\0\tb", 4), {"  a\tb"}},
      {"blank lines", "\n\n", {"  ", "  ", "  "}},
      {"CR and NUL in the 16th row and on", std::string(15, '\n') + std::string("x\r\0y\fz", 6),
       [] {
         Rows r(15, "  ");
         r.push_back("  xy");
         r.push_back("    z");
         return r;
       }()},
  };
  for (const auto& c : cases) EXPECT_EQ(report::viewerRows(c.text), c.rows) << c.name;
}

TEST(ReportTextTest, ListingSize) {
  EXPECT_EQ(report::listingHeight(3), 56);
  EXPECT_EQ(report::listingHeight(38), 651);
  EXPECT_EQ(report::listingHeight(39), 665);
  EXPECT_EQ(report::listingHeight(5000), 665);
  // The rows that decide the width: by length without trailing blanks, the first on a tie, blank rows not.
  using Style = TextRows::Style;
  using Rows_ = std::vector<size_t>;
  EXPECT_EQ(TextRows("ab   \nabc\nxyz\n    \r\n", Style::Report).longest(), (Rows_{1, 2, 0}));
  EXPECT_EQ(TextRows("\f  x\nabcd", Style::Report).longest(), (Rows_{1, 2}))
      << "four blanks after a form feed";
  EXPECT_EQ(TextRows("ab\n\nabc  \n", Style::Alarm).longest(), (Rows_{2, 1})) << "alarm rows as they stand";
  std::string many;
  for (int i = 1; i <= 40; ++i) many += std::string(static_cast<size_t>(i), 'x') + "\n";
  const TextRows forty(many, Style::Alarm);
  EXPECT_EQ(forty.longest().size(), TextRows::kLongest);
  EXPECT_EQ(forty.longest().front(), 40u);
  EXPECT_EQ(forty.longest().back(), 9u);
  std::vector<int> allowances;
  for (const ReportKind k : kReportKinds) allowances.push_back(report::widthAllowance(k));
  EXPECT_EQ(allowances, (std::vector<int>{25, 25, 35, 25, 35})) << "more for the commercial reports";
}

TEST(ReportTextTest, ComposePages) {
  using Pages = std::vector<report::Page>;
  const struct {
    const char* name;
    std::string text;
    Pages pages;
  } cases[] = {
      {"no form feed", "A\r\n\r\nB", {{" ", "A", "", "B"}}},
      {"A, form feed, B", "A\fB", {{" ", "A"}, {" B"}}},
      {"ends with a form feed", "A\f", {{" ", "A"}}},
      {"starts with a form feed", "\fA\n", {{" ", ""}, {" A", ""}}},
      {"form feed after a line feed", "A\n\fB\n", {{" ", "A", ""}, {" B", ""}}},
      {"many pages",
       "1\f2\f3\f4\f5\f6\f7\f8\f9\f10\f11\f12\f13\f14\f15\f16\f17\f18\f19\f20\f21",
       {{" ", "1"}, {" 2"},  {" 3"},  {" 4"},  {" 5"},  {" 6"},  {" 7"},  {" 8"},  {" 9"},  {" 10"}, {" 11"},
        {" 12"},    {" 13"}, {" 14"}, {" 15"}, {" 16"}, {" 17"}, {" 18"}, {" 19"}, {" 20"}, {" 21"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(report::composePages(c.text), c.pages) << c.name;
}

TEST(ReportTextTest, FileNameFromTheEntry) {
  const struct {
    int kind;
    const char* entry;
    const char* name;  // "" = not a date of the kind
  } cases[] = {
      {0, " 2005.03.15  10:00*", "obj-v1001n1-chakr-2005.03.15-10.txt"},
      {0, " 2005.03.15  09:00", "obj-v1001n1-chakr-2005.03.15-09.txt"},
      {1, " 2005.03.15", "obj-v1001n1-sutkr-2005.03.15.txt"},
      {2, " 2005.03.01*", "obj-v1001n1-sutko-2005.03.01.txt"},
      {3, " 2005.03", "obj-v1001n1-meskr-2005.03.txt"},
      {4, " 2005.03*", "obj-v1001n1-mesko-2005.03.txt"},
      {1, " 2005", ""},
      {0, "", ""},
  };
  for (const auto& c : cases) {
    const auto name = reportFileName(c.entry, kReportKinds[c.kind], "obj", "v1001n1");
    EXPECT_EQ(name.value_or(""), c.name) << c.kind << " '" << c.entry << "'";
  }
}

}  // namespace
