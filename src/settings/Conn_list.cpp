#include "settings/Conn_list.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "core/Ui.h"
#include "net/Ftp_fun.h"
#include "settings/Conn_par.h"
#include "settings/TlsFile.h"

TFormConn_List::TFormConn_List(SettingsFile& settings, std::string settingsPath, FtpSession& ftp, Ui& ui,
                               QWidget* parent)
    : QDialog(parent), settings_(settings), settingsPath_(std::move(settingsPath)), ftp_(ftp), ui_(ui) {
  setObjectName(QStringLiteral("FormConn_List"));
  setWindowTitle(QStringLiteral(" Соединение с FTP- сервером"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setFixedSize(468, 346);

  Panel1 = new QFrame(this);
  place(Panel1, "Panel1", QRect(0, 0, 468, 346));
  Label1 = makeLabel(Panel1, "Label1", QRect(16, 10, 240, 22), QStringLiteral("Соединиться с"));
  StringGrid1 = new TStringGrid(Panel1, "StringGrid1", QRect(16, 36, 246, 290), {222});
  StringGrid1->verticalHeader()->setDefaultSectionSize(23);
  StringGrid1->verticalHeader()->setMinimumSectionSize(23);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  StringGrid1->setRowCount(0);
  const struct {
    QPushButton** button;
    const char* name;
    const char* caption;
  } buttons[] = {{&BitBtn1, "BitBtn1", "Соединиться"}, {&BitBtn2, "BitBtn2", "Создать новое"},
                 {&BitBtn3, "BitBtn3", "Копировать"},  {&BitBtn4, "BitBtn4", "Изменить"},
                 {&BitBtn5, "BitBtn5", "Удалить"},     {&BitBtn6, "BitBtn6", "Отмена"}};
  int y = 36;
  for (const auto& b : buttons) {
    *b.button = makeButton(Panel1, b.name, QRect(288, y, 160, 34), QString::fromUtf8(b.caption));
    (*b.button)->setAutoDefault(false);
    y += b.button == &BitBtn5 ? 70 : 44;
  }
  connect(BitBtn1, &QPushButton::clicked, this, &TFormConn_List::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TFormConn_List::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TFormConn_List::BitBtn3Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TFormConn_List::BitBtn4Click);
  connect(BitBtn5, &QPushButton::clicked, this, &TFormConn_List::BitBtn5Click);
  connect(BitBtn6, &QPushButton::clicked, this, &TFormConn_List::BitBtn6Click);
  connect(StringGrid1, &TStringGrid::rowChosen, this, &TFormConn_List::StringGrid1Click);
  connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { StringGrid1DblClick(row); });
}

void TFormConn_List::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormConn_List::FormShow() {
  SelectedRow = settings_.currentConnection();
  FillList();
}

void TFormConn_List::FillList() {
  const int n = settings_.connectionCount();
  StringGrid1->setRowCount(n);
  for (int i = 0; i < n; ++i) StringGrid1->setCell(0, i, "  " + settings_.record(i).name());
  if (n > 0) StringGrid1->selectRow(SelectedRow);
  UpdateButtons();
}

void TFormConn_List::UpdateButtons() {
  const int n = settings_.connectionCount();
  BitBtn1->setEnabled(n > 0);
  BitBtn4->setEnabled(n > 0);
  BitBtn5->setEnabled(n > 0);
  BitBtn3->setEnabled(n > 0 && n < SettingsFile::kMaxConnections);
  BitBtn2->setEnabled(n < SettingsFile::kMaxConnections);
}

void TFormConn_List::StringGrid1Click(int row) {
  if (row >= 0 && row < settings_.connectionCount()) SelectedRow = row;
}

void TFormConn_List::StringGrid1DblClick(int row) {
  StringGrid1Click(row);
  if (BitBtn1->isEnabled()) BitBtn1Click();
}

void TFormConn_List::BitBtn1Click() {
  if (settings_.connectionCount() == 0) return;
  ftp_.FtpClose();  // the current session is always closed first
  settings_.setCurrentConnection(SelectedRow);
  settings_.save(settingsPath_);
  Panel1->setEnabled(false);
  if (ftp_.FtpOpen()) {
    Opened = true;
    accept();
    return;
  }
  Panel1->setEnabled(true);
}

bool TFormConn_List::editRecord(TFormConn_Par::Mode mode) {
  return editConnection(EditBuffer, mode, settings_, mode == TFormConn_Par::Change ? SelectedRow : -1,
                        ftp_.tlsFile(), ui_, this);
}

void TFormConn_List::appendEdited() {
  const int n = settings_.connectionCount();
  settings_.setRecord(n, EditBuffer);
  SelectedRow = n;
  settings_.setConnectionCount(n + 1);
  settings_.save(settingsPath_);
  FillList();
}

void TFormConn_List::BitBtn2Click() {
  if (settings_.connectionCount() >= SettingsFile::kMaxConnections) return;
  // A new record starts as 304 zero bytes.
  EditBuffer = ConnectionRecord::blank();
  if (editRecord(TFormConn_Par::New)) appendEdited();
}

void TFormConn_List::BitBtn3Click() {
  const int n = settings_.connectionCount();
  if (n == 0 || n >= SettingsFile::kMaxConnections) return;
  EditBuffer = settings_.record(SelectedRow);
  if (editRecord(TFormConn_Par::Copy)) appendEdited();
}

void TFormConn_List::BitBtn4Click() {
  if (settings_.connectionCount() == 0) return;
  EditBuffer = settings_.record(SelectedRow);
  if (!editRecord(TFormConn_Par::Change)) return;
  settings_.setRecord(SelectedRow, EditBuffer);
  settings_.save(settingsPath_);
  FillList();
}

void TFormConn_List::BitBtn5Click() {
  const int n = settings_.connectionCount();
  if (n == 0) return;
  if (!ui_.ask(cp1251::text("Удалить FTP-соединение из списка?"), settings_.record(SelectedRow).name(),
               Ui::Answer::Yes))
    return;
  // The records after the deleted one move up; every slot after the last record is zero bytes.
  std::array<ConnectionRecord, SettingsFile::kMaxConnections> table;
  table.fill(ConnectionRecord::blank());
  int k = 0;
  for (int i = 0; i < n; ++i) {
    if (i != SelectedRow) table[k++] = settings_.record(i);
  }
  const int deleted = SelectedRow;
  const int current = settings_.currentConnection();
  if (SelectedRow > 0) --SelectedRow;
  settings_.setConnectionCount(n - 1);
  // An open session belongs to the current record: reconnects, the remembered object row and the access
  // mode are read from it. It stays current where the deletion moved it; when the operator deleted it, the
  // session ends (the main window is cleared when the list closes without a new connection).
  if (!ftp_.isOpen() || deleted == current) {
    ftp_.FtpClose();
    settings_.setCurrentConnection(SelectedRow);
  } else if (deleted < current) {
    settings_.setCurrentConnection(current - 1);
  }
  const TlsFile::Key dropped = TlsFile::keyOf(settings_.record(deleted));
  for (int i = 0; i < SettingsFile::kMaxConnections; ++i) settings_.setRecord(i, table[i]);
  settings_.save(settingsPath_);
  if (TlsFile* tls = ftp_.tlsFile(); tls && TlsFile::recordsWith(settings_, dropped, -1).empty()) {
    tls->remove(dropped);
    (void)tls->save();
  }
  FillList();
}

void TFormConn_List::BitBtn6Click() {
  Opened = false;
  reject();
}
