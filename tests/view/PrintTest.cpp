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

// Prints a text from a shown viewer; confirmed: the dialog's answer.
std::vector<std::string> printed(const std::string& text, bool confirmed = true) {
  TempDir dir;
  const auto pdf = dir.path() / "out.pdf";
  setPrintDialog([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString(pdf.string()));
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

TEST(PrintTest, CancelledDialogPrintsNothing) {
  EXPECT_TRUE(printed("A\r\n", false).empty());
}

}  // namespace
