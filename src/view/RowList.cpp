#include "view/RowList.h"

#include <QStringListModel>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

class TipModel : public QStringListModel {
 public:
  using QStringListModel::QStringListModel;
  QVariant data(const QModelIndex& index, int role) const override {
    return QStringListModel::data(index, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
  }
};

}  // namespace

class RowList::Delegate : public QStyledItemDelegate {
 public:
  Delegate(QObject* parent, int height) : QStyledItemDelegate(parent), height_(height) {}
  int width = 0;
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {width, height_}; }

 private:
  const int height_;
};

RowList::RowList(QWidget* parent, int rowHeight)
    : QListView(parent), model_(new TipModel(this)), delegate_(new Delegate(this, rowHeight)) {
  setModel(model_);
  setItemDelegate(delegate_);
  setUniformItemSizes(true);
  setFrameStyle(QFrame::NoFrame);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTextElideMode(Qt::ElideNone);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void RowList::setRows(const QStringList& rows, int rowWidth) {
  // With the margins the list draws around a row's text.
  delegate_->width = rowWidth + 8;
  model_->setStringList(rows);
}

int RowList::heightFor(int contentHeight, int width, int maxHeight) const {
  if (delegate_->width > width)
    contentHeight += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return std::min(contentHeight, maxHeight);
}
