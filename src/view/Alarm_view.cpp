#include "view/Alarm_view.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStringListModel>

#include <algorithm>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "view/ReportText.h"
#include "view/Report_prn.h"
#include "view/RowList.h"

namespace {

constexpr int kListLeft = 52;
constexpr int kRowHeight = 17;
// The designed sizes are outer ones; the frame a window manager adds is not part of the client area.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 31;
constexpr int kDesignedWidth = 1053, kDesignedHeight = 745;

}  // namespace

TFormAlarm_View::TFormAlarm_View(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormAlarm_View"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  resize(kDesignedWidth - kFrameWidth, kDesignedHeight - kFrameHeight);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAutoFillBackground(true);
  QPalette grey = Panel1->palette();
  grey.setColor(QPalette::Window, QColor(211, 211, 211));
  Panel1->setPalette(grey);

  Panel4 = new QFrame(Panel1);
  place(Panel4, "Panel4", QRect(2, 2, 1002, 665));
  Panel4->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel4->setAutoFillBackground(true);
  QPalette white = Panel4->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel4->setPalette(white);

  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(15);
  ListBox1 = new RowList(Panel4, kRowHeight);
  Rows = ListBox1->rowsModel();
  place(ListBox1, "ListBox1", QRect(kListLeft, 0, 221, 665));
  ListBox1->setFont(font);
  Label1 = makeLabel(Panel4, "Label1", QRect(8, 64, 10, kRowHeight), QString());
  Label1->setFont(font);

  QFont buttons(QStringLiteral("Arial"));
  buttons.setPixelSize(12);
  BitBtn3 = makeButton(this, "BitBtn3", QRect(769, 673, 127, 21), QStringLiteral("Печать"));
  BitBtn1 = makeButton(this, "BitBtn1", QRect(904, 673, 127, 21), QStringLiteral("Выход"));
  for (QPushButton* b : {BitBtn3, BitBtn1}) {
    b->setFont(buttons);
    b->setAutoDefault(false);
  }
  connect(BitBtn3, &QPushButton::clicked, this, &TFormAlarm_View::BitBtn3Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TFormAlarm_View::BitBtn1Click);
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

std::string_view TFormAlarm_View::text() const {
  return Text ? std::string_view(Text, static_cast<size_t>(std::max(TextLength, 0))) : std::string_view();
}

void TFormAlarm_View::FormShow() {
  setWindowTitle(toQ(cp1251::text(" Файл  \"") + FileName + "\""));
  const auto rows = report::alarmRows(text());
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(rows.size()));
  int widest = 0;
  const QFontMetrics m(Label1->font());
  for (const auto& r : rows) {
    texts.push_back(toQ(r));
    widest = std::max(widest, m.horizontalAdvance(texts.back()));
  }
  ListBox1->setRows(texts, widest);

  QSize screenSize(1280, 1024);
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) screenSize = s->size();
  const int listWidth = std::max(std::min(widest + 30, screenSize.width() - 80), 250);
  const int listHeight =
      std::max(std::min(static_cast<int>(rows.size()) * kRowHeight + 2, screenSize.height() - 140), 140);
  ListBox1->setGeometry(kListLeft, 0, listWidth, listHeight);
  Panel4->setGeometry(2, 2, kListLeft + listWidth + 2, listHeight);
  resize(Panel4->x() + Panel4->width() + 20 - kFrameWidth, Panel4->y() + listHeight + 78 - kFrameHeight);
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  // The newest message is the last row: the view opens there.
  const QModelIndex last = Rows->index(Rows->rowCount() - 1);
  ListBox1->setCurrentIndex(last);
  ListBox1->scrollTo(last);
}

void TFormAlarm_View::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Panel1->setGeometry(rect());
  // The buttons keep their distance from the lower right corner (as designed in the 1053 x 745 window).
  const int right = width() - (kDesignedWidth - kFrameWidth - (904 + 127));
  const int top = height() - (kDesignedHeight - kFrameHeight - 673);
  BitBtn1->move(right - BitBtn1->width(), top);
  BitBtn3->move(right - BitBtn1->width() - 8 - BitBtn3->width(), top);
}

void TFormAlarm_View::BitBtn3Click() {
  printText(this, text());
}

void TFormAlarm_View::BitBtn1Click() {
  accept();
}
