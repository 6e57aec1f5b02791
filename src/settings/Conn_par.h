#pragma once
// The connection parameter dialog: edits one saved connection (change, copy or new).

#include <QDialog>

#include <cstdint>
#include <functional>

#include "net/FtpTls.h"
#include "settings/SettingsFile.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QLabel;
class QRadioButton;
class TlsFile;
class Ui;

class TFormConn_Par : public QDialog {
  Q_OBJECT
 public:
  enum Mode : uint8_t { Change = 0, Copy = 1, New = 2 };

  // buffer: the caller's record; it is written only when the dialog is accepted.
  TFormConn_Par(ConnectionRecord& buffer, uint8_t editMode, Ui& ui, QWidget* parent = nullptr);

  uint8_t EditMode;  // 0 = change, 1 = copy, 2 = new
  bool Accepted = false;
  // The connection's TLS: set by the caller before the dialog shows (a new record starts without),
  // the operator's choice once it is accepted.
  ftp::TlsMode Tls = ftp::TlsMode::None;
  // Asked on "Принять" once the fields are right, with the edited record and TLS choice; false keeps
  // the dialog open (may be empty).
  std::function<bool(const ConnectionRecord&, ftp::TlsMode)> ConfirmTls;

  QLineEdit* Edit1;            // "Имя соединения", at most 49 characters
  QLineEdit* Edit3;            // "IP адрес", at most 49 characters
  QLineEdit* Edit2;            // "Номер порта", at most 5 characters, digits only
  QLineEdit* Edit9;            // "Имя пользователя", at most 49 characters
  QLineEdit* Edit5;            // "Пароль на доступ", at most 49 characters, shown as "*"
  QRadioButton* RadioButton1;  // "Каталог списка объектов"
  QRadioButton* RadioButton2;  // "Каталог объекта"
  QComboBox* ComboBoxTls;      // "Шифрование": none, TLS when the server offers it, TLS required
  QLabel* Label8;              // that the choice is shared by the records of one server, port and user
  QPushButton* BitBtn1;        // "Принять"
  QPushButton* BitBtn2;        // "Отменить"

  void FormShow();
  void BitBtn1Click();
  void BitBtn2Click();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  ConnectionRecord& buffer_;
  ConnectionRecord record_;  // the private copy being edited
  Ui& ui_;
  bool shown_ = false;
};

// The parameter dialog as every caller runs it, on record (row: its index in settings when it is
// changed, -1 for a copy or a new record), with the "Шифрование" choice read from tls and kept there
// once accepted (tls may be null: nothing is kept). The choice belongs to the server, port and user, as
// ftp_tls.ini keeps it, so the dialog says so, and a choice that would change it for other records of
// the list is asked first ("Нет" is the preset answer to a weaker one). True when accepted.
[[nodiscard]] bool editConnection(ConnectionRecord& record, TFormConn_Par::Mode mode,
                                  const SettingsFile& settings, int row, TlsFile* tls, Ui& ui,
                                  QWidget* parent);
