#include "app/Widgets.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

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
  if (QTableWidgetItem* i = item(row, column)) {
    i->setText(toQ(cp1251));
  } else {
    setItem(row, column, new QTableWidgetItem(toQ(cp1251)));  // one change instead of two
  }
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

void TStringGrid::keyPressEvent(QKeyEvent* e) {
  if (keyChoice_ == KeyChoice::EnterKey && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
    if (currentRow() >= 0) emit rowChosen(currentRow());
    e->accept();
    return;
  }
  const int before = currentRow();
  // In a list of rows Home and End go to the first and the last row, as in the grids the operators know
  // (a table view would move between the columns of the row).
  if (selectionBehavior() == SelectRows && e->modifiers() == Qt::NoModifier &&
      (e->key() == Qt::Key_Home || e->key() == Qt::Key_End)) {
    QKeyEvent rows(e->type(), e->key(), Qt::ControlModifier, e->text(), e->isAutoRepeat(), e->count());
    QTableWidget::keyPressEvent(&rows);
  } else {
    QTableWidget::keyPressEvent(e);
  }
  if (keyChoice_ == KeyChoice::RowChange && currentRow() != before && currentRow() >= 0) {
    emit rowChosen(currentRow());
  }
}

void TStringGrid::mousePressEvent(QMouseEvent* e) {
  // Only the left button chooses; the others would move the highlight without choosing.
  if (e->button() != Qt::LeftButton) {
    e->accept();
    return;
  }
  pressedOnRow_ = indexAt(e->position().toPoint()).isValid();
  QTableWidget::mousePressEvent(e);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* e) {
  QTableWidget::mouseReleaseEvent(e);
  if (e->button() != Qt::LeftButton || !pressedOnRow_) return;
  pressedOnRow_ = false;
  // While the button was held the current row followed the mouse: the row under the release.
  if (currentRow() >= 0) emit rowChosen(currentRow());
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  // The first click of the pair has chosen the row; the release that ends the double click does not
  // choose it again.
  pressedOnRow_ = false;
  if (e->button() != Qt::LeftButton) {
    e->accept();
    return;
  }
  QTableWidget::mouseDoubleClickEvent(e);
}

KeepFocus::KeepFocus(QWidget* window) : focus_(window ? window->focusWidget() : nullptr) {}

KeepFocus::~KeepFocus() {
  if (focus_ && focus_->isEnabled() && focus_->window()->focusWidget() != focus_) focus_->setFocus();
}

namespace {

class TypedKeyFilter : public QObject {
 public:
  TypedKeyFilter(QObject* parent, bool (*allowed)(QChar)) : QObject(parent), allowed_(allowed) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const QString t = static_cast<QKeyEvent*>(event)->text();
      if (t.size() == 1 && t.at(0).isPrint() && !allowed_(t.at(0))) return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool (*allowed_)(QChar);
};

}  // namespace

void filterTypedKeys(QWidget* w, bool (*allowed)(QChar c)) {
  w->installEventFilter(new TypedKeyFilter(w, allowed));
}

bool isDigit(QChar c) {
  return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
