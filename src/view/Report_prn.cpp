#include "view/Report_prn.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

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

// One printed sheet: its lines in its page's font.
struct Sheet {
  QFont font;
  std::vector<QString> lines;
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

std::vector<Sheet> sheetsOf(const std::vector<report::Page>& pages, QPrinter& printer) {
  const QRectF area(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
  std::vector<Sheet> sheets;
  for (const auto& page : pages) {
    QFont font(QStringLiteral("Courier New"));
    font.setBold(true);
    font.setPointSizeF(kPointSize);
    std::vector<QString> lines;
    double widest = 0;
    for (const auto& l : page) {
      lines.push_back(toQ(l));
      widest = std::max(widest, QFontMetricsF(font, &printer).horizontalAdvance(lines.back()));
    }
    // Tables should not wrap: a page too wide for the margins is set smaller as a whole, down to a
    // readable size; a line still too wide goes on over the next printed lines.
    if (widest > area.width())
      font.setPointSizeF(std::max(kMinPointSize, kPointSize * area.width() / widest * 0.99));
    const QFontMetricsF metrics(font, &printer);
    sheets.push_back({font, {}});
    double y = metrics.ascent();
    const auto put = [&](const QString& text) {
      if (y + metrics.descent() > area.height() && !sheets.back().lines.empty()) {
        sheets.push_back({font, {}});  // the page goes on over the next sheet
        y = metrics.ascent();
      }
      sheets.back().lines.push_back(text);
      y += metrics.lineSpacing();
    };
    for (const QString& line : lines) {
      QString rest = line;
      while (metrics.horizontalAdvance(rest) > area.width()) {
        const int n = fitting(metrics, rest, area.width());
        put(rest.left(n));
        rest = rest.mid(n);
      }
      put(rest);
    }
  }
  return sheets;
}

}  // namespace

void TFormReport_Prn::Print(QPrinter& printer) const {
  setLayout(printer);
  const std::vector<Sheet> sheets = sheetsOf(Pages, printer);
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
  bool first = true;
  for (const int i : order) {
    if (!first) printer.newPage();
    first = false;
    const Sheet& sheet = sheets[static_cast<size_t>(i)];
    painter.setFont(sheet.font);
    const QFontMetricsF metrics(sheet.font, &printer);
    double y = metrics.ascent();
    for (const QString& line : sheet.lines) {
      painter.drawText(QPointF(0, y), line);
      y += metrics.lineSpacing();
    }
  }
  painter.end();
}

int TFormReport_Prn::SheetCount(QPrinter& printer) const {
  setLayout(printer);
  return static_cast<int>(sheetsOf(Pages, printer).size());
}

void printText(QWidget* parent, std::string_view text) {
  TFormReport_Prn form;
  form.ComposePages(text);  // before the dialog, also when it is then cancelled
  QPrinter printer(QPrinter::HighResolution);
  const bool confirmed =
      seam() ? seam()(printer, parent) : systemDialog(printer, parent, form.SheetCount(printer));
  if (confirmed) form.Print(printer);
}
