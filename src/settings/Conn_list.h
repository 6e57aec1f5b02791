#pragma once
// The connection list: shows the saved connections, opens one of them and lets the operator create,
// copy, change and delete entries. Every change is saved at once.

#include <QDialog>

#include <string>

#include "settings/Conn_par.h"
#include "settings/SettingsFile.h"

class FtpSession;
class QFrame;
class QLabel;
class QPushButton;
class TStringGrid;
class Ui;

class TFormConn_List : public QDialog {
  Q_OBJECT
 public:
  TFormConn_List(SettingsFile& settings, std::string settingsPath, FtpSession& ftp, Ui& ui,
                 QWidget* parent = nullptr);

  bool Opened = false;          // closed after a successful connection
  int SelectedRow = 0;          // index of the selected connection
  ConnectionRecord EditBuffer;  // the record handed to the parameter dialog

  QFrame* Panel1;            // holds every control; disabled while connecting
  QLabel* Label1;            // "Соединиться с"
  TStringGrid* StringGrid1;  // the connection names
  QPushButton* BitBtn1;      // "Соединиться"
  QPushButton* BitBtn2;      // "Создать новое"
  QPushButton* BitBtn3;      // "Копировать"
  QPushButton* BitBtn4;      // "Изменить"
  QPushButton* BitBtn5;      // "Удалить"
  QPushButton* BitBtn6;      // "Отмена"

  void FormShow();
  void FillList();
  void UpdateButtons();
  void StringGrid1Click(int row);
  void StringGrid1DblClick(int row);
  void BitBtn1Click();  // connect
  void BitBtn2Click();  // new
  void BitBtn3Click();  // copy
  void BitBtn4Click();  // change
  void BitBtn5Click();  // delete
  void BitBtn6Click();  // cancel

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // Runs the parameter dialog on EditBuffer; true when accepted.
  bool editRecord(TFormConn_Par::Mode mode);
  void appendEdited();

  SettingsFile& settings_;
  const std::string settingsPath_;
  FtpSession& ftp_;
  Ui& ui_;
  bool shown_ = false;
};
