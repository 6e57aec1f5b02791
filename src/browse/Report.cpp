// A click on a report date: the report's file fetched from the server (with its copy in the local
// report cache) or read from the local folder, and shown in the viewer.

#include "app/Main.h"
#include "browse/ReportNames.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/ReportKind.h"
#include "view/Rep_view.h"

namespace {

std::string notRead(const std::string& fileName) {
  return cp1251::text("Файл отчета ") + fileName + cp1251::text(" не прочитан");
}

bool connectionLost(uint32_t error) {
  return error == ftp::kErrorInternetTimeout || error == ftp::kErrorInternetConnectionAborted;
}

}  // namespace

void TFormMain::ReportListClick(ReportKind kind) {
  TStringGrid* g = reportGrids()[kindIndex(kind)];
  const int row = g->currentRow();
  if (row < 0 || g->currentColumn() == 0 || Browse.Refreshing) return;
  const std::string entry = g->cell(1, row);
  if (entry.empty()) return;
  // The previous list's highlight moves into its hidden column.
  if (CurrentReportGrid && CurrentReportGrid != g) {
    CurrentReportGrid->setCurrentCell(std::max(CurrentReportGrid->currentRow(), 0), 0);
    CurrentReportGrid->viewport()->update();
  }
  CurrentReportGrid = g;
  const bool lastRow = row == g->rowCount() - 1;
  const auto name = reportFileName(entry, kind, Browse.ObjectName, Browse.ComputerDir);
  if (!name) return;
  if (Browse.SourceMode == Source::LocalFolder) {
    OpenLocalReport(*name, kind);
    return;
  }
  ReportFetchResult r = FetchReport(*name, kind, lastRow);
  if (r != ReportFetchResult::FetchDone && r != ReportFetchResult::FetchTooLarge) {
    // The hourly list always reconnects before its second attempt; the others only after a lost
    // connection, and try again at once after any other failure.
    const bool reconnect = kind == ReportKind::Hourly || connectionLost(Ftp.GetLastError());
    if (!reconnect || Ftp.FtpReconnect()) r = FetchReport(*name, kind, lastRow);
  }
  switch (r) {
    case ReportFetchResult::FetchDone:
      break;
    case ReportFetchResult::FetchNoDirectory:
      ui.message(cp1251::text("Не удалось войти в каталог"), notRead(*name));
      break;
    case ReportFetchResult::FetchConnectionLost:
      ui.message(cp1251::text("Не удалось восстановить связь с сервером"), notRead(*name));
      break;
    case ReportFetchResult::FetchReadFailed:
      ui.message(notRead(*name));
      break;
    case ReportFetchResult::FetchTooLarge:
      ui.message(TooLargeMessage(*name));
      break;
  }
}

std::string TFormMain::TooLargeMessage(const std::string& fileName) {
  return cp1251::text("Файл ") + fileName + cp1251::text(" больше 256 МБ и не может быть показан");
}

TFormMain::ReportFetchResult TFormMain::FetchReport(const std::string& fileName, ReportKind kind,
                                                    bool lastRow) {
  WaitCursor wait(ui);
  const FtpSession::Action action(Ftp);
  Ftp.FetchAhead({{FtpSession::Ahead::Kind::File, ftp::joinPath(Ftp.KindDirectory(kind), fileName)}});
  const int entered = Ftp.EnterKindDirectory(kind);
  if (entered == 1) return ReportFetchResult::FetchNoDirectory;
  if (entered != 0) return ReportFetchResult::FetchConnectionLost;

  const std::string folder = ReportCacheFolder(kind);

  std::string text;
  switch (Ftp.ReadWholeFile(fileName, text)) {
    case FtpSession::WholeFile::OpenFailed:
      return connectionLost(Ftp.GetLastError()) ? ReportFetchResult::FetchConnectionLost
                                                : ReportFetchResult::FetchReadFailed;
    case FtpSession::WholeFile::ReadFailed:
      return ReportFetchResult::FetchReadFailed;  // only a whole file is a report
    case FtpSession::WholeFile::TooLarge:
      return ReportFetchResult::FetchTooLarge;
    case FtpSession::WholeFile::Empty:
      wait.release();
      ui.message(lastRow ? cp1251::text("Длина файла ") + fileName +
                               cp1251::text(" равна нулю.\r\n Возможно, выполняется запись отчета")
                         : cp1251::text("Длина файла ") + fileName + cp1251::text(" равна нулю."));
      return ReportFetchResult::FetchDone;
    case FtpSession::WholeFile::Read:
      break;
  }
  // Whole or not at all; a copy that cannot be written does not keep the report from the operator.
  fsys::writeFileAtomic(folder + fsys::kSeparator + fileName, text, false);
  wait.release();
  ShowReport(fileName, text, kind);
  return ReportFetchResult::FetchDone;
}

void TFormMain::OpenLocalReport(const std::string& fileName, ReportKind kind) {
  WaitCursor wait(ui);
  const std::string path = LocalKindFolder(kind) + fsys::kSeparator + fileName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fsys::nativePath(path), ec)) {
    wait.release();
    ui.message(cp1251::text("Не найден файл"), notRead(fileName));
    return;
  }
  const auto bytes = fsys::readFile(path, ftp::kMaxDownloadBytes);
  if (!bytes || bytes->size() >= ftp::kMaxDownloadBytes) {
    wait.release();
    ui.message(notRead(fileName));
    return;
  }
  if (bytes->empty()) {
    wait.release();
    ui.message(cp1251::text("Длина файла отчета ") + fileName + cp1251::text(" равна 0"));
    return;
  }
  // Text mode: CR LF arrives as LF, so the viewer gets fewer bytes than the file holds.
  const std::string text = fsys::textModeRead(*bytes);
  wait.release();
  ShowReport(fileName, text, kind);
}

void TFormMain::ShowReport(const std::string& fileName, const std::string& text, ReportKind kind) {
  TFormRep_View view(this);
  view.FileName = fileName;
  view.Text = text.c_str();
  view.TextLength = static_cast<int32_t>(text.size());
  view.Kind = kind;
  view.exec();
}

std::string TFormMain::LocalKindFolder(ReportKind kind) const {
  const char sep = fsys::kSeparator;
  return activeLocalDirectory() + sep + Browse.ObjectName + sep + Browse.ComputerDir + sep +
         std::string(kindCode(kind));
}

std::string TFormMain::ReportCacheFolder() {
  const std::string folder = DataFolder + "REPORT" + fsys::kSeparator + Browse.ObjectName;
  fsys::createDirectory(folder);
  return folder;
}

std::string TFormMain::ReportCacheFolder(ReportKind kind) {
  std::string folder = ReportCacheFolder() + fsys::kSeparator + Browse.ComputerDir;
  fsys::createDirectory(folder);
  folder += fsys::kSeparator + std::string(kindCode(kind));
  fsys::createDirectory(folder);
  return folder;
}
