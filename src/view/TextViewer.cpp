#include "view/TextViewer.h"

#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <limits>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "view/Report_prn.h"
#include "view/RowList.h"

namespace {

constexpr int kButtonsTop = 673;  // as designed, in both windows

}  // namespace

TextViewer::TextViewer(QWidget* parent, const char* name, QSize designed, QRect panel, QRect list,
                       int buttonsRight, const QFont& listFont)
    : QDialog(parent), designed_(designed), buttonsRight_(buttonsRight) {
  setObjectName(QString::fromLatin1(name));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  resize(designed.width() - kFrameWidth, designed.height() - kFrameHeight);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAutoFillBackground(true);
  QPalette grey = Panel1->palette();
  grey.setColor(QPalette::Window, QColor(211, 211, 211));
  Panel1->setPalette(grey);

  Panel4 = new QFrame(Panel1);
  place(Panel4, "Panel4", panel);
  Panel4->setFrameStyle(QFrame::Box | QFrame::Plain);
  Panel4->setAutoFillBackground(true);
  QPalette white = Panel4->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel4->setPalette(white);

  ListBox1 = new RowList(Panel4, kRowHeight);
  Rows = ListBox1->rowsModel();
  place(ListBox1, "ListBox1", list);
  ListBox1->setFont(listFont);
  Label1 = makeLabel(Panel4, "Label1", QRect(8, 64, 10, kRowHeight), QString());
  Label1->setFont(listFont);
  Label1->hide();

  QFont buttons(QStringLiteral("Arial"));
  buttons.setPixelSize(12);
  BitBtn3 =
      makeButton(this, "BitBtn3", QRect(buttonsRight - 262, kButtonsTop, 127, 21), QStringLiteral("Печать"));
  BitBtn1 =
      makeButton(this, "BitBtn1", QRect(buttonsRight - 127, kButtonsTop, 127, 21), QStringLiteral("Выход"));
  for (QPushButton* b : {BitBtn3, BitBtn1}) {
    b->setFont(buttons);
    b->setAutoDefault(false);
  }
  connect(BitBtn3, &QPushButton::clicked, this, &TextViewer::BitBtn3Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TextViewer::BitBtn1Click);
}

std::string_view TextViewer::text() const {
  return Text ? std::string_view(Text, static_cast<size_t>(std::max(TextLength, 0))) : std::string_view();
}

void TextViewer::setFileCaption() {
  setWindowTitle(toQ(cp1251::text(" Файл  \"") + FileName + "\""));
}

const TextRows& TextViewer::makeRows(TextRows::Style style) {
  rows_ = std::make_unique<TextRows>(text(), style);
  return *rows_;
}

int TextViewer::showRows(int width) {
  const int count = static_cast<int>(std::min<size_t>(rows_->size(), std::numeric_limits<int>::max()));
  ListBox1->setRows(
      count, [this](int i) { return toQ(rows_->row(static_cast<size_t>(i))); }, width);
  return count;
}

void TextViewer::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Panel1->setGeometry(rect());
  const int right = width() - (designed_.width() - kFrameWidth - buttonsRight_);
  const int top = height() - (designed_.height() - kFrameHeight - kButtonsTop);
  BitBtn1->move(right - BitBtn1->width(), top);
  BitBtn3->move(right - BitBtn1->width() - 8 - BitBtn3->width(), top);
}

void TextViewer::BitBtn3Click() {
  printText(this, text());
}

void TextViewer::BitBtn1Click() {
  accept();
}
