#include "settings/Conn_par.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "core/Text.h"
#include "core/Ui.h"
#include "settings/TlsFile.h"

namespace {

const char* kInputError = "Ошибка ввода параметров";
// The names of the TLS choices, in the order of ftp::TlsMode.
const char* const kTlsChoices[] = {"Нет", "TLS, если сервер предлагает", "Только TLS"};

QLineEdit* makeEdit(QWidget* parent, const char* name, int y, int maxLength) {
  auto* e = new QLineEdit(parent);
  place(e, name, QRect(190, y, 200, 26));
  e->setMaxLength(maxLength);
  return e;
}

}  // namespace

TFormConn_Par::TFormConn_Par(ConnectionRecord& buffer, uint8_t editMode, Ui& ui, QWidget* parent)
    : QDialog(parent), EditMode(editMode), buffer_(buffer), ui_(ui) {
  setObjectName(QStringLiteral("FormConn_Par"));
  setWindowTitle(QString());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setFixedSize(420, 424);

  const struct {
    const char* name;
    const char* caption;
    int y;
  } labels[] = {{"Label1", "Имя соединения", 24},    {"Label2", "IP адрес", 64},
                {"Label3", "Номер порта", 104},      {"Label4", "Имя пользователя", 144},
                {"Label5", "Пароль на доступ", 184}, {"Label6", "Доступ", 226},
                {"Label7", "Шифрование", 284}};
  for (const auto& l : labels) makeLabel(this, l.name, QRect(24, l.y, 160, 26), QString::fromUtf8(l.caption));
  Edit1 = makeEdit(this, "Edit1", 24, 49);
  Edit3 = makeEdit(this, "Edit3", 64, 49);
  Edit2 = makeEdit(this, "Edit2", 104, 5);
  filterTypedKeys(Edit2, isDigit);  // the port: digits only
  Edit9 = makeEdit(this, "Edit9", 144, 49);
  Edit5 = makeEdit(this, "Edit5", 184, 49);
  Edit5->setEchoMode(QLineEdit::Password);
  RadioButton1 = new QRadioButton(QStringLiteral("Каталог списка объектов"), this);
  place(RadioButton1, "RadioButton1", QRect(190, 222, 220, 24));
  RadioButton2 = new QRadioButton(QStringLiteral("Каталог объекта"), this);
  place(RadioButton2, "RadioButton2", QRect(190, 250, 220, 24));
  RadioButton1->setChecked(true);
  ComboBoxTls = new QComboBox(this);
  place(ComboBoxTls, "ComboBoxTls", QRect(190, 284, 200, 26));
  for (const char* choice : kTlsChoices) ComboBoxTls->addItem(QString::fromUtf8(choice));
  Label8 = makeLabel(this, "Label8", QRect(24, 314, 372, 36),
                     QStringLiteral("Шифрование общее для всех соединений с тем же сервером, портом и "
                                    "пользователем"));
  Label8->setWordWrap(true);
  BitBtn1 = makeButton(this, "BitBtn1", QRect(80, 368, 120, 32), QStringLiteral("Принять"));
  BitBtn2 = makeButton(this, "BitBtn2", QRect(220, 368, 120, 32), QStringLiteral("Отменить"));
  BitBtn1->setAutoDefault(false);
  BitBtn2->setAutoDefault(false);
  connect(BitBtn1, &QPushButton::clicked, this, &TFormConn_Par::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TFormConn_Par::BitBtn2Click);
}

void TFormConn_Par::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormConn_Par::FormShow() {
  record_ = buffer_;
  if (EditMode == New) {
    for (QLineEdit* e : {Edit1, Edit3, Edit2, Edit9, Edit5}) e->clear();
    RadioButton1->setChecked(true);
    Tls = ftp::TlsMode::None;
  } else {
    Edit1->setText(EditMode == Change ? toQ(record_.name()) : QString());
    Edit3->setText(toQ(record_.host()));
    Edit2->setText(QString::number(record_.port()));
    Edit9->setText(toQ(record_.user()));
    Edit5->setText(toQ(record_.password()));
    (record_.accessMode() == Access::ObjectDirectory ? RadioButton2 : RadioButton1)->setChecked(true);
  }
  ComboBoxTls->setCurrentIndex(static_cast<int>(Tls));
  if (EditMode != Change) Edit1->setFocus();
}

