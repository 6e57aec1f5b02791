#include "browse/Dir_list.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>

#include <algorithm>

#include "app/Widgets.h"
#include "core/BrowseState.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/Ui.h"
#include "settings/SettingsFile.h"

namespace {

const char* kTitle = " Каталог со списком объектов";

// The roots the platform offers: drive letters on Windows, the file-system root and the mounted volumes
// elsewhere.
QStringList roots() {
  QStringList out;
#ifdef _WIN32
  for (const QFileInfo& d : QDir::drives()) out << QDir::toNativeSeparators(d.absolutePath()).toUpper();
#else
  out << QStringLiteral("/");
  QStringList mounts;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    if (v.isValid() && v.isReady() && v.rootPath() != QStringLiteral("/")) mounts << v.rootPath();
  }
  mounts.sort();
  mounts.removeDuplicates();
  out << mounts;
#endif
  return out;
}

QString nativeDir(const QString& path) {
  return QDir::toNativeSeparators(QDir::cleanPath(path));
}

}  // namespace

TFormDir_List::TFormDir_List(SettingsFile& settings, BrowseState& browse, std::string dataFolder, Ui& ui,
                             QWidget* parent)
    : QDialog(parent), settings_(settings), browse_(browse), dataFolder_(std::move(dataFolder)), ui_(ui) {
  setObjectName(QStringLiteral("FormDir_List"));
  setWindowTitle(QString::fromUtf8(kTitle));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setFixedSize(628, 392);

  DriveComboBox1 = new QComboBox(this);
  place(DriveComboBox1, "DriveComboBox1", QRect(16, 14, 300, 26));
  DirectoryListBox1 = new QListWidget(this);
  place(DirectoryListBox1, "DirectoryListBox1", QRect(16, 46, 300, 250));
  Label1 = makeLabel(this, "Label1", QRect(16, 300, 596, 22), QString());
  Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
  BitBtn1 = makeButton(this, "BitBtn1", QRect(16, 330, 140, 32), QStringLiteral("Принять"));
  makeLabel(this, "Label3", QRect(336, 14, 276, 26), QStringLiteral("Каталог, введенный вручную:"));
  Edit1 = new QLineEdit(this);
  place(Edit1, "Edit1", QRect(336, 46, 190, 28));
  Edit1->setMaxLength(SettingsFile::kMaxDirectory);
  BitBtn3 = makeButton(this, "BitBtn3", QRect(532, 44, 80, 32), QStringLiteral("Принять"));
  Label2 = makeLabel(this, "Label2", QRect(336, 96, 276, 60),
                     QStringLiteral("Примечание.  Выбранный каталог должен содержать список объектов"),
                     Qt::AlignLeft | Qt::AlignTop);
  Label2->setWordWrap(true);
  BitBtn2 = makeButton(this, "BitBtn2", QRect(472, 330, 140, 32), QStringLiteral("Выход"));
  for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn3}) b->setAutoDefault(false);

  DriveComboBox1->addItems(roots());
  connect(DriveComboBox1, &QComboBox::activated, this, [this](int) { DriveComboBox1Change(); });
  connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* i) { DirectoryListBox1DblClick(DirectoryListBox1->row(i)); });
  connect(BitBtn1, &QPushButton::clicked, this, &TFormDir_List::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TFormDir_List::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TFormDir_List::BitBtn3Click);
}

void TFormDir_List::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormDir_List::FormShow() {
  if (!fsys::isDirectory(settings_.treeDirectory())) settings_.setTreeDirectory(dataFolder_ + "REPORT");
  openDirectory(settings_.treeDirectory());
  Edit1->setText(toQ(settings_.typedDirectory()));
}

