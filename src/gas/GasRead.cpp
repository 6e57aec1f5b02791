// Reading and showing the gas parameters of the chosen object.

#include <QLineEdit>

#include <cstdio>

#include "app/Main.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "gas/GasFile.h"
#include "gas/Stat_par.h"

namespace {

// Fetches the file from the server; an empty result with a message in why when it cannot.
bool fetchFromServer(TFormMain& f, std::string& content, std::string& why) {
  FtpSession& ftp = f.Ftp;
  f.Browse.CurrentDirectory = f.Browse.ObjectPath;  // a reconnect returns here
  bool entered = false;
  for (int attempt = 0; attempt < 2 && !entered; ++attempt) {
    entered = ftp.FtpSetCurrentDirectory(ftp.ConnectionHandle, f.Browse.CurrentDirectory);
    if (entered || attempt == 1) break;
    const uint32_t e = ftp.GetLastError();
    if ((e == ftp::kErrorInternetTimeout || e == ftp::kErrorInternetConnectionAborted) && !ftp.FtpReconnect())
      break;
  }
  if (!entered) {
    why = cp1251::text("Неудачная попытка чтения параметров");
    return false;
  }
  // The time of input comes from the listing, as listed.
  (void)ftp.ForEachEntry(f.Browse.GasParFileName, f.FindBuffer, [&](const ftp::FindData& e) {
    if (static_cast<uint32_t>(e.size) != 0 && e.lastWriteValid)
      f.Panel6->setText(QString::fromLatin1(formats::listedTime(e.lastWrite).c_str()));
    return false;  // the one file
  });
  switch (ftp.ReadWholeFile(f.Browse.GasParFileName, content)) {
    case FtpSession::WholeFile::Read:
      // A file larger than the content buffer fails the format check; only that much can matter.
      if (content.size() > gas::kMaxContent + 1) content.resize(gas::kMaxContent + 1);
      return true;
    case FtpSession::WholeFile::OpenFailed:
    case FtpSession::WholeFile::Empty:
      why = cp1251::text("Нет данных");
      return false;
    case FtpSession::WholeFile::ReadFailed:
    case FtpSession::WholeFile::TooLarge:
      why = cp1251::text("Неудачная попытка чтения данных из файла");
      return false;
  }
  return false;
}

bool readLocal(TFormMain& f, std::string& content, std::string& why) {
  const std::string path = f.activeLocalDirectory() + fsys::kSeparator + f.Browse.ObjectName +
                           fsys::kSeparator + f.Browse.GasParFileName;
  std::error_code ec;
  if (!fsys::safeName(f.Browse.ObjectName) || !std::filesystem::is_regular_file(fsys::nativePath(path), ec)) {
    why = cp1251::text("Нет данных");
    return false;
  }
  const auto bytes = fsys::readFile(path, gas::kMaxContent + 1);
  if (!bytes) {
    why = cp1251::text("Неудачная попытка чтения данных из файла");
    return false;
  }
  if (bytes->empty()) {
    why = cp1251::text("Нет данных");
    return false;
  }
  content = fsys::textModeRead(*bytes);
  return true;
}

}  // namespace

void TFormMain::ReadGasParameters() {
  for (QLabel* l : {static_cast<QLabel*>(pn1), static_cast<QLabel*>(pn2), static_cast<QLabel*>(pn3),
                    static_cast<QLabel*>(pn4), static_cast<QLabel*>(Panel6), Label19}) {
    l->clear();
  }
  std::string content;
  std::string why;
  const bool fetched = Browse.SourceMode == Source::Ftp ? fetchFromServer(*this, content, why)
                                                        : readLocal(*this, content, why);
  if (!fetched) {
    Label19->setText(toQ(why));
    return;
  }
  const gas::ReadResult r = gas::verify(content);
  if (r.status == gas::Check::Format) {
    Label19->setText(toQ(cp1251::text("Содержимое файла не соответствует формату данных")));
    return;
  }
  if (r.status == gas::Check::Checksum) {
    Label19->setText(toQ(cp1251::text("Несовпадение КС  данных в файле")));
    return;
  }
  pn1->setText(QString::fromStdString(gas::showValue(r.values.density)));
  pn2->setText(QString::fromStdString(gas::showValue(r.values.co2)));
  pn3->setText(QString::fromStdString(gas::showValue(r.values.n2)));
  pn4->setText(QString::fromStdString(gas::showValue(r.values.pressure)));
  if (Browse.SourceMode != Source::Ftp) return;
  // The verified file goes into the cache as received; a name that could leave the cache is not used.
  if (!fsys::safeName(Browse.ObjectName) || !fsys::safeName(Browse.GasParFileName)) return;
  fsys::writeFileAtomic(ReportCacheFolder() + fsys::kSeparator + Browse.GasParFileName, content, false);
}

void TFormMain::BitBtn1Click() {
  bool written;
  {
    TFormStat_Par dialog(*this);
    dialog.Edit1->setText(pn1->text());
    dialog.Edit2->setText(pn2->text());
    dialog.Edit3->setText(pn3->text());
    dialog.Edit4->setText(pn4->text());
    dialog.exec();
    written = dialog.ParametersWritten;
  }
  if (!written) return;
  // What is shown is what the file now holds.
  BitBtn1->setEnabled(false);
  {
    WaitCursor wait(ui);
    ReadGasParameters();
  }
  BitBtn1->setEnabled(Settings.current().accessMode() == Access::ObjectList);
}
