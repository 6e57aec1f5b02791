// The object click and the refresh: the flow computers and lines of the chosen object, the alarm time,
// and the hand-over to the gas parameters and the report catalogue.

#include <algorithm>
#include <cstdio>

#include "app/Main.h"
#include "browse/ReportNames.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/OnUnwind.h"
#include "core/ReportKind.h"

namespace {

bool startsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

const char* kLinkLost = "Связь с сервером прервана";
const char* kRefreshFailed = "Неудачная попытка обновления данных";

}  // namespace

void TFormMain::StringGrid1Click() {
  const int row = StringGrid1->row();
  if (Browse.ListFilling || row < 0 || StringGrid1->cell(0, row).empty()) return;
  const ConnectionRecord record = Settings.current();
  const bool ftpMode = Browse.SourceMode == Source::Ftp;
  const bool objectMode = ftpMode && record.accessMode() == Access::ObjectDirectory;
  if (ftpMode) {
    ConnectionRecord r = record;
    r.setLastObjectRow(row);
    Settings.setRecord(Settings.currentConnection(), r);
  }
  const KeepFocus focus(this);
  const OnUnwind usable([this] { LeaveUsable(); });
  WaitCursor wait(ui);
  const FtpSession::Action action(Ftp);
  if (!objectMode) {
    const std::string name = StringGrid1->cell(0, row);
    // A name from the server or the disk becomes part of local paths (cache, local folder): one that
    // could leave them is never used.
    if (!fsys::safeName(name)) {
      // Nothing of the object chosen before stays beside the refused row.
      ClearBrowse(false, true);
      Browse.ComputerDir.clear();
      EnableFilledGrids();
      wait.release();
      ui.message(cp1251::text("Имя объекта \"") + name +
                 cp1251::text("\" не может быть именем папки: объект не выбран"));
      return;
    }
    Browse.ObjectName = name;
    Browse.ObjectNameKnown = true;
    if (ftpMode) Browse.ObjectPath = ftp::joinPath(Browse.BaseDirectory, Browse.ObjectName);
  } else {
    Browse.ObjectPath = Browse.BaseDirectory;
  }
  if (Browse.ObjectNameKnown) {
    Browse.GasParFileName = Browse.ObjectName + "-gaspar.txt";
    Browse.AlarmFileName = Browse.ObjectName + "-alarm.txt";
  }
  BitBtn1->setEnabled(false);
  if (!Browse.Refreshing) {
    ClearBrowse(false, true);
    StringGrid1->setEnabled(false);
    CurrentReportGrid = nullptr;
    for (TStringGrid* g : reportGrids()) g->setCurrentCell(std::max(g->currentRow(), 0), 0);
  }
  const auto endQuietly = [&] {
    wait.release();
    EnableFilledGrids();
  };
  // The nothing-found ending. A refresh rewrites the lists in place: an object without lines must not
  // keep the lines and reports of the object shown before.
  const auto endWithoutLines = [&] {
    if (Browse.Refreshing) {
      StringGrid2->clearColumn(0);
      StringGrid2->setRowCount(1);
      for (TStringGrid* g : reportGrids()) {
        g->clearColumn(1);
        g->setRowCount(1);
      }
      CurrentReportGrid = nullptr;
    }
    endQuietly();
    BitBtn1->setEnabled(record.accessMode() == Access::ObjectList);
  };
  if (ftpMode) {
    Browse.CurrentDirectory = Browse.ObjectPath;
    // The object directory and its gas-parameter file at once; the lines' reports follow in the line click.
    // The last one starts first where connections are few: the gas file, whose transfer is the longest.
    std::vector<FtpSession::Ahead> ahead{{FtpSession::Ahead::Kind::Listing, Browse.ObjectPath}};
    if (Browse.ObjectNameKnown) {
      timesAhead(ahead);
      ahead.push_back(
          {FtpSession::Ahead::Kind::File, ftp::joinPath(Browse.ObjectPath, Browse.GasParFileName)});
    }
    Ftp.FetchAhead(ahead);
    int r = ListComputers();
    if (r == 1) r = Ftp.FtpReconnect() ? ListComputers() : 1;
    if (r == 1) {
      endQuietly();
      ui.message(cp1251::text(kLinkLost));
      return;
    }
    if (r == 2) return endWithoutLines();
    if (objectMode && !Browse.ObjectNameKnown) {
      if (FindObjectName() == 1 && !Ftp.FtpReconnect()) {
        endQuietly();
        ui.message(cp1251::text(kLinkLost));
        return;
      }
    }
    if (!Browse.ObjectNameKnown) {
      endQuietly();
      return;
    }
  } else {
    Browse.CurrentDirectory = activeLocalDirectory() + fsys::kSeparator + Browse.ObjectName;
    if (ListComputers() == 2) return endWithoutLines();
  }
  StringGrid2->selectRow(LineToChoose());
  StringGrid2Click();
  BitBtn1->setEnabled(record.accessMode() == Access::ObjectList);
}

