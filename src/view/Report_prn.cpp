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

bool systemDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

void setPrintDialog(PrintDialogSeam s) {
  seam() = std::move(s);
}

void TFormReport_Prn::Print(QPrinter& printer) const {
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                    QMarginsF(30, 10, 10, 10), QPageLayout::Millimeter));
  QPainter painter;
  if (!painter.begin(&printer)) return;
  const QRectF area(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
  bool firstSheet = true;
  for (const auto& page : Pages) {
    QFont font(QStringLiteral("Courier New"));
    font.setBold(true);
    font.setPointSizeF(kPointSize);
    std::vector<QString> lines;
    double widest = 0;
    for (const auto& l : page) {
      lines.push_back(toQ(l));
      widest = std::max(widest, QFontMetricsF(font, &printer).horizontalAdvance(lines.back()));
    }
    // Tables must not wrap: a page too wide for the margins is set smaller as a whole.
    if (widest > area.width()) font.setPointSizeF(kPointSize * area.width() / widest * 0.99);
    const QFontMetricsF metrics(font, &printer);
    painter.setFont(font);
    if (!firstSheet) printer.newPage();
    firstSheet = false;
    double y = metrics.ascent();
    for (const QString& line : lines) {
      if (y + metrics.descent() > area.height() && y > metrics.ascent()) {
        printer.newPage();  // the page goes on over the next sheet
        y = metrics.ascent();
      }
      painter.drawText(QPointF(0, y), line);
      y += metrics.lineSpacing();
    }
  }
  painter.end();
}

void printText(QWidget* parent, std::string_view text) {
  TFormReport_Prn form;
  form.ComposePages(text);  // before the dialog, also when it is then cancelled
  QPrinter printer(QPrinter::HighResolution);
  const bool confirmed = seam() ? seam()(printer, parent) : systemDialog(printer, parent);
  if (confirmed) form.Print(printer);
}
