#pragma once
// The report viewer: one report's text as a fixed-pitch listing, sized to the text (never wider than the
// screen), with "Печать" and "Выход".

#include "core/ReportKind.h"
#include "view/TextViewer.h"

class TFormRep_View : public TextViewer {
  Q_OBJECT
 public:
  explicit TFormRep_View(QWidget* parent = nullptr);

  ReportKind Kind = ReportKind::Hourly;  // the commercial kinds get a wider margin on the right

  void FormCreate();
  void FormShow();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  bool shown_ = false;
};
