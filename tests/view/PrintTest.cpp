// "Печать" in the report viewer: the pages printed to a PDF file through the print-dialog seam and read
// back with pdftotext.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QPushButton>

#include "support/Pdf.h"
#include "support/TempDir.h"
#include "view/Rep_view.h"
#include "view/Report_prn.h"

namespace {

// What the operator chose in the print dialog besides the PDF file.
struct Choice {
  int from = 0, to = 0;  // 0: all sheets
  int copies = 1;
  bool collate = true;
};

// Prints a text from a shown viewer; confirmed: the dialog's answer. layout: the words' positions.
std::vector<std::string> printed(const std::string& text, bool confirmed = true, Choice choice = {},
                                 PdfLayout* layout = nullptr) {
  TempDir dir;
  const auto pdf = dir.path() / "out.pdf";
  setPrintDialog([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString(pdf.string()));
    if (choice.from > 0) {
      p.setPrintRange(QPrinter::PageRange);
      p.setFromTo(choice.from, choice.to);
    }
    p.setCopyCount(choice.copies);
    p.setCollateCopies(choice.collate);
    return confirmed;
  });
  TFormRep_View v;
  v.FileName = "r.txt";
  v.Text = text.c_str();
  v.TextLength = static_cast<int32_t>(text.size());
  v.show();
  v.BitBtn3->click();
  v.close();
  setPrintDialog({});
  if (!std::filesystem::exists(pdf)) return {};
  if (layout) *layout = pdfWords(pdf);
  return pdfPages(pdf);
}

bool has(const std::string& page, const std::string& text) {
  return page.find(text) != std::string::npos;
}

TEST(PrintTest, OnePagePerFormFeedSectionNothingLostNothingCut) {
  const auto three = printed("First page\r\nsecond line\r\n\fSecond page\r\n\fThird page\r\n\f");
  ASSERT_EQ(three.size(), 3u) << "a page per section, none after the final form feed";
  EXPECT_TRUE(has(three[0], "First page") && has(three[0], "second line"));
  EXPECT_TRUE(has(three[1], "Second page") && !has(three[1], "First"));
  EXPECT_TRUE(has(three[2], "Third page"));

  // Twenty-five sections: no limit of twenty pages.
  std::string many;
  for (int i = 1; i <= 25; ++i) many += "Section " + std::to_string(i) + "\r\n\f";
  const auto pages = printed(many);
  ASSERT_EQ(pages.size(), 25u);
  EXPECT_TRUE(has(pages[24], "Section 25"));

  // A section longer than a sheet goes on over the next; every line arrives.
  std::string longText;
  for (int i = 1; i <= 150; ++i) longText += "Line " + std::to_string(i) + "\r\n";
  const auto sheets = printed(longText);
  ASSERT_GE(sheets.size(), 2u);
  std::string all;
  for (const auto& s : sheets) all += s;
  for (int i = 1; i <= 150; ++i) EXPECT_TRUE(has(all, "Line " + std::to_string(i) + "\n")) << i;

  // A line wider than the margins is printed whole, in a smaller size.
  const std::string wide = std::string(80, 'W') + "END" + std::string(80, 'w') + "TAIL";
  const auto narrow = printed(wide + "\r\n");
  ASSERT_EQ(narrow.size(), 1u);
  EXPECT_TRUE(has(narrow[0], "TAIL"));
}

// Lines far too wide: not below a readable size, the rest of a line on the next printed lines, every
// character printed once and all of it between the margins (30 mm left, 10 mm right).
TEST(PrintTest, VeryWideLinesWrapAtAReadableSizeWithinTheMargins) {
  for (const size_t length : {1000u, 20000u}) {
    SCOPED_TRACE(length);
    std::string line;
    for (size_t i = 0; line.size() < length; ++i) line += static_cast<char>('a' + i % 26);
    PdfLayout layout;
    const auto sheets = printed("head\r\n" + line + "\r\n", true, {}, &layout);
    ASSERT_FALSE(sheets.empty());
    std::string joined;
    size_t longest = 0;
    for (const auto& w : layout.words) {
      if (w.text == "head") continue;
      joined += w.text;
      longest = std::max(longest, w.text.size());
      EXPECT_GE(w.xMin, 30 / 25.4 * 72 - 1) << w.text;
      EXPECT_LE(w.xMax, layout.pageWidth - 10 / 25.4 * 72 + 1) << w.text;
    }
    EXPECT_EQ(joined, line);
    // 170 mm of bold Courier New at 6 pt hold 133 characters; at 11 pt 73.
    EXPECT_LE(longest, 134u) << "not smaller than 6 pt";
    EXPECT_GE(longest, 120u) << "as large as the floor allows, no smaller";
  }
}

// The sheets of the chosen range, as many copies as asked for, collated or not.
TEST(PrintTest, PageRangeAndCopies) {
  std::string five;
  for (int i = 1; i <= 5; ++i) five += "Section " + std::to_string(i) + "\r\n\f";
  const struct {
    Choice choice;
    std::vector<int> sections;
  } cases[] = {
      {{}, {1, 2, 3, 4, 5}},
      {{2, 3, 1, true}, {2, 3}},
      {{4, 9, 1, true}, {4, 5}},
      {{2, 3, 2, true}, {2, 3, 2, 3}},
      {{2, 3, 2, false}, {2, 2, 3, 3}},
      {{0, 0, 2, true}, {1, 2, 3, 4, 5, 1, 2, 3, 4, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.sections));
    const auto pages = printed(five, true, c.choice);
    ASSERT_EQ(pages.size(), c.sections.size());
    for (size_t i = 0; i < pages.size(); ++i)
      EXPECT_TRUE(has(pages[i], "Section " + std::to_string(c.sections[i]))) << i;
  }
}

TEST(PrintTest, CancelledDialogPrintsNothing) {
  EXPECT_TRUE(printed("A\r\n", false).empty());
}

}  // namespace
