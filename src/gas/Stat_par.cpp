#include "gas/Stat_par.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Main.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/Text.h"
#include "gas/GasFile.h"

TFormStat_Par::TFormStat_Par(TFormMain& main) : QDialog(&main), main_(main) {
  setObjectName(QStringLiteral("FormStat_Par"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  auto* panel = new QFrame(this);
  place(panel, "Panel1", QRect(0, 0, 706, 202));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setAutoFillBackground(true);
  QPalette grey = panel->palette();
  grey.setColor(QPalette::Window, QColor(211, 211, 211));
  panel->setPalette(grey);
  // Density and N2 on the left, CO2 and pressure on the right; each with its name, range and unit.
  const auto field = [&](const char* name, int x, int y, const char* title, const char* range,
                         const char* unit) {
    makeLabel(panel, (std::string(name) + "Title").c_str(), QRect(x, y, 150, 24), QString::fromUtf8(title));
    auto* e = new QLineEdit(panel);
    place(e, name, QRect(x + 150, y, 100, 24));
    makeLabel(panel, (std::string(name) + "Unit").c_str(), QRect(x + 256, y, 70, 24),
              QString::fromUtf8(unit));
    makeLabel(panel, (std::string(name) + "Range").c_str(), QRect(x + 150, y + 26, 120, 20),
              QString::fromUtf8(range));
    return e;
  };
  Edit1 = field("Edit1", 16, 16, "Плотность", "(0.66...1.05)", "кг/м3");
  Edit3 = field("Edit3", 16, 80, "Содержание N2", "(0...15)", "%");
  Edit2 = field("Edit2", 360, 16, "Содержание CO2", "(0...15)", "%");
  Edit4 = field("Edit4", 360, 80, "Атм. давл.", "(630...800)", "мм рт.ст.");
  BitBtn1 = makeButton(panel, "BitBtn1", QRect(420, 150, 130, 32), QStringLiteral("Записать"));
  BitBtn2 = makeButton(panel, "BitBtn2", QRect(560, 150, 130, 32), QStringLiteral("Отменить"));
  connect(BitBtn1, &QPushButton::clicked, this, &TFormStat_Par::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TFormStat_Par::BitBtn2Click);
  FormCreate();
}

void TFormStat_Par::FormCreate() {
  ParametersWritten = false;
}

void TFormStat_Par::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormStat_Par::FormShow() {
  setFixedSize(706, 202);
  setWindowTitle(
      toQ(cp1251::text(" Объект \"") + main_.Browse.ObjectName + cp1251::text("\".  Параметры газа")));
}

void TFormStat_Par::BitBtn1Click() {
  Ui& ui = main_.ui;
  const QLineEdit* edits[] = {Edit1, Edit2, Edit3, Edit4};
  for (const QLineEdit* e : edits) {
    if (e->text().isEmpty()) return ui.message(cp1251::text("Введены не все параметры"));
  }
  float values[4];
  for (int i = 0; i < 4; ++i) {
    const std::string typed = edits[i]->text().toStdString();
    const auto v = text::parseDecimal(typed);
    if (!v) {
      return ui.errorBox("'" + cp1251::fromUtf8(typed).value_or(typed) +
                         "' is not a valid floating point value");
    }
    values[i] = static_cast<float>(*v);
  }
  const GasParameters p{values[0], values[1], values[2], values[3]};
  if (!gas::inRange(p))
    return ui.message(cp1251::text("    Значения параметров\r\nвне допустимого диапазона "));
  const std::string content = gas::composeFile(p);
  setEnabled(false);
  std::string failure;
  {
    WaitCursor wait(ui);
    failure = main_.Browse.SourceMode == Source::Ftp ? storeOnServer(content) : storeLocally(content);
  }
  // The message comes with the dialog enabled and the normal cursor back.
  setEnabled(true);
  if (!failure.empty()) return ui.message(failure);
  ParametersWritten = true;
  accept();
}

std::string TFormStat_Par::storeOnServer(const std::string& content) {
  FtpSession& ftp = main_.Ftp;
  BrowseState& browse = main_.Browse;
  const std::string& name = browse.GasParFileName;
  // The new content goes to the server under a name of this write's own first, then replaces the file in
  // one rename: two copies of the program storing into one folder never meet in one temporary file.
  const std::string temp = fsys::temporaryName();
  browse.CurrentDirectory = browse.ObjectPath;
  if (!ftp.FtpSetCurrentDirectory(ftp.ConnectionHandle, browse.CurrentDirectory)) {
    const uint32_t first = ftp.GetLastError();
    if (!ftp.FtpReconnect() || !ftp.FtpSetCurrentDirectory(ftp.ConnectionHandle, browse.CurrentDirectory)) {
      return cp1251::text(
          first == ftp::kErrorInternetExtendedError
              ? "Файл параметров газа не записан.\r\nНе удалось войти в каталог объекта"
              : "Файл параметров газа не записан.\r\nНе удалось восстановить связь с сервером");
    }
  }
  // The whole content under the temporary name, with one reconnect and a second attempt whatever the
  // reason (a refusal, a dropped connection, 421). A file the server never began to take is the file
  // that could not be opened; one it began to take and did not confirm is the write that failed.
  using Upload = FtpSession::WholeUpload;
  Upload r = ftp.WriteWholeFile(temp, content);
  if (r != Upload::Written && ftp.FtpReconnect()) r = ftp.WriteWholeFile(temp, content);
  if (r != Upload::Written) {
    if (ftp.isOpen()) (void)ftp.FtpDeleteFile(ftp.ConnectionHandle, temp);  // a partial upload, if any
    return cp1251::text(r == Upload::OpenFailed ? "Неудачная попытка открытия файла "
                                                : "Неудачная попытка записи файла ") +
           name;
  }
  // One rename replaces the old file: the controllers find the old file or the new one, whole.
  if (!ftp.FtpRenameFile(ftp.ConnectionHandle, temp, name)) {
    if (ftp.isOpen()) (void)ftp.FtpDeleteFile(ftp.ConnectionHandle, temp);
    return cp1251::text("Неудачная попытка записи файла ") + name;
  }
  return {};
}

std::string TFormStat_Par::storeLocally(const std::string& content) {
  const BrowseState& browse = main_.Browse;
  const std::string path = main_.activeLocalDirectory() + fsys::kSeparator + browse.ObjectName +
                           fsys::kSeparator + browse.GasParFileName;
  // Text mode as the controllers' tools write it (CR CR LF), and whole or not at all.
  if (fsys::writeFileAtomic(path, fsys::textModeWrite(content), false)) return {};
  return cp1251::text("Неудачная попытка записи файла ") + browse.GasParFileName;
}

void TFormStat_Par::BitBtn2Click() {
  reject();
}
