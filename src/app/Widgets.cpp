#include "app/Widgets.h"

#include <QHeaderView>

#include "core/Cp1251.h"

QString toQ(std::string_view cp1251) {
  return QString::fromStdString(cp1251::toUtf8(cp1251));
}

std::optional<std::string> fromQ(const QString& text) {
  return cp1251::fromUtf8(text.toStdString());
}

void place(QWidget* w, const char* name, const QRect& geometry) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(geometry);
}

TPanel::TPanel(QWidget* parent, const char* name, const QRect& geometry, const QColor& color,
               const QString& text)
    : QLabel(text, parent) {
  place(this, name, geometry);
  setAlignment(Qt::AlignCenter);
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  p.setColor(QPalette::Disabled, QPalette::Window, color);
  // A disabled header keeps a readable caption.
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(60, 60, 60));
  setPalette(p);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QRect& geometry, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  place(b, name, geometry);
  return b;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& caption,
                  Qt::Alignment alignment) {
  auto* l = new QLabel(caption, parent);
  place(l, name, geometry);
  l->setAlignment(alignment);
  return l;
}

TStringGrid::TStringGrid(QWidget* parent, const char* name, const QRect& geometry,
                         const std::vector<int>& columnWidths)
    : QTableWidget(1, static_cast<int>(columnWidths.size()), parent) {
  place(this, name, geometry);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  horizontalHeader()->setMinimumSectionSize(1);
  for (size_t c = 0; c < columnWidths.size(); ++c) setColumnWidth(static_cast<int>(c), columnWidths[c]);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setShowGrid(true);
  setWordWrap(false);
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(17);
  setFont(f);
}

std::string TStringGrid::cell(int column, int row) const {
  const QTableWidgetItem* i = item(row, column);
  if (!i) return {};
  return fromQ(i->text()).value_or(std::string{});
}

void TStringGrid::setCell(int column, int row, std::string_view cp1251) {
  if (row >= rowCount()) setRowCount(row + 1);
  QTableWidgetItem* i = item(row, column);
  if (!i) {
    i = new QTableWidgetItem;
    setItem(row, column, i);
  }
  i->setText(toQ(cp1251));
}

void TStringGrid::clearColumn(int column) {
  for (int r = 0; r < rowCount(); ++r) {
    if (QTableWidgetItem* i = item(r, column)) i->setText(QString());
  }
}

int TStringGrid::findRow(int column, std::string_view cp1251) const {
  for (int r = 0; r < rowCount(); ++r) {
    if (cell(column, r) == cp1251) return r;
  }
  return -1;
}

int TStringGrid::row() const {
  return currentRow();
}

void TStringGrid::selectRow(int row) {
  setCurrentCell(row, 0);
  QTableWidget::selectRow(row);
}
