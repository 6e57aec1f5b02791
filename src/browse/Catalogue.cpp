// The line click: the five report lists of the chosen line.

#include <QApplication>

#include <algorithm>
#include <vector>

#include "app/Main.h"
#include "browse/ReportNames.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/OnUnwind.h"
#include "core/ReportKind.h"

namespace {

// Names in ascending order, so that the last row is the newest report whatever order the server or the
// file system lists in (the dates in the names have fixed widths).
void sortByName(std::vector<TFormMain::Listed>& files) {
  using Listed = TFormMain::Listed;
  std::stable_sort(files.begin(), files.end(),
                   [](const Listed& a, const Listed& b) { return a.name < b.name; });
}

}  // namespace

// The entry rule over the files of one kind folder, in ascending name order; the rows are added in one
// step rather than one by one.
void TFormMain::addEntries(ReportKind kind, std::vector<Listed>& files) {
  sortByName(files);
  const std::string search = Browse.FilePrefix + "-" + std::string(kindCode(kind));
  std::vector<std::string> texts;
  for (const auto& f : files) {
    if (auto entry = catalogueEntry(f.name, f.size, kind, search)) texts.push_back(std::move(*entry));
  }
  TStringGrid* g = reportGrids()[kindIndex(kind)];
  const int first = EntryCount[kindIndex(kind)];
  const int rows = first + static_cast<int>(texts.size());
  if (rows > g->rowCount()) g->setRowCount(rows);
  for (size_t i = 0; i < texts.size(); ++i) g->setCell(1, first + static_cast<int>(i), texts[i]);
  EntryCount[kindIndex(kind)] = rows;
}

void TFormMain::FetchLineAhead(const std::string& computerDir) {
  std::vector<FtpSession::Ahead> kinds;
  for (const ReportKind kind : kReportKinds)
    kinds.push_back({FtpSession::Ahead::Kind::Listing, Ftp.KindDirectory(kind, computerDir)});
  Ftp.FetchAhead(kinds);
}

void TFormMain::StringGrid2Click() {
  const int row = StringGrid2->row();
  if (row < 0 || StringGrid2->cell(0, row).empty()) return;
  const KeepFocus focus(this);
  StringGrid1->setEnabled(false);
  StringGrid2->setEnabled(false);
  const OnUnwind usable([this] { LeaveUsable(); });
  WaitCursor wait(ui);
  if (!Browse.Refreshing) ClearBrowse(false, false);
  CurrentReportGrid = nullptr;
  for (TStringGrid* g : reportGrids()) {
    g->setCurrentCell(std::max(g->currentRow(), 0), 0);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  Browse.ComputerDir = StringGrid2->cell(0, row);
  Browse.FilePrefix = Browse.ObjectName + "-" + Browse.ComputerDir;
  EntryCount.fill(0);
  const FtpSession::Action action(Ftp);
  if (Browse.SourceMode == Source::Ftp) FetchLineAhead(Browse.ComputerDir);
  for (const ReportKind kind : kReportKinds) {
    if (Browse.SourceMode != Source::Ftp) {
      ListReportsLocal(kind);
      continue;
    }
    if (ListReportsFtp(kind) || (Ftp.FtpReconnect() && ListReportsFtp(kind))) continue;
    wait.release();
    ui.message(cp1251::text("Связь с FTP-сервером прервана"));
    Ftp.FtpClose();
    return;  // the lists stay disabled until they are built again
  }
  const auto grids = reportGrids();
  for (int kind = 0; kind < kReportKindCount; ++kind) {
    TStringGrid* g = grids[kind];
    const int n = EntryCount[kind];
    if (Browse.Refreshing && n == 0) g->clearColumn(1);
    g->setRowCount(std::max(n, 1));
    const int normal = g == StringGrid3 ? 179 : 127;
    g->setColumnWidth(1, n >= 19 ? normal - 21 : normal);
    if (n > 0) g->setCurrentCell(n - 1, 0);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  }
  EnableFilledGrids();
}

bool TFormMain::ListReportsFtp(ReportKind kind) {
  const int entered = Ftp.EnterKindDirectory(kind);
  if (entered == 1) return true;
  if (entered == 2) return false;
  std::vector<Listed> files;
  const auto listed = Ftp.ForEachEntry("*.*", FindBuffer, [&](const ftp::FindData& e) {
    if (e.attributes != ftp::kAttrDirectory) files.push_back({e.name, static_cast<uint32_t>(e.size)});
    return true;
  });
  if (listed != FtpSession::Listing::Listed) return listed == FtpSession::Listing::Empty;
  addEntries(kind, files);
  return true;
}

void TFormMain::ListReportsLocal(ReportKind kind) {
  const std::string dir = LocalKindFolder(kind);
  if (!fsys::setCurrentDirectory(dir)) return;
  const auto entries = fsys::listDirectory(dir);
  if (!entries) return;
  std::vector<Listed> files;
  for (const auto& e : *entries) {
    if (!(e.attributes & fsys::kAttrDirectory)) files.push_back({e.name, static_cast<uint32_t>(e.size)});
  }
  addEntries(kind, files);
}
