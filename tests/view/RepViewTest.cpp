// The report viewer: its rows and its size for the text it is given.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStringListModel>

#include "view/Rep_view.h"
#include "view/RowList.h"

namespace {

struct Sized {
  int rows, listHeight, listWidth, clientHeight;
  bool vertical;  // a vertical scroll bar is offered
};

Sized show(const std::string& text, ReportKind kind, TFormRep_View& v) {
  v.FileName = "f.txt";
  v.Text = text.c_str();
  v.TextLength = static_cast<int32_t>(text.size());
  v.Kind = kind;
  v.show();
  QCoreApplication::processEvents();  // the scroll ranges follow the layout
  return {static_cast<int>(v.Rows->rowCount()), v.ListBox1->height(), v.ListBox1->width(), v.height(),
          v.ListBox1->verticalScrollBar()->maximum() > 0};
}

TEST(RepViewTest, SizeFollowsTheText) {
  std::string many;
  for (int i = 0; i < 45; ++i) many += "row\r\n";
  const struct {
    const char* name;
    std::string text;
    ReportKind kind;
    int rows, listHeight;
    int allowance;  // pixels beyond the 53-blank width
    bool vertical;
  } cases[] = {
      {"two CR LF lines", "A\r\nB\r\n", ReportKind::DailyShort, 3, 56, 25, false},
      {"commercial kind", "A\r\nB\r\n", ReportKind::DailyCommercial, 3, 56, 35, false},
      {"45 lines", many, ReportKind::MonthlyCommercial, 46, 665, 35, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFormRep_View v;
    const Sized s = show(c.text, c.kind, v);
    const int blanks = QFontMetrics(v.Label1->font()).horizontalAdvance(QString(53, ' '));
    EXPECT_EQ(s.rows, c.rows);
    EXPECT_EQ(s.listHeight, c.listHeight);
    EXPECT_EQ(s.listWidth, blanks + c.allowance) << "short rows: as wide as 53 blanks";
    EXPECT_EQ(s.clientHeight, 2 + c.listHeight + 76 - 31);
    EXPECT_EQ(s.vertical, c.vertical);
    EXPECT_EQ(v.windowTitle().toStdString(), " Файл  \"f.txt\"");
    EXPECT_FALSE(v.Label1->isVisible());
    v.close();
  }
}

TEST(RepViewTest, WideReportStaysOnTheScreenWithItsButtons) {
  const std::string wide = std::string(2000, 'W') + "   \r\n" + std::string(10, 'x') + "\r\n";
  TFormRep_View v;
  const Sized s = show(wide, ReportKind::Hourly, v);
  // Short but wide: the sideways scroll bar has room below the rows, every row is in sight.
  EXPECT_FALSE(s.vertical) << "no vertical scroll bar for three rows";
  const QRect lastRow = v.ListBox1->visualRect(v.Rows->index(v.Rows->rowCount() - 1));
  EXPECT_LE(lastRow.bottom(), v.ListBox1->viewport()->height());
  const QRect screen = v.screen()->availableGeometry();
  EXPECT_LE(v.frameGeometry().width(), screen.width());
  for (QPushButton* b : {v.BitBtn3, v.BitBtn1}) {
    EXPECT_TRUE(v.rect().contains(b->geometry())) << b->text().toStdString();
  }
  EXPECT_GT(v.ListBox1->horizontalScrollBar()->maximum(), 0) << "the rows scroll sideways";
  v.close();

  // Trailing blanks do not widen: the same row without them gives the same width.
  TFormRep_View a, b;
  const std::string row = std::string(70, 'z');
  EXPECT_EQ(show(row + std::string(30, ' ') + "\r\n", ReportKind::Hourly, a).listWidth,
            show(row + "\r\n", ReportKind::Hourly, b).listWidth);
  a.close();
  b.close();
}

}  // namespace
