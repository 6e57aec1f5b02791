#include "view/Rep_view.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>
#include <cstdio>

#include "app/Widgets.h"
#include "view/ReportText.h"
#include "view/RowList.h"
#include "view/TextRows.h"

namespace {

QFont listingFont() {
  QFont f(QStringLiteral("Courier New"));
  f.setPixelSize(15);
  f.setBold(true);
  return f;
}

// The row that decides the width: the most characters without trailing blanks (the first on a tie),
// without them; the font has a fixed pitch.
std::string widest(const TextRows& rows) {
  if (rows.longest().empty()) return {};
  std::string r = rows.row(rows.longest().front());
  r.resize(r.find_last_not_of(' ') + 1);
  return r;
}

}  // namespace

TFormRep_View::TFormRep_View(QWidget* parent)
    : TextViewer(parent, "FormRep_View", QSize(804, 745), QRect(2, 2, 782, 665),
                 QRect(kListLeft, -1, 727, 663), 782, listingFont()) {
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
  setFileCaption();
  const TextRows& rows = makeRows(TextRows::Style::Report);
  char blanks[64];
  std::snprintf(blanks, sizeof blanks, "%53s", " ");
  const QFontMetrics m(Label1->font());
  const int textWidth =
      std::max(m.horizontalAdvance(QString::fromLatin1(blanks)), m.horizontalAdvance(toQ(widest(rows))));
  showRows(textWidth);
  int listWidth = textWidth + report::widthAllowance(Kind);
  // No wider than the screen: the rows then scroll sideways and the buttons stay in sight.
  if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const int maxList = s->availableGeometry().width() - kFrameWidth - 14 - kListLeft;
    listWidth = std::min(listWidth, std::max(maxList, 100));
  }
  const int height =
      ListBox1->heightFor(report::listingHeight(rows.size()), listWidth, report::kMaxListingHeight);
  ListBox1->setGeometry(kListLeft, -1, listWidth, height);
  Panel4->setGeometry(2, 2, kListLeft + listWidth, height);
  resize(Panel4->width() + 22 - kFrameWidth, Panel4->y() + height + 76 - kFrameHeight);
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}
