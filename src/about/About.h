#pragma once
// The About box: the program's name, version and year, and a close button.

#include <QDialog>

class QLabel;
class QPushButton;

class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent = nullptr);

  QLabel* Label1;        // program name
  QLabel* Label2;        // what the program is for
  QLabel* Label3;        // version
  QLabel* Label4;        // year
  QPushButton* BitBtn1;  // "Закрыть"
};
