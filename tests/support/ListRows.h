#pragma once
// The rows a viewer's list shows, as UTF-8 texts (each asked for as the list would ask when showing it).

#include <QAbstractItemModel>

#include <string>
#include <vector>

inline std::vector<std::string> listRows(const QAbstractItemModel* model) {
  std::vector<std::string> out;
  for (int r = 0; r < model->rowCount(); ++r)
    out.push_back(model->index(r, 0).data().toString().toStdString());
  return out;
}