// The alarm and gas-parameter times are shown to the second, as the server's fullest listing gives them.
void TFormMain::timesAhead(std::vector<FtpSession::Ahead>& ahead) const {
  for (const std::string* name : {&Browse.AlarmFileName, &Browse.GasParFileName})
    ahead.push_back({FtpSession::Ahead::Kind::Time, ftp::joinPath(Browse.ObjectPath, *name)});
}

// The line an object click chooses: the first, or on a refresh the one chosen before.
int TFormMain::LineToChoose() const {
  return Browse.Refreshing ? std::max(StringGrid2->findRow(0, SavedComputerDir), 0) : 0;
}

// Enters CurrentDirectory; after a refusal once more, 200 ms later.
bool TFormMain::enterCurrentDirectory() {
  if (Ftp.FtpSetCurrentDirectory(Ftp.ConnectionHandle, Browse.CurrentDirectory)) return true;
  ui.pause(200);
  return Ftp.FtpSetCurrentDirectory(Ftp.ConnectionHandle, Browse.CurrentDirectory);
}

int TFormMain::ListComputers() {
  int count = 0;
  const auto add = [&](const std::string& name) {
    StringGrid2->setCell(0, count++, name);
  };  // grows the list
  if (Browse.SourceMode == Source::Ftp) {
    if (!enterCurrentDirectory()) return 1;
    bool alarm = false;
    const auto listed = Ftp.ForEachEntry("*.*", FindBuffer, [&](const ftp::FindData& e) {
      if (e.attributes == ftp::kAttrDirectory) {
        if (e.name != "." && e.name != ".." && isComputerDirectory(e.name)) add(e.name);
      } else if (Browse.ObjectNameKnown && startsWith(e.name, Browse.AlarmFileName) && e.lastWriteValid) {
        Panel3->setText(QString::fromLatin1(formats::listedTime(e.lastWrite).c_str()));
        BitBtn3->setEnabled(true);
        alarm = true;
      }
      return true;
    });
    if (listed == FtpSession::Listing::Failed) return 1;
    if (listed == FtpSession::Listing::Empty) {
      Label19->setText(toQ(cp1251::text("Нет данных")));
      BitBtn3->setEnabled(false);  // no alarm file either, also when a refresh came from another object
      for (QLabel* l : {static_cast<QLabel*>(Panel3), static_cast<QLabel*>(pn1), static_cast<QLabel*>(pn2),
                        static_cast<QLabel*>(pn3), static_cast<QLabel*>(pn4), static_cast<QLabel*>(Panel6)}) {
        l->clear();
      }
      return 2;
    }
    if (!alarm) Panel3->setText(toQ(cp1251::text("Нет сообщений")));
    // The line the click goes on to is listed while the gas file comes.
    // (Rows past count are left from before.)
    const int line = LineToChoose();
    if (count > 0 && Browse.ObjectNameKnown) FetchLineAhead(StringGrid2->cell(0, line < count ? line : 0));
    if (Browse.ObjectNameKnown) ReadGasParameters();
  } else {
    const auto entries = fsys::setCurrentDirectory(Browse.CurrentDirectory)
                             ? fsys::listDirectory(Browse.CurrentDirectory)
                             : std::nullopt;
    bool alarm = false;
    for (const auto& e : entries.value_or(std::vector<fsys::DirEntry>{})) {
      if (e.attributes == fsys::kAttrDirectory && isComputerDirectory(e.name)) add(e.name);
      if (!(e.attributes & fsys::kAttrDirectory) && e.name == Browse.AlarmFileName) {
        if (const auto t = fsys::localTime(e.lastWrite)) {
          Panel3->setText(toQ(formats::formatDateTime(*t)));
          BitBtn3->setEnabled(true);
          alarm = true;
        }
      }
    }
    if (!alarm) Panel3->setText(toQ(cp1251::text("Нет сообщений")));
    ReadGasParameters();
  }
  StringGrid2->viewport()->update();
  if (count == 0) return 2;
  StringGrid2->setRowCount(count);
  return 0;
}

