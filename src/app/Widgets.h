#pragma once
// The few control kinds the windows are built from, with fixed pixel geometry, and the conversion of the
// program's Windows-1251 texts where they enter or leave a widget.

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTableWidget>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Windows-1251 bytes -> widget text.
QString toQ(std::string_view cp1251);
// Widget text -> Windows-1251 bytes; nothing when the text holds a character the code page lacks.
std::optional<std::string> fromQ(const QString& text);

// Gives a widget its name (for tests and style) and its place.
void place(QWidget* w, const char* name, const QRect& geometry);

// A flat coloured panel that shows one centred text (a Delphi TPanel).
class TPanel : public QLabel {
  Q_OBJECT
 public:
  TPanel(QWidget* parent, const char* name, const QRect& geometry, const QColor& color,
         const QString& text = {});
};

// A push button with a caption.
QPushButton* makeButton(QWidget* parent, const char* name, const QRect& geometry, const QString& caption);

// A label with a caption.
QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& caption,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

// A read-only grid of text cells with rows 20 pixels high, whole-row selection, no headers (a Delphi
// TStringGrid). Cells hold Windows-1251 texts.
//
// rowChosen tells when the operator chose a row: a left-button press and release (the row current at the
// release, so a press on one row and a release on another chooses the second), or the keyboard. Row
// changes the program makes (selectRow, filling) never emit it, so the handlers run only when the
// operator acts or when the program calls them itself.
class TStringGrid : public QTableWidget {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 20;
  // What the keyboard does: in the object, line and connection lists every change of the current row
  // (arrows, Page Up/Down, Home/End, typed letters) chooses that row, as a click would; in the report
  // lists the keys only move the highlight and Enter chooses the highlighted row.
  enum class KeyChoice { RowChange, EnterKey };
  TStringGrid(QWidget* parent, const char* name, const QRect& geometry, const std::vector<int>& columnWidths);

  std::string cell(int column, int row) const;
  void setCell(int column, int row, std::string_view cp1251);
  // Sets every cell of a column to the empty text.
  void clearColumn(int column);
  // The first row whose cell in column equals text, or -1.
  int findRow(int column, std::string_view cp1251) const;
  // The selected row, or -1.
  int row() const;
  void selectRow(int row);

  void setKeyChoice(KeyChoice k) { keyChoice_ = k; }

 signals:
  void rowChosen(int row);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  KeyChoice keyChoice_ = KeyChoice::RowChange;
  bool pressedOnRow_ = false;  // a left-button press landed on a row and has not been released yet
};

// Lets through only the typed characters that allowed accepts; keys that type nothing (backspace,
// arrows, the paste shortcut) pass. What is pasted is checked where the text is used.
void filterTypedKeys(QWidget* w, bool (*allowed)(QChar c));
bool isDigit(QChar c);

// Gives the keyboard focus back, when it goes out of scope, to the widget that had it at the start:
// a list that is disabled while it is rebuilt loses the focus, and the next arrow key must still move
// in it.
class KeepFocus {
 public:
  explicit KeepFocus(QWidget* window);
  ~KeepFocus();
  KeepFocus(const KeepFocus&) = delete;
  KeepFocus& operator=(const KeepFocus&) = delete;

 private:
  QPointer<QWidget> focus_;
};