void TFormDir_List::openDirectory(const std::string& cp1251Dir) {
  QString dir = nativeDir(toQ(cp1251Dir));
  if (!QDir(dir).exists()) dir = DriveComboBox1->count() > 0 ? DriveComboBox1->itemText(0) : QDir::rootPath();
  current_ = fromQ(dir).value_or(std::string{});
  // The drive is the longest root the directory lies on.
  int best = -1;
  for (int i = 0; i < DriveComboBox1->count(); ++i) {
    const QString r = DriveComboBox1->itemText(i);
    if (dir.startsWith(r, Qt::CaseInsensitive) &&
        (dir.size() == r.size() || r.endsWith(QDir::separator()) || dir.at(r.size()) == QDir::separator()) &&
        (best < 0 || r.size() > DriveComboBox1->itemText(best).size())) {
      best = i;
    }
  }
  if (best >= 0) DriveComboBox1->setCurrentIndex(best);
  fillTree();
}

void TFormDir_List::fillTree() {
  DirectoryListBox1->clear();
  const QString dir = toQ(current_);
  // The path from the root down to the current directory, then its subdirectories.
  QStringList parts = QDir::fromNativeSeparators(dir).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString path = QDir::rootPath();
#ifdef _WIN32
  if (!parts.isEmpty()) path = parts.takeFirst() + QLatin1Char('/');
#endif
  int depth = 0;
  const auto add = [&](const QString& text, const QString& full, int level) {
    auto* item = new QListWidgetItem(QString(level * 2, QLatin1Char(' ')) + text, DirectoryListBox1);
    item->setData(Qt::UserRole, nativeDir(full));
  };
  add(nativeDir(path), path, depth++);
  for (const QString& p : parts) {
    path = QDir(path).filePath(p);
    add(p, path, depth++);
  }
  DirectoryListBox1->setCurrentRow(DirectoryListBox1->count() - 1);
  if (const auto entries = fsys::listDirectory(current_)) {
    std::vector<std::string> subdirs;
    for (const auto& e : *entries) {
      if (e.attributes == fsys::kAttrDirectory) subdirs.push_back(e.name);
    }
    std::sort(subdirs.begin(), subdirs.end());
    for (const auto& s : subdirs) add(toQ(s), QDir(dir).filePath(toQ(s)), depth);
  }
  Label1->setText(dir);
}

void TFormDir_List::DriveComboBox1Change() {
  openDirectory(fromQ(DriveComboBox1->currentText()).value_or(""));
}

void TFormDir_List::DirectoryListBox1DblClick(int row) {
  const QListWidgetItem* item = DirectoryListBox1->item(row);
  if (!item) return;
  if (const auto dir = fromQ(item->data(Qt::UserRole).toString())) openDirectory(*dir);
}

bool TFormDir_List::storable(const std::string& dir) {
  if (dir.size() > SettingsFile::kMaxDirectory) {
    ui_.message(cp1251::text("Путь к каталогу длиннее 299 символов: выберите каталог с более коротким путем"),
                cp1251::text(kTitle));
    return false;
  }
  return true;
}

void TFormDir_List::BitBtn1Click() {
  if (current_.empty()) {
    ui_.message(cp1251::text("Путь к каталогу содержит символы, которых нет в кодировке Windows-1251"),
                cp1251::text(kTitle));
    return;
  }
  if (!storable(current_)) return;
  settings_.setTreeDirectory(current_);
  browse_.ActiveLocalDirectory = LocalDirectory::Tree;
  Accepted = true;
  accept();
}

void TFormDir_List::BitBtn3Click() {
  const auto typed = fromQ(Edit1->text());
  if (!typed) {
    ui_.message(cp1251::text("Путь к каталогу содержит символы, которых нет в кодировке Windows-1251"),
                cp1251::text(kTitle));
    Edit1->setFocus();
    return;
  }
  if (!storable(*typed)) return;
  settings_.setTypedDirectory(*typed);
  browse_.ActiveLocalDirectory = LocalDirectory::Typed;
  Accepted = true;
  accept();
}

void TFormDir_List::BitBtn2Click() {
  Accepted = false;
  reject();
}
