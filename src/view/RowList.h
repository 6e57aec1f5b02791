#pragma once
// The list of the two viewers: rows of text of one fixed height and one width (the longest row's), so
// that millions of rows are shown without measuring each, and a row wider than the list scrolls
// sideways instead of being lost. Each row's whole text is its tool tip. A row's text is asked for only
// when the row is shown.

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

#include <functional>

class RowList : public QListView {
  Q_OBJECT
 public:
  RowList(QWidget* parent, int rowHeight);
  QAbstractListModel* rowsModel() const;
  // Replaces the rows; rowWidth is the pixel width of the widest one.
  void setRows(const QStringList& rows, int rowWidth);
  // Replaces the rows with count rows whose texts row() gives when they are shown.
  void setRows(int count, std::function<QString(int)> row, int rowWidth);
  // A list height for rows that need contentHeight: when the rows are wider than width, the sideways
  // scroll bar gets room of its own below them, so that a short list shows its last row without a
  // vertical scroll bar. Never more than maxHeight.
  [[nodiscard]] int heightFor(int contentHeight, int width, int maxHeight) const;

 private:
  class Model;
  Model* model_;
  class Delegate;
  Delegate* delegate_;
};