int TFormMain::FindObjectName() {
  bool found = false;
  for (int row = 0; row < StringGrid2->rowCount() && !found; ++row) {
    Browse.ComputerDir = StringGrid2->cell(0, row);
    if (Browse.ComputerDir.empty()) continue;
    for (const ReportKind kind : kReportKinds) {
      if (found) break;
      const int entered = Ftp.EnterKindDirectory(kind);
      if (entered == 2) return 2;
      if (entered == 1) continue;
      // A folder that cannot be listed is passed over like one without a report.
      (void)Ftp.ForEachEntry("*.*", FindBuffer, [&](const ftp::FindData& e) {
        if (e.attributes == ftp::kAttrDirectory) return true;
        const auto part = objectNamePart(e.name, Browse.ComputerDir, kind);
        if (!part) return true;
        const std::string& name = *part;
        // A name that could not be a folder name (a path in the file name) is not an object name.
        if (!usableObjectName(name)) {
          ui.message(cp1251::text("Имя объекта \"") + name +
                     cp1251::text("\" не может быть именем папки: объект не выбран"));
          return true;
        }
        Browse.ObjectName = name;
        Browse.ObjectNameKnown = true;
        StringGrid1->setCell(0, 0, name);
        found = true;
        return false;
      });
    }
  }
  if (!found) return 0;
  Browse.GasParFileName = Browse.ObjectName + "-gaspar.txt";
  Browse.AlarmFileName = Browse.ObjectName + "-alarm.txt";
  Browse.CurrentDirectory = Browse.ObjectPath;
  std::vector<FtpSession::Ahead> times;
  timesAhead(times);
  Ftp.FetchAhead(times);
  if (!enterCurrentDirectory()) return 1;
  bool alarm = false;
  const auto firstAlarm = [&](const ftp::FindData& e) {
    if (e.attributes == ftp::kAttrDirectory || !startsWith(e.name, Browse.AlarmFileName) || !e.lastWriteValid)
      return true;
    Panel3->setText(QString::fromLatin1(formats::listedTime(e.lastWrite).c_str()));
    BitBtn3->setEnabled(true);
    alarm = true;
    return false;
  };
  // Opened once more at once after a failure; an object directory without entries has no alarm file.
  if (Ftp.ForEachEntry("*.*", FindBuffer, firstAlarm) == FtpSession::Listing::Failed &&
      Ftp.ForEachEntry("*.*", FindBuffer, firstAlarm) == FtpSession::Listing::Failed) {
    return 1;
  }
  if (!alarm) Panel3->setText(toQ(cp1251::text("Нет сообщений")));
  ReadGasParameters();
  return 0;
}

void TFormMain::BitBtn2Click() {
  const KeepFocus focus(this);
  setEnabled(false);
  const OnUnwind usable([this] { LeaveUsable(); });
  WaitCursor wait(ui);
  const FtpSession::Action action(Ftp);
  SavedObjectName = Browse.ObjectName;
  SavedComputerDir = Browse.ComputerDir;
  // Connection probe: enter the login directory and list it.
  const auto probe = [&] {
    if (!Ftp.FtpSetCurrentDirectory(Ftp.ConnectionHandle, Browse.CurrentDirectory)) return false;
    return Ftp.ForEachEntry("*.*", FindBuffer, [](const ftp::FindData&) { return false; }) !=
           FtpSession::Listing::Failed;
  };
  Browse.CurrentDirectory = Browse.BaseDirectory;
  if (!probe() && !(Ftp.FtpReconnect() && probe())) {
    wait.release();
    ui.message(cp1251::text(kRefreshFailed));
    setEnabled(true);
    return;
  }
  Browse.Refreshing = true;
  const auto finish = [&] {
    Browse.Refreshing = false;
    setEnabled(true);
    wait.release();
  };
  const ConnectionRecord record = Settings.current();
  if (record.accessMode() == Access::ObjectDirectory) {
    StringGrid1->setRowCount(1);
    StringGrid1->setCell(0, 0, Browse.ObjectNameKnown ? Browse.ObjectName : Browse.BaseDirectory);
  } else {
    int r = ListObjects();
    if (r == 1) {
      r = Ftp.FtpReconnect() ? ListObjects() : 1;
    } else if (r == 2) {
      r = ListObjects();
    }
    if (r != 0) {
      finish();
      ui.message(cp1251::text(kRefreshFailed));
      return;
    }
  }
  if (record.accessMode() == Access::ObjectDirectory && !Browse.ObjectNameKnown) {
    Browse.ObjectPath = Browse.BaseDirectory;
    if (FindObjectName() == 1 && !Ftp.FtpReconnect()) {
      finish();
      ui.message(cp1251::text(kLinkLost), cp1251::text(kRefreshFailed));
      return;
    }
  }
  if (!Browse.ObjectNameKnown) {
    finish();
    return;
  }
  StringGrid1->selectRow(std::max(StringGrid1->findRow(0, SavedObjectName), 0));
  StringGrid1Click();
  finish();
}
