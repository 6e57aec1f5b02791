#include "view/Alarm_view.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

#include "app/Widgets.h"
#include "view/ReportText.h"
#include "view/RowList.h"

namespace {

QFont listFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(15);
  return f;
}

}  // namespace

TFormAlarm_View::TFormAlarm_View(QWidget* parent)
    : TextViewer(parent, "FormAlarm_View", QSize(1053, 745), QRect(2, 2, 1002, 665),
                 QRect(kListLeft, 0, 221, 665), 1031, listFont()) {
  FormCreate();
}

void TFormAlarm_View::FormCreate() {
  FileName.clear();
  Text = nullptr;
  TextLength = 0;
  Label1->hide();
}

void TFormAlarm_View::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!e->spontaneous()) FormShow();  // the rows are rebuilt at every showing
}

void TFormAlarm_View::FormShow() {
  setFileCaption();
  // A row is made from the text when the list shows it; the width is the widest of the rows with the
  // most characters (the font is proportional), not of every row.
  const TextRows& rows = makeRows(TextRows::Style::Alarm);
  int widest = 0;
  const QFontMetrics m(Label1->font());
  for (const size_t r : rows.longest()) widest = std::max(widest, m.horizontalAdvance(toQ(rows.row(r))));
  const int count = showRows(widest);

  QSize screenSize(1280, 1024);
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) screenSize = s->size();
  const int listWidth = std::max(std::min(widest + 30, screenSize.width() - 80), 250);
  const int maxHeight = std::max(screenSize.height() - 140, 140);
  const int listHeight = std::max(ListBox1->heightFor(count * kRowHeight + 2, listWidth, maxHeight), 140);
  ListBox1->setGeometry(kListLeft, 0, listWidth, listHeight);
  Panel4->setGeometry(2, 2, kListLeft + listWidth + 2, listHeight);
  resize(Panel4->x() + Panel4->width() + 20 - kFrameWidth, Panel4->y() + listHeight + 78 - kFrameHeight);
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  // The newest message is the last row: the view opens there.
  const QModelIndex last = Rows->index(Rows->rowCount() - 1);
  ListBox1->setCurrentIndex(last);
  ListBox1->scrollTo(last);
}
