#include "view/Report_prn.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <functional>

#include "app/Widgets.h"

namespace {

constexpr double kPointSize = 11;

PrintDialogSeam& seam() {
  static PrintDialogSeam s;
  return s;
}

bool systemDialog(QPrinter& printer, QWidget* parent, int sheets) {
  QPrintDialog dialog(&printer, parent);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange);
  dialog.setOption(QAbstractPrintDialog::PrintCollateCopies);
  dialog.setMinMax(1, std::max(1, sheets));
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

void setPrintDialog(PrintDialogSeam s) {
  seam() = std::move(s);
}

namespace {

constexpr double kMinPointSize = 6;  // a wide page is set smaller, never below this readable size

// Where a printed line starts: the text line (report::pageLine) and the character in it where a line too
// wide for the page goes on.
struct Cursor {
  size_t line = report::kNoLine;
  int wrap = 0;
  bool operator==(const Cursor&) const = default;
};

// One printed sheet: where it starts, in its page's font. Its lines are read from the text when it is
// printed, up to where the next sheet of the page starts.
struct Sheet {
  size_t page;
  QFont font;
  Cursor start;
};

// The longest start of line that fits into width (at least one character, so that nothing is lost).
int fitting(const QFontMetricsF& metrics, const QString& line, double width) {
  int lo = 1, hi = static_cast<int>(line.size());
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (metrics.horizontalAdvance(line.left(mid)) <= width) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

void setLayout(QPrinter& printer) {
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                    QMarginsF(30, 10, 10, 10), QPageLayout::Millimeter));
}

QRectF printable(QPrinter& printer) {
  return {QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size()};
}

// Calls put for every printed line of a page from a cursor on, in the page's font, until put says stop:
// each text line, and the rest of a line too wide for the page on the next printed lines.
void walk(std::string_view text, const report::PageRange& page, const QFontMetricsF& metrics, double width,
          Cursor from, const std::function<bool(const QString&, const Cursor&)>& put) {
  for (size_t at = from.line; at != report::kNoLine;) {
    const size_t line = at;
    const QString whole = toQ(report::pageLine(text, page, at, at));
    int done = line == from.line ? from.wrap : 0;
    do {
      const QString rest = whole.mid(done);
      const int n = metrics.horizontalAdvance(rest) > width ? fitting(metrics, rest, width)
                                                            : static_cast<int>(rest.size());
      if (!put(rest.left(n), {line, done})) return;
      done += n;
    } while (done < whole.size());
  }
}

std::vector<Sheet> sheetsOf(std::string_view text, const std::vector<report::PageRange>& pages,
                            QPrinter& printer) {
  const QRectF area = printable(printer);
  std::vector<Sheet> sheets;
  for (size_t p = 0; p < pages.size(); ++p) {
    QFont font(QStringLiteral("Courier New"));
    font.setBold(true);
    font.setPointSizeF(kPointSize);
    double widest = 0;
    const QFontMetricsF normal(font, &printer);
    for (size_t at = report::firstLine(pages[p]); at != report::kNoLine;)
      widest = std::max(widest, normal.horizontalAdvance(toQ(report::pageLine(text, pages[p], at, at))));
    // Tables should not wrap: a page too wide for the margins is set smaller as a whole, down to a
    // readable size; a line still too wide goes on over the next printed lines.
    if (widest > area.width())
      font.setPointSizeF(std::max(kMinPointSize, kPointSize * area.width() / widest * 0.99));
    const QFontMetricsF metrics(font, &printer);
    double y = 0;
    walk(text, pages[p], metrics, area.width(), {report::firstLine(pages[p]), 0},
         [&](const QString&, const Cursor& at) {
           if (sheets.empty() || sheets.back().page != p ||
               y + metrics.ascent() + metrics.descent() > area.height()) {
             sheets.push_back({p, font, at});  // a page starts a sheet and goes on over the next ones
             y = 0;
           }
           y += metrics.lineSpacing();
           return true;
         });
  }
  return sheets;
}

}  // namespace

void TFormReport_Prn::Print(QPrinter& printer) const {
  setLayout(printer);
  const std::vector<Sheet> sheets = sheetsOf(Text, Pages, printer);
  // The page range and the copies chosen in the dialog; a printer that makes copies itself gets one.
  const int count = static_cast<int>(sheets.size());
  int from = 1, to = count;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    from = printer.fromPage();
    to = std::min(count, printer.toPage() > 0 ? printer.toPage() : count);
  }
  const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
  std::vector<int> order;
  for (int c = 0; c < (printer.collateCopies() ? copies : 1); ++c) {
    for (int i = from; i <= to; ++i) {
      for (int k = 0; k < (printer.collateCopies() ? 1 : copies); ++k) order.push_back(i - 1);
    }
  }
  if (order.empty()) return;
  QPainter painter;
  if (!painter.begin(&printer)) return;
  const double width = printable(printer).width();
  bool first = true;
  for (const int i : order) {
    if (!first) printer.newPage();
    first = false;
    const Sheet& sheet = sheets[static_cast<size_t>(i)];
    const bool more =
        static_cast<size_t>(i) + 1 < sheets.size() && sheets[static_cast<size_t>(i) + 1].page == sheet.page;
    const Cursor end = more ? sheets[static_cast<size_t>(i) + 1].start : Cursor{};
    painter.setFont(sheet.font);
    const QFontMetricsF metrics(sheet.font, &printer);
    double y = metrics.ascent();
    walk(Text, Pages[sheet.page], metrics, width, sheet.start, [&](const QString& line, const Cursor& at) {
      if (more && at == end) return false;  // the next sheet's first line
      painter.drawText(QPointF(0, y), line);
      y += metrics.lineSpacing();
      return true;
    });
  }
  painter.end();
}

int TFormReport_Prn::SheetCount(QPrinter& printer) const {
  setLayout(printer);
  return static_cast<int>(sheetsOf(Text, Pages, printer).size());
}

void printText(QWidget* parent, std::string_view text) {
  TFormReport_Prn form;
  form.ComposePages(text);  // before the dialog, also when it is then cancelled
  QPrinter printer(QPrinter::HighResolution);
  const bool confirmed =
      seam() ? seam()(printer, parent) : systemDialog(printer, parent, form.SheetCount(printer));
  if (confirmed) form.Print(printer);
}
