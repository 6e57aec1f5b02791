// The object-creation dialog: its controls, their handlers and the checks of "Создать"; the tree itself
// is made in ObjectTree.cpp.

#include "provision/Object_create.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Main.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/Text.h"
#include "settings/Conn_par.h"

namespace {

constexpr size_t kMaxName = 49;

bool latinOrDigit(QChar c) {
  return isDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
         (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

QComboBox* list(QWidget* parent, const char* name, const QRect& r, int first, int last) {
  auto* b = new QComboBox(parent);
  place(b, name, r);
  for (int i = first; i <= last; ++i) b->addItem(QString::number(i));
  b->setCurrentIndex(-1);
  return b;
}

}  // namespace

TFormObject_Create::TFormObject_Create(TFormMain& main) : QDialog(&main), main_(main) {
  setObjectName(QStringLiteral("FormObject_Create"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  setWindowTitle(
      QStringLiteral(" Создание на FTP-сервере каталогов объекта для чтения/записи контроллером ostra-ps"));
  build();
  FormCreate();
}

void TFormObject_Create::build() {
  auto* panel = new QFrame(this);
  place(panel, "Panel1", QRect(0, 0, 824, 412));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setAutoFillBackground(true);
  QPalette grey = panel->palette();
  grey.setColor(QPalette::Window, QColor(211, 211, 211));
  panel->setPalette(grey);
  makeLabel(panel, "Label1", QRect(16, 16, 200, 24), QStringLiteral("Наименование FTP-сервера"));
  ComboBox1 = new QComboBox(panel);
  place(ComboBox1, "ComboBox1", QRect(220, 16, 300, 24));
  BitBtn3 = makeButton(panel, "BitBtn3", QRect(540, 14, 260, 28), QStringLiteral("Новое FTP-соединение"));
  makeLabel(panel, "Label2", QRect(16, 54, 200, 24), QStringLiteral("Наименование объекта"));
  ComboBox3 = new QComboBox(panel);
  place(ComboBox3, "ComboBox3", QRect(220, 54, 300, 24));
  Edit1 = new QLineEdit(panel);
  place(Edit1, "Edit1", QRect(540, 54, 260, 24));
  Edit1->setMaxLength(static_cast<int>(kMaxName));
  filterTypedKeys(Edit1, latinOrDigit);
  makeLabel(panel, "Label3", QRect(16, 92, 200, 24), QStringLiteral("Количество вычислителей"));
  ComboBox2 = list(panel, "ComboBox2", QRect(220, 92, 80, 24), 1, 8);

  GroupBox6 = new QGroupBox(QStringLiteral(" Вычислители "), panel);
  place(GroupBox6, "GroupBox6", QRect(16, 128, 792, 200));
  makeLabel(GroupBox6, "Label4", QRect(10, 46, 120, 34), QStringLiteral("Номер группы\nадресов"));
  makeLabel(GroupBox6, "Label5", QRect(10, 96, 120, 24), QStringLiteral("Адрес"));
  makeLabel(GroupBox6, "Label6", QRect(10, 140, 120, 24), QStringLiteral("Кол. ниток"));
  for (int i = 0; i < kColumns; ++i) {
    const int x = 134 + i * 81;
    const std::string k = std::to_string(i + 1);
    n[i] = makeLabel(GroupBox6, ("n" + k).c_str(), QRect(x, 20, 74, 22),
                     QString::fromStdString(" №" + k + " "), Qt::AlignCenter);
    g[i] = list(GroupBox6, ("g" + k).c_str(), QRect(x, 50, 74, 24), 0, 7);
    a[i] = list(GroupBox6, ("a" + k).c_str(), QRect(x, 96, 74, 24), 1, 254);
    a[i]->setEditable(true);
    a[i]->setInsertPolicy(QComboBox::NoInsert);
    a[i]->lineEdit()->setMaxLength(3);
    a[i]->setCurrentIndex(-1);
    a[i]->setProperty("Tag", i);
    g[i]->setProperty("Tag", i);
    r[i] = list(GroupBox6, ("r" + k).c_str(), QRect(x, 140, 74, 24), 1, 3);
    r[i]->setProperty("Tag", i);
  }
  BitBtn1 = makeButton(panel, "BitBtn1", QRect(520, 350, 136, 32), QStringLiteral("Создать"));
  BitBtn2 = makeButton(panel, "BitBtn2", QRect(666, 350, 136, 32), QStringLiteral("Отменить"));
  for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn3}) b->setAutoDefault(false);

  connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Click(); });
  connect(ComboBox3, &QComboBox::activated, this, [this](int) { ComboBox3Click(); });
  connect(ComboBox2, &QComboBox::activated, this, [this](int) { ComboBox2Click(); });
  connect(BitBtn1, &QPushButton::clicked, this, &TFormObject_Create::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TFormObject_Create::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TFormObject_Create::BitBtn3Click);
}

