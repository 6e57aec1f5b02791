#include "about/About.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

#include "app/Widgets.h"

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("О программе"));
  setFixedSize(380, 210);
  setModal(true);

  Label1 = makeLabel(this, "Label1", QRect(20, 18, 340, 34), QStringLiteral("ostraftp"), Qt::AlignCenter);
  QFont big = Label1->font();
  big.setPixelSize(24);
  big.setBold(true);
  Label1->setFont(big);
  Label2 =
      makeLabel(this, "Label2", QRect(20, 58, 340, 40),
                QStringLiteral("Просмотр и печать отчетов, сообщений и параметров газа\nстанций учета газа"),
                Qt::AlignCenter);
  Label3 = makeLabel(this, "Label3", QRect(20, 104, 340, 22),
                     QStringLiteral("Версия %1").arg(QStringLiteral(OSTRAFTP_VERSION)), Qt::AlignCenter);
  Label4 = makeLabel(this, "Label4", QRect(20, 128, 340, 22), QStringLiteral("2026"), Qt::AlignCenter);
  BitBtn1 = makeButton(this, "BitBtn1", QRect(140, 164, 100, 30), QStringLiteral("Закрыть"));
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}
