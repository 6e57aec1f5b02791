// The main window's side of the station overview: the menu command, and the row an operator chooses
// there taken as a choice in the connection list and a click on the object.

#include <QApplication>

#include "app/Main.h"
#include "overview/Overview.h"

void TFormMain::N_OverviewClick() {
  if (!Overview) {
    Overview = new TFormOverview(*this);
    Overview->show();
    Overview->CheckClick();
    return;
  }
  Overview->show();
  Overview->raise();
  Overview->activateWindow();
  if (!Overview->Checking()) Overview->CheckClick();
}

void TFormMain::OpenStation(int record, const std::string& object) {
  // Another handler of this window is waiting for its server, or a dialog of it is open: the choice
  // would run inside it.
  if (Busy() || QApplication::activeModalWidget() || record < 0 || record >= Settings.connectionCount()) {
    QApplication::beep();
    return;
  }
  raise();
  activateWindow();
  // As the connection list's "Соединиться": the session closed first, the choice saved, then opened.
  Ftp.FtpClose();
  Settings.setCurrentConnection(record);
  Settings.save(SettingsPath);
  if (!Ftp.FtpOpen()) {  // it told the operator why
    ServerClosed();
    return;
  }
  ServerOpened();
  ListServerObjects(object);
}