void TFormObject_Create::FormCreate() {
  // Each column's controls know their column through their Tag.
  for (int i = 0; i < kColumns; ++i) {
    n[i]->setEnabled(false);
    QComboBox* box = findChild<QComboBox*>(QStringLiteral("a%1").arg(i + 1));
    const int column = box->property("Tag").toInt();
    connect(box, &QComboBox::activated, this, [this, column](int) { adrClick(column); });
    connect(box->lineEdit(), &QLineEdit::editingFinished, this, [this, column] { adrExit(column); });
    filterTypedKeys(box->lineEdit(), isDigit);
    box->setEnabled(false);
    connect(r[i], &QComboBox::activated, this, [this, i](int) { runClick(i); });
    r[i]->setEnabled(false);
    connect(g[i], &QComboBox::activated, this, [this, i](int) { grClick(i); });
    g[i]->setEnabled(false);
  }
  ComboBox1->clear();
  ConnectionItem.fill(-1);
  const SettingsFile& s = main_.Settings;
  for (int i = 0; i < s.connectionCount(); ++i) {
    if (s.record(i).accessMode() != Access::ObjectList) continue;
    ComboBox1->addItem(toQ(s.record(i).name()));
    ConnectionItem[i] = ComboBox1->count() - 1;
  }
  ComboBox1->setCurrentIndex(-1);
  SelectedConnection = 0;
  TargetObjectName.clear();
  ComputerCount = 0;
  Computers.fill({});
  Created = false;
  CreatedObjectName.clear();
  BitBtn3->setEnabled(s.connectionCount() < SettingsFile::kMaxConnections);
}

void TFormObject_Create::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormObject_Create::FormShow() {
  setFixedSize(824, 412);
  const SettingsFile& s = main_.Settings;
  if (main_.Browse.Connected && s.connectionCount() > 0 && s.current().accessMode() == Access::ObjectList) {
    InitialConnection = static_cast<uint8_t>(s.currentConnection());
    ComboBox1->setCurrentIndex(ConnectionItem[InitialConnection]);
  } else {
    InitialConnection = kNoConnection;
    ComboBox1->setCurrentIndex(-1);
  }
  ComboBox1Click();
}

void TFormObject_Create::ComboBox1Click() {
  const int item = ComboBox1->currentIndex();
  if (item < 0) {
    ComboBox3->setEnabled(false);
    return;
  }
  for (int i = 0; i < static_cast<int>(ConnectionItem.size()); ++i) {
    if (ConnectionItem[i] == item) SelectedConnection = static_cast<uint8_t>(i);
  }
  setWindowTitle(toQ(cp1251::text("Создание на FTP-сервере \"") +
                     main_.Settings.record(SelectedConnection).name() +
                     cp1251::text("\" каталогов объекта для чтения/записи контроллером ostra-ps")));
  ComboBox3->clear();
  Edit1->clear();
  if (SelectedConnection == InitialConnection) {
    // The objects the main window lists for this connection, then "Новый объект".
    // A server without objects shows one blank row: then only "Новый объект" is offered, and chosen.
    const TStringGrid* objects = main_.StringGrid1;
    const bool none = objects->rowCount() == 1 && objects->cell(0, 0).empty();
    ObjectRowCount = none ? 0 : objects->rowCount();
    ComboBox3->setEnabled(true);
    for (int row = 0; row < ObjectRowCount; ++row) ComboBox3->addItem(toQ(objects->cell(0, row)));
    ComboBox3->addItem(QStringLiteral("Новый объект"));
    Edit1->setEnabled(false);
    ComboBox3->setCurrentIndex(none ? ObjectRowCount : objects->row());
    if (none) ComboBox3Click();
  } else {
    ObjectRowCount = 0;
    ComboBox3->setEnabled(false);
    Edit1->setEnabled(true);
    Edit1->setFocus();
  }
}

void TFormObject_Create::ComboBox3Click() {
  Edit1->clear();
  const int item = ComboBox3->currentIndex();
  if (item < 0) return;
  if (item == ObjectRowCount) {
    Edit1->setEnabled(true);
    Edit1->setFocus();
  } else {
    Edit1->setEnabled(false);
    ComboBox2->setFocus();
  }
}

void TFormObject_Create::ComboBox2Click() {
  ComputerCount = static_cast<uint8_t>(ComboBox2->currentIndex() + 1);
  for (int i = 0; i < kColumns; ++i) {
    const bool on = i < ComputerCount;
    for (QWidget* w : {static_cast<QWidget*>(n[i]), static_cast<QWidget*>(a[i]), static_cast<QWidget*>(g[i]),
                       static_cast<QWidget*>(r[i])}) {
      w->setEnabled(on);
    }
    const ComputerEntry& c = Computers[i];
    a[i]->setCurrentIndex(on ? c.address - 1 : -1);
    if (!on || c.address == 0) a[i]->setEditText(QString());
    g[i]->setCurrentIndex(on ? c.group : -1);
    r[i]->setCurrentIndex(on ? c.lines - 1 : -1);
  }
}

