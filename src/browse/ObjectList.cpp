// The two source choices of the main menu (an FTP server from the connection list, or a local folder)
// and the object list they fill.

#include <QApplication>

#include <algorithm>
#include <limits>
#include <vector>

#include "app/Main.h"
#include "browse/Dir_list.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/OnUnwind.h"
#include "settings/Conn_list.h"

namespace {

const char* kPlainCaption = " Просмотр/печать  отчетов";

}  // namespace

void TFormMain::N_ServListClick() {
  if (RefreshRequest()) {
    setRefreshRequest(false);  // only rebuild the object list of the current connection
  } else {
    bool opened;
    {
      TFormConn_List list(Settings, SettingsPath, Ftp, ui, this);
      list.exec();
      opened = list.Opened;
    }
    update();
    if (!opened) {
      if (Browse.Connected) return;  // the previous session is still open: nothing changes
      ServerClosed();
      return;
    }
    ServerOpened();
  }
  ListServerObjects({});
}

void TFormMain::ServerOpened() {
  Browse.SourceMode = Source::Ftp;
  ClearBrowse(true, true);
  Browse.clearSelection();
  setCaption(cp1251::text(kPlainCaption));
}

void TFormMain::ServerClosed() {
  ClearBrowse(true, true);
  setCaption(cp1251::text(kPlainCaption));
}

void TFormMain::ListServerObjects(const std::string& object) {
  Panel1->setEnabled(false);
  const OnUnwind usable([this] { LeaveUsable(); });
  WaitCursor wait(ui);
  bool haveBase = Ftp.FtpGetCurrentDirectory(Ftp.ConnectionHandle, Browse.BaseDirectory);
  if (!haveBase) {
    ui.pause(1000);
    haveBase = Ftp.FtpGetCurrentDirectory(Ftp.ConnectionHandle, Browse.BaseDirectory);
  }
  if (!haveBase) {
    wait.release();
    Ftp.FtpClose();
    Panel1->setEnabled(true);
    ui.message(cp1251::text("Не удалось войти в основной каталог"));
    return;
  }
  ConnectionRecord record = Settings.current();
  setCaption(cp1251::text(" Просмотр/печать  отчетов:  FTP-сервер \"") + record.name() + "\"");
  Browse.ListFilling = true;
  Browse.CurrentDirectory = Browse.BaseDirectory;

  if (record.accessMode() == Access::ObjectDirectory) {
    // The login directory is the directory of one object.
    StringGrid1->setRowCount(1);
    StringGrid1->setCell(0, 0, Browse.ObjectNameKnown ? Browse.ObjectName : Browse.BaseDirectory);
  } else {
    int attempts = 2;
    for (;;) {
      const int r = ListObjects();
      if (r == 0) break;
      if (r == 2) {
        wait.release();
        EnableFilledGrids();
        Panel1->setEnabled(true);
        BitBtn2->setEnabled(true);
        Browse.ListFilling = false;
        return;
      }
      if (--attempts > 0 && Ftp.FtpReconnect()) continue;
      wait.release();
      ui.message(cp1251::text("Не выполнено подсоединение к файловой системе"));
      Ftp.FtpClose();
      ClearBrowse(true, true);
      setCaption(cp1251::text(kPlainCaption));
      Panel1->setEnabled(true);
      Browse.ListFilling = false;
      return;
    }
  }

  // The row to select: the object asked for, by name after a rebuild that asked for it, else the row
  // remembered for this connection (0 when the list has become shorter).
  int row;
  const int asked = object.empty() ? -1 : StringGrid1->findRow(0, object);
  if (asked >= 0) {
    row = asked;
    record.setLastObjectRow(row);
  } else if (Browse.ReselectByName) {
    row = StringGrid1->findRow(0, Browse.ObjectName);
    if (row < 0) row = StringGrid1->rowCount() - 1;
    record.setLastObjectRow(row);
  } else {
    if (record.lastObjectRow() < 0 || record.lastObjectRow() >= StringGrid1->rowCount())
      record.setLastObjectRow(0);
    row = record.lastObjectRow();
  }
  Settings.setRecord(Settings.currentConnection(), record);
  StringGrid1->selectRow(row);
  StringGrid1->viewport()->update();
  Browse.ListFilling = false;
  StringGrid1Click();
  Panel1->setEnabled(true);
  BitBtn2->setEnabled(true);
  StringGrid1->setFocus();  // the arrow keys go on from the chosen object
}

void TFormMain::N_DirListClick() {
  bool accepted;
  std::string label;
  {
    TFormDir_List dialog(Settings, Browse, DataFolder, ui, this);
    dialog.exec();
    accepted = dialog.Accepted;
    label = dialog.currentDirectory();
  }
  update();
  if (!accepted) return;
  TypedRoot = fsys::absolutePath(Settings.typedDirectory(), StartDirectory);
  Browse.SourceMode = Source::LocalFolder;
  ClearBrowse(true, true);
  setCaption(cp1251::text(kPlainCaption));
  Panel1->setEnabled(false);
  const OnUnwind usable([this] { LeaveUsable(); });
  int r;
  {
    WaitCursor wait(ui);
    r = ListObjects();
  }
  if (r == 1) {
    ui.message(cp1251::text("Не удалось войти в выбранный каталог"));
  } else if (r == 2) {
    ui.message(cp1251::text("Не найдены каталоги объектов"));
  } else {
    StringGrid1->selectRow(0);
    StringGrid1Click();
    const std::string& dir =
        Browse.ActiveLocalDirectory == LocalDirectory::Typed ? Settings.typedDirectory() : label;
    setCaption(cp1251::text(" Просмотр/печать  отчетов:  каталог \"") + dir + "\"");
  }
  Panel1->setEnabled(true);
  if (r == 0) StringGrid1->setFocus();
}

std::string TFormMain::activeLocalDirectory() const {
  switch (Browse.ActiveLocalDirectory) {
    case LocalDirectory::Tree:
      return Settings.treeDirectory();
    case LocalDirectory::Typed:
      return TypedRoot;
    case LocalDirectory::None:
      break;
  }
  return {};
}

int TFormMain::ListObjects() {
  // The names first, then the list sized once and filled: growing it row by row costs seconds for a
  // million objects.
  std::vector<std::string> names;
  const auto add = [&](const std::string& name) { names.push_back(name); };
  if (Browse.SourceMode == Source::Ftp) {
    const auto listed = Ftp.ForEachEntry("*.*", FindBuffer, [&](const ftp::FindData& e) {
      if (e.attributes == ftp::kAttrDirectory && e.name != "." && e.name != "..") add(e.name);
      return true;
    });
    if (listed != FtpSession::Listing::Listed) return listed == FtpSession::Listing::Empty ? 2 : 1;
  } else {
    const std::string dir = activeLocalDirectory();
    if (Browse.ActiveLocalDirectory == LocalDirectory::None || !fsys::setCurrentDirectory(dir)) return 1;
    const auto entries = fsys::listDirectory(dir);
    if (!entries) return 1;
    for (const auto& e : *entries) {
      if (e.attributes == fsys::kAttrDirectory) add(e.name);
    }
  }
  StringGrid1->viewport()->update();
  if (names.empty()) return 2;
  const int count = static_cast<int>(std::min<size_t>(names.size(), std::numeric_limits<int>::max()));
  StringGrid1->setRowCount(count);
  for (int row = 0; row < count; ++row) StringGrid1->setCell(0, row, names[static_cast<size_t>(row)]);
  return 0;
}
