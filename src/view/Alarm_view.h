#pragma once
// The alarm messages of an object: one row per message in file order, the newest selected, with
// "Печать" and "Выход".

#include "view/TextViewer.h"

class TFormAlarm_View : public TextViewer {
  Q_OBJECT
 public:
  explicit TFormAlarm_View(QWidget* parent = nullptr);

  void FormCreate();
  void FormShow();

 protected:
  void showEvent(QShowEvent* e) override;
};
