// "Создание объекта": the object's directory tree made on the server, and the menu command that runs the
// dialog and shows the new object selected.

#include <cstdio>

#include "app/Main.h"
#include "core/Cp1251.h"
#include "core/ReportKind.h"
#include "provision/Object_create.h"

namespace {

constexpr size_t kMaxPath = 99;

std::string computerDir(const ComputerEntry& c, int line) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "v%1d%03dn%1d", c.group, c.address, line);
  return buf;
}

}  // namespace

bool TFormObject_Create::createTree() {
  SettingsFile& s = main_.Settings;
  FtpSession& ftp = main_.Ftp;
  BrowseState& browse = main_.Browse;
  Ui& ui = main_.ui;
  s.setCurrentConnection(SelectedConnection);
  const bool other = s.currentConnection() != InitialConnection;
  if (browse.Connected && other) ftp.FtpClose();
  const auto noBase = [&] {
    if (other) ftp.FtpClose();
    return fail(cp1251::text("Не удалось войти в основной каталог"));
  };
  if (!browse.Connected) {
    if (!ftp.FtpOpen()) return false;
    bool base = ftp.FtpGetCurrentDirectory(ftp.ConnectionHandle, browse.BaseDirectory);
    if (!base) {
      ui.pause(1000);
      base = ftp.FtpGetCurrentDirectory(ftp.ConnectionHandle, browse.BaseDirectory);
    }
    if (!base) return noBase();
    browse.CurrentDirectory = browse.BaseDirectory;  // where the login left the session
  } else {
    browse.CurrentDirectory = browse.BaseDirectory;
    if (!ftp.FtpSetCurrentDirectory(ftp.ConnectionHandle, browse.BaseDirectory)) {
      ui.pause(1000);
      if (!ftp.FtpReconnect() || !ftp.FtpSetCurrentDirectory(ftp.ConnectionHandle, browse.BaseDirectory))
        return noBase();
    }
  }
  // The deepest path must fit before anything is made: nothing is cut.
  const std::string object = ftp::joinPath(browse.BaseDirectory, TargetObjectName);
  const std::string deepest = ftp::joinPath(ftp::joinPath(object, "v0000n0"), "chakr");
  if (deepest.size() > kMaxPath) {
    if (other) ftp.FtpClose();
    return fail(cp1251::text("Пути к каталогам объекта ") + object + cp1251::text(" длиннее 99 символов"),
                cp1251::text(kInputError));
  }
  entered_ = true;  // the login directory, entered or just logged in to
  known_.clear();
  // Every parent is known in advance: their listings are fetched at once (a run that makes nothing
  // needs no other answer; the first directory made drops the rest, as the server has changed).
  const FtpSession::Action action(ftp);
  std::vector<FtpSession::Ahead> parents{{FtpSession::Ahead::Kind::Listing, browse.BaseDirectory},
                                         {FtpSession::Ahead::Kind::Listing, object}};
  for (int i = 0; i < ComputerCount; ++i) {
    for (int line = 1; line <= Computers[i].lines; ++line) {
      parents.push_back(
          {FtpSession::Ahead::Kind::Listing, ftp::joinPath(object, computerDir(Computers[i], line))});
    }
  }
  ftp.FetchAhead(parents);
  bool ok = EnsureServerDirectory(browse.BaseDirectory, TargetObjectName);
  for (int i = 0; ok && i < ComputerCount; ++i) {
    for (int line = 1; ok && line <= Computers[i].lines; ++line) {
      const std::string dir = computerDir(Computers[i], line);
      ok = EnsureServerDirectory(object, dir);
      for (const ReportKind kind : kReportKinds) {
        if (ok) ok = EnsureServerDirectory(ftp::joinPath(object, dir), std::string(kindCode(kind)));
      }
    }
  }
  if (!ok && other) ftp.FtpClose();
  return ok;
}

bool TFormObject_Create::fail(std::string text, std::string title) {
  failure_ = Failure{std::move(text), std::move(title)};
  return false;
}

bool TFormObject_Create::EnsureServerDirectory(const std::string& parent, const std::string& name) {
  FtpSession& ftp = main_.Ftp;
  const std::string full = ftp::joinPath(parent, name);
  const auto failed = [&] { return fail(cp1251::text("Не удалось создать каталог ") + full); };
  auto known = known_.find(parent);
  if (known == known_.end()) {
    // The login directory was just entered; any other parent is entered here.
    if (main_.Browse.CurrentDirectory != parent || !entered_) {
      main_.Browse.CurrentDirectory = parent;
      if (!ftp.FtpSetCurrentDirectory(ftp.ConnectionHandle, parent)) return failed();
    }
    entered_ = true;
    std::set<std::string> dirs;
    ftp::FindData entry;
    // Only an entry that is exactly a directory, with exactly this name, counts.
    const auto listed = ftp.ForEachEntry("*.*", entry, [&](const ftp::FindData& e) {
      if (e.attributes == ftp::kAttrDirectory) dirs.insert(e.name);
      return true;
    });
    if (listed == FtpSession::Listing::Failed) dirs.clear();
    known = known_.emplace(parent, std::move(dirs)).first;
  }
  if (known->second.count(name)) return true;
  if (!ftp.FtpCreateDirectory(ftp.ConnectionHandle, full)) return failed();
  known->second.insert(name);
  known_[full];  // made by this run: known to be empty
  return true;
}

// --- The menu command.

void TFormMain::N1Click() {
  const bool wasConnected = Browse.Connected;
  const int wasCurrent = Settings.currentConnection();
  std::string created;
  {
    TFormObject_Create dialog(*this);
    dialog.exec();
    created = dialog.CreatedObjectName;
  }
  if (!created.empty()) {
    Browse.ObjectName = created;
    Browse.ReselectByName = true;
    Browse.SourceMode = Source::Ftp;  // the new object is on the server, whatever was shown before
    ClearBrowse(true, true);
    setCaption(cp1251::text(" Просмотр/печать  отчетов"));
    Browse.CurrentDirectory = Browse.BaseDirectory;
    if (enterCurrentDirectory()) {
      setRefreshRequest(true);
      N_ServListClick();
    } else {
      ui.message(cp1251::text("Не удалось войти в основной каталог"));
    }
    Browse.ReselectByName = false;
    return;
  }
  if (!wasConnected || (Browse.Connected && Settings.currentConnection() == wasCurrent)) return;
  // A window showing a local folder keeps showing it: rebuilding the list here would list that folder
  // under the server's caption, and the gas file would be written there.
  if (Browse.SourceMode != Source::Ftp) return;
  ClearBrowse(true, true);
  setCaption(cp1251::text(" Просмотр/печать  отчетов"));
  if (Ftp.FtpOpen()) {
    setRefreshRequest(true);
    N_ServListClick();
  }
}
