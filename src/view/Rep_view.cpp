#include "view/Rep_view.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "view/ReportText.h"
#include "view/Report_prn.h"
#include "view/RowList.h"

namespace {

constexpr int kListLeft = 52;  // the white margin left of the rows
// The designed sizes are outer ones; the frame a window manager adds is not part of the client area.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 31;

}  // namespace

TFormRep_View::TFormRep_View(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormRep_View"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  resize(804 - kFrameWidth, 745 - kFrameHeight);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAutoFillBackground(true);
  QPalette grey = Panel1->palette();
  grey.setColor(QPalette::Window, QColor(211, 211, 211));
  Panel1->setPalette(grey);

  Panel4 = new QFrame(Panel1);
  place(Panel4, "Panel4", QRect(2, 2, 782, 665));
  Panel4->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel4->setAutoFillBackground(true);
  QPalette white = Panel4->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel4->setPalette(white);

  QFont listing(QStringLiteral("Courier New"));
  listing.setPixelSize(15);
  listing.setBold(true);
  ListBox1 = new RowList(Panel4, report::kRowHeight);
  Rows = ListBox1->rowsModel();
  place(ListBox1, "ListBox1", QRect(kListLeft, -1, 727, 663));
  ListBox1->setFont(listing);
  Label1 = makeLabel(Panel4, "Label1", QRect(8, 64, 10, 17), QString());
  Label1->setFont(listing);

  QFont buttons(QStringLiteral("Arial"));
  buttons.setPixelSize(12);
  BitBtn3 = makeButton(this, "BitBtn3", QRect(520, 673, 127, 21), QStringLiteral("Печать"));
  BitBtn1 = makeButton(this, "BitBtn1", QRect(655, 673, 127, 21), QStringLiteral("Выход"));
  for (QPushButton* b : {BitBtn3, BitBtn1}) {
    b->setFont(buttons);
    b->setAutoDefault(false);
  }
  connect(BitBtn3, &QPushButton::clicked, this, &TFormRep_View::BitBtn3Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TFormRep_View::BitBtn1Click);
  FormCreate();
}

void TFormRep_View::FormCreate() {
  FileName.clear();
  Text = nullptr;
  TextLength = 0;
  Kind = ReportKind::Hourly;
  Label1->hide();
}

void TFormRep_View::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormRep_View::FormShow() {
  setWindowTitle(toQ(cp1251::text(" Файл  \"") + FileName + "\""));
  const auto rows = report::viewerRows(text());
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(rows.size()));
  for (const auto& r : rows) texts.push_back(toQ(r));

  const int height = report::listingHeight(rows.size());
  char blanks[64];
  std::snprintf(blanks, sizeof blanks, "%53s", " ");
  const QFontMetrics m(Label1->font());
  const int textWidth = std::max(m.horizontalAdvance(QString::fromLatin1(blanks)),
                                 m.horizontalAdvance(toQ(report::longestRow(rows))));
  ListBox1->setRows(texts, textWidth);
  int listWidth = textWidth + report::widthAllowance(Kind);
  // No wider than the screen: the rows then scroll sideways and the buttons stay in sight.
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const int maxList = s->availableGeometry().width() - kFrameWidth - 14 - kListLeft;
    listWidth = std::min(listWidth, std::max(maxList, 100));
  }
  ListBox1->setGeometry(kListLeft, -1, listWidth, height);
  Panel4->setGeometry(2, 2, kListLeft + listWidth, height);
  resize(Panel4->width() + 22 - kFrameWidth, Panel4->y() + height + 76 - kFrameHeight);
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void TFormRep_View::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Panel1->setGeometry(rect());
  // The buttons keep their distance from the lower right corner (as designed in the 804 x 745 window).
  const int right = width() - (804 - kFrameWidth - 782);
  const int top = height() - (745 - kFrameHeight - 673);
  BitBtn1->move(right - BitBtn1->width(), top);
  BitBtn3->move(right - BitBtn1->width() - 8 - BitBtn3->width(), top);
}

void TFormRep_View::BitBtn3Click() {
  printText(this, text());
}

std::string_view TFormRep_View::text() const {
  return Text ? std::string_view(Text, static_cast<size_t>(std::max(TextLength, 0))) : std::string_view();
}

void TFormRep_View::BitBtn1Click() {
  accept();
}
