#include "view/RowList.h"

#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

class RowList::Model : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;
  void set(int count, std::function<QString(int)> row) {
    beginResetModel();
    count_ = count;
    row_ = std::move(row);
    endResetModel();
  }
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count_; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= count_ || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
      return {};
    return row_(index.row());
  }

 private:
  int count_ = 0;
  std::function<QString(int)> row_;
};

class RowList::Delegate : public QStyledItemDelegate {
 public:
  Delegate(QObject* parent, int height) : QStyledItemDelegate(parent), height_(height) {}
  int width = 0;
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {width, height_}; }

 private:
  const int height_;
};

RowList::RowList(QWidget* parent, int rowHeight)
    : QListView(parent), model_(new Model(this)), delegate_(new Delegate(this, rowHeight)) {
  setModel(model_);
  setItemDelegate(delegate_);
  setUniformItemSizes(true);
  setFrameStyle(QFrame::NoFrame);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTextElideMode(Qt::ElideNone);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QAbstractListModel* RowList::rowsModel() const {
  return model_;
}

void RowList::setRows(const QStringList& rows, int rowWidth) {
  setRows(
      static_cast<int>(rows.size()), [rows](int i) { return rows[i]; }, rowWidth);
}

void RowList::setRows(int count, std::function<QString(int)> row, int rowWidth) {
  // With the margins the list draws around a row's text.
  delegate_->width = rowWidth + 8;
  model_->set(count, std::move(row));
}

int RowList::heightFor(int contentHeight, int width, int maxHeight) const {
  if (delegate_->width > width)
    contentHeight += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return std::min(contentHeight, maxHeight);
}