bool TFormObject_Create::readAddress(int column, int& value) {
  const QString t = a[column]->currentText();
  const auto v = text::parseInteger(t.toStdString());
  if (!v) {
    main_.ui.errorBox("'" + fromQ(t).value_or(t.toStdString()) + "' is not a valid integer value");
    return false;
  }
  value = *v;
  return true;
}

void TFormObject_Create::adrClick(int column) {
  int v = 0;
  if (!a[column]->currentText().isEmpty() && readAddress(column, v)) {
    Computers[column].address = static_cast<uint8_t>(v);
  }
}

void TFormObject_Create::adrExit(int column) {
  adrClick(column);
}

void TFormObject_Create::grClick(int column) {
  if (g[column]->currentIndex() >= 0)
    Computers[column].group = static_cast<uint8_t>(g[column]->currentIndex());
}

void TFormObject_Create::runClick(int column) {
  if (r[column]->currentIndex() >= 0)
    Computers[column].lines = static_cast<uint8_t>(r[column]->currentIndex() + 1);
}

void TFormObject_Create::BitBtn3Click() {
  SettingsFile& s = main_.Settings;
  const int count = s.connectionCount();
  if (count >= SettingsFile::kMaxConnections) return;
  ConnectionRecord record = ConnectionRecord::blank();
  if (!editConnection(record, TFormConn_Par::New, s, -1, main_.Ftp.tlsFile(), main_.ui, this)) return;
  s.setRecord(count, record);
  if (record.accessMode() == Access::ObjectList) {
    ComboBox1->addItem(toQ(record.name()));
    ConnectionItem[count] = ComboBox1->count() - 1;
    ComboBox1->setCurrentIndex(ConnectionItem[count]);
  }
  s.setConnectionCount(count + 1);
  s.save(main_.SettingsPath);  // a file that cannot be written is not reported
  BitBtn3->setEnabled(s.connectionCount() < SettingsFile::kMaxConnections);
  ComboBox1Click();
}

void TFormObject_Create::refuse(const char* text) {
  refuse(cp1251::text(text));
}

void TFormObject_Create::refuse(const std::string& text) {
  main_.ui.message(text, cp1251::text(kInputError));
}

void TFormObject_Create::BitBtn1Click() {
  if (ComboBox1->currentIndex() < 0) return refuse("Не введено наименование FTP-сервера");
  if (Edit1->isEnabled()) {
    if (Edit1->text().isEmpty()) return refuse("Не введено наименование объекта");
    // Only Latin letters and digits can be typed; a pasted name is held to the same rule.
    for (const QChar c : Edit1->text()) {
      if (!latinOrDigit(c))
        return refuse("Наименование объекта может содержать только латинские буквы и цифры");
    }
    TargetObjectName = Edit1->text().toStdString();
  } else {
    TargetObjectName = fromQ(ComboBox3->currentText()).value_or(std::string{});
    // A blank row of the object list names nothing: never "MKD <login directory>/".
    if (TargetObjectName.empty()) return refuse("Не введено наименование объекта");
  }
  if (TargetObjectName.size() > kMaxName) return refuse("Наименование объекта длиннее 49 символов");
  // The main window's rule for a name that becomes a local folder: NUL, COM1 and the like name devices.
  if (!fsys::safeName(TargetObjectName)) {
    return refuse(cp1251::text("Наименование объекта \"") + TargetObjectName +
                  cp1251::text("\" не может быть именем папки"));
  }
  if (ComboBox2->currentIndex() < 0) return refuse("Не введено количество вычислителей");
  for (int i = 0; i < ComputerCount; ++i) {
    if (g[i]->currentIndex() < 0 || a[i]->currentText().isEmpty() || r[i]->currentIndex() < 0)
      return refuse("Введены не все параметры");
    int address = 0;
    if (!readAddress(i, address)) return;
    if (address < 1 || address > 254) return refuse("Адрес вычислителя должен быть в диапазоне 1...254");
    Computers[i] = {static_cast<uint8_t>(address), static_cast<uint8_t>(g[i]->currentIndex()),
                    static_cast<uint8_t>(r[i]->currentIndex() + 1)};
  }
  setEnabled(false);
  failure_.reset();
  const bool made = [&] {
    WaitCursor wait(main_.ui);
    return createTree();
  }();
  // Messages come with the dialog enabled and the normal cursor back.
  setEnabled(true);
  if (!made) {
    if (failure_) main_.ui.message(failure_->text, failure_->title);
    return;
  }
  Created = true;
  CreatedObjectName = TargetObjectName;
  main_.ui.message(cp1251::text("Создание каталогов объекта завершено"));
  accept();
}

void TFormObject_Create::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TFormObject_Create::FormClose() {
  if (Created) return;
  CreatedObjectName.clear();
  if (InitialConnection != kNoConnection) main_.Settings.setCurrentConnection(InitialConnection);
}

void TFormObject_Create::BitBtn2Click() {
  reject();
}