void TFormConn_Par::BitBtn1Click() {
  for (QLineEdit* e : {Edit1, Edit3, Edit2, Edit9, Edit5}) {
    if (e->text().isEmpty()) {
      ui_.message(cp1251::text("Введены не все параметры"), cp1251::text(kInputError));
      return;
    }
  }
  // Texts the settings file cannot hold are refused, never stored with replaced characters.
  const struct {
    QLineEdit* edit;
    const char* field;
  } fields[] = {{Edit1, "Имя соединения"},
                {Edit3, "IP адрес"},
                {Edit9, "Имя пользователя"},
                {Edit5, "Пароль на доступ"}};
  std::string values[4];
  for (int i = 0; i < 4; ++i) {
    const auto v = fromQ(fields[i].edit->text());
    if (!v) {
      ui_.message(cp1251::text("Поле \"") + cp1251::text(fields[i].field) +
                      cp1251::text("\" содержит символы, которых нет в кодировке Windows-1251"),
                  cp1251::text(kInputError));
      fields[i].edit->setFocus();
      return;
    }
    values[i] = text::trimBlanks(*v);
  }
  const std::string portText = Edit2->text().toStdString();
  const auto port = text::parseInteger(portText);
  if (!port) {
    ui_.errorBox("'" + cp1251::fromUtf8(portText).value_or(portText) + "' is not a valid integer value");
    return;
  }
  if (*port < 1 || *port > 65535) {
    ui_.message(cp1251::text("Номер порта должен быть в диапазоне 1...65535"), cp1251::text(kInputError));
    Edit2->setFocus();
    return;
  }
  // Bytes 204..303 (the remembered row and the reserved bytes) keep the copied record's values.
  ConnectionRecord edited = record_;
  if (!edited.setName(values[0]) || !edited.setHost(values[1]) || !edited.setUser(values[2]) ||
      !edited.setPassword(values[3])) {
    ui_.message(cp1251::text("Поле не может быть длиннее 49 символов"), cp1251::text(kInputError));
    return;
  }
  edited.setPort(static_cast<int32_t>(*port));
  edited.setAccessMode(RadioButton2->isChecked() ? Access::ObjectDirectory : Access::ObjectList);
  const auto tls = static_cast<ftp::TlsMode>(ComboBoxTls->currentIndex());
  if (ConfirmTls && !ConfirmTls(edited, tls)) return;
  record_ = edited;
  buffer_ = record_;
  Tls = tls;
  Accepted = true;
  accept();
}

void TFormConn_Par::BitBtn2Click() {
  Accepted = false;
  reject();
}

bool editConnection(ConnectionRecord& record, TFormConn_Par::Mode mode, const SettingsFile& settings, int row,
                    TlsFile* tls, Ui& ui, QWidget* parent) {
  const TlsFile::Key before = TlsFile::keyOf(record);
  TFormConn_Par par(record, mode, ui, parent);
  if (tls && mode != TFormConn_Par::New) par.Tls = tls->entry(before).mode;
  if (tls) {
    par.ConfirmTls = [&](const ConnectionRecord& edited, ftp::TlsMode chosen) {
      const TlsFile::Key key = TlsFile::keyOf(edited);
      const ftp::TlsMode shared = tls->entry(key).mode;
      const auto others = TlsFile::recordsWith(settings, key, row);
      if (chosen == shared || others.empty()) return true;
      std::string names;
      for (const int i : others)
        names +=
            (names.empty() ? "" : ", ") + cp1251::text("«") + settings.record(i).name() + cp1251::text("»");
      const std::string question =
          cp1251::text(
              "Шифрование задается для сервера, порта и пользователя, а не для одного соединения. "
              "Его же используют соединения: ") +
          names + cp1251::text(".\n\nЗаменить «") + cp1251::text(kTlsChoices[static_cast<int>(shared)]) +
          cp1251::text("» на «") + cp1251::text(kTlsChoices[static_cast<int>(chosen)]) +
          cp1251::text("» для всех этих соединений?");
      if (ui.ask(question, cp1251::text("Шифрование"), chosen < shared ? Ui::Answer::No : Ui::Answer::Yes))
        return true;
      par.ComboBoxTls->setCurrentIndex(static_cast<int>(shared));  // what applies to them stays shown
      return false;
    };
  }
  par.exec();
  if (!par.Accepted || !tls) return par.Accepted;
  // The choice is kept for the accepted server, port and user; a pinned key stays with its server.
  const TlsFile::Key after = TlsFile::keyOf(record);
  TlsEntry entry = tls->entry(after);
  entry.mode = par.Tls;
  if (mode == TFormConn_Par::Change && after != before && TlsFile::recordsWith(settings, before, row).empty())
    tls->remove(before);
  tls->set(after, entry);
  (void)tls->save();  // as the settings file: a file that cannot be written is not reported
  return true;
}
