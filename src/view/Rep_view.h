#pragma once
// The report viewer: one report's text as a fixed-pitch listing, sized to the text, with "Печать" and
// "Выход". The caller sets the fields, shows it modally and destroys it; the text stays the caller's.

#include <QDialog>

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ReportKind.h"

class QFrame;
class QLabel;
class RowList;
class QStringListModel;
class QPushButton;

class TFormRep_View : public QDialog {
  Q_OBJECT
 public:
  explicit TFormRep_View(QWidget* parent = nullptr);

  std::string FileName;        // shown in the caption
  const char* Text = nullptr;  // the content (Windows-1251), not owned
  int32_t TextLength = 0;      // bytes of content in Text
  ReportKind Kind = ReportKind::Hourly;

  QFrame* Panel1;          // the client area
  QFrame* Panel4;          // white panel: a 52-pixel margin and the listing
  RowList* ListBox1;       // one row per line of the text, 17 pixels high
  QStringListModel* Rows;  // the rows of ListBox1
  QLabel* Label1;          // hidden: measures the width of a text in the listing's font
  QPushButton* BitBtn3;    // "Печать"
  QPushButton* BitBtn1;    // "Выход"

  void FormCreate();
  void FormShow();
  void BitBtn3Click();
  void BitBtn1Click();

 protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  std::string_view text() const;
  bool shown_ = false;
};
