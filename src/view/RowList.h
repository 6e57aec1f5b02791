#pragma once
// The list of the two viewers: rows of text of one fixed height and one width (the longest row's), so
// that tens of thousands of rows are shown without measuring each, and a row wider than the list scrolls
// sideways instead of being lost. Each row's whole text is its tool tip.

#include <QListView>
#include <QStringList>

class QStringListModel;

class RowList : public QListView {
  Q_OBJECT
 public:
  RowList(QWidget* parent, int rowHeight);
  QStringListModel* rowsModel() const { return model_; }
  // Replaces the rows; rowWidth is the pixel width of the widest one.
  void setRows(const QStringList& rows, int rowWidth);

 private:
  QStringListModel* model_;
  class Delegate;
  Delegate* delegate_;
};
