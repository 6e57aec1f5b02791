#pragma once
// The alarm messages of an object: one row per message in file order, the newest selected, with
// "Печать" and "Выход". The caller sets the fields, shows it modally and destroys it; the text stays the
// caller's.

#include <QDialog>

#include <cstdint>
#include <string>
#include <string_view>

class QFrame;
class QLabel;
class RowList;
class QPushButton;
class QStringListModel;

class TFormAlarm_View : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAlarm_View(QWidget* parent = nullptr);

  std::string FileName;        // shown in the caption
  const char* Text = nullptr;  // the content (Windows-1251), not owned
  int32_t TextLength = 0;      // bytes of content in Text

  QFrame* Panel1;          // the client area
  QFrame* Panel4;          // white panel: a 52-pixel margin and the list
  RowList* ListBox1;       // one row per message, 17 pixels high; a row's whole text is its tool tip
  QStringListModel* Rows;  // the rows of ListBox1
  QLabel* Label1;          // hidden: measures the width of a row in the list's font
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
};
