#pragma once
// What the report viewer and the alarm window share: a grey client panel, a white panel whose list of
// rows has a 52-pixel margin on its left, a hidden label that measures text in the list's font, "Печать"
// (the raw text printed at its form feeds) and "Выход" kept at the lower right corner. The caller sets
// FileName, Text and TextLength, shows the window modally and destroys it; the text stays the caller's.

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "view/TextRows.h"

class QFrame;
class QLabel;
class QPushButton;
class QAbstractListModel;
class RowList;

class TextViewer : public QDialog {
  Q_OBJECT
 public:
  std::string FileName;        // shown in the caption
  const char* Text = nullptr;  // the content (Windows-1251), not owned
  int32_t TextLength = 0;      // bytes of content in Text

  QFrame* Panel1;            // the client area
  QFrame* Panel4;            // white panel: the margin and the list
  RowList* ListBox1;         // one row per line, 17 pixels high
  QAbstractListModel* Rows;  // the rows of ListBox1
  QLabel* Label1;            // hidden: measures the width of a text in the list's font
  QPushButton* BitBtn3;      // "Печать"
  QPushButton* BitBtn1;      // "Выход"

  void BitBtn3Click();
  void BitBtn1Click();

 protected:
  static constexpr int kListLeft = 52;
  static constexpr int kRowHeight = 17;
  // The designed sizes are outer ones; the frame a window manager adds is not part of the client area.
  static constexpr int kFrameWidth = 8;
  static constexpr int kFrameHeight = 31;

  // designed: the window's outer size as designed; panel, list: their designed places; buttonsRight: the
  // designed right edge of "Выход" (the buttons keep their distance from the lower right corner).
  TextViewer(QWidget* parent, const char* name, QSize designed, QRect panel, QRect list, int buttonsRight,
             const QFont& listFont);
  std::string_view text() const;
  // " Файл  \"<FileName>\"".
  void setFileCaption();
  // The rows of the text in this window's style, made when the list shows them (nothing kept per line).
  const TextRows& makeRows(TextRows::Style style);
  // Hands the rows to the list, whose rows are width pixels wide; the number of rows.
  int showRows(int width);
  void resizeEvent(QResizeEvent* e) override;

 private:
  std::unique_ptr<TextRows> rows_;  // over Text, for as long as the window shows it
  const QSize designed_;
  const int buttonsRight_;
};
