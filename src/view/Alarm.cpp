// "Смотреть": the chosen object's alarm file fetched from the server (with its copy in the report cache)
// or read from the local folder, and shown in the alarm window.

#include "app/Main.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "view/Alarm_view.h"

void TFormMain::BitBtn3Click() {
  WaitCursor wait(ui);
  const std::string& name = Browse.AlarmFileName;
  const auto fail = [&](const std::string& text, const std::string& title = {}) {
    wait.release();
    ui.message(text, title);
  };
  std::string text;
  if (Browse.SourceMode == Source::Ftp) {
    Browse.CurrentDirectory = Browse.ObjectPath;
    if (!Ftp.FtpSetCurrentDirectory(Ftp.ConnectionHandle, Browse.CurrentDirectory)) {
      const uint32_t first = Ftp.GetLastError();
      if (!Ftp.FtpReconnect() || !Ftp.FtpSetCurrentDirectory(Ftp.ConnectionHandle, Browse.CurrentDirectory)) {
        return fail(
            cp1251::text(first == ftp::kErrorInternetExtendedError
                             ? "Файл тревожных сообщений не прочитан.\r\nНе удалось войти в каталог объекта"
                             : "Файл тревожных сообщений не прочитан.\r\nНе удалось восстановить связь "
                               "с сервером"));
      }
    }
    const std::string folder = ReportCacheFolder();
    FtpSession::WholeFile r = Ftp.ReadWholeFile(name, text);
    if (r == FtpSession::WholeFile::OpenFailed && Ftp.FtpReconnect()) r = Ftp.ReadWholeFile(name, text);
    switch (r) {
      case FtpSession::WholeFile::OpenFailed:
        return fail(cp1251::text("Неудачная попытка подсоединения к файлу ") + name);
      case FtpSession::WholeFile::Empty:
        return fail(cp1251::text("Длина файла ") + name +
                    cp1251::text(" равна нулю.\r\n Возможно, выполняется запись сообщения"));
      case FtpSession::WholeFile::ReadFailed:
        return fail(cp1251::text("Неудачная попытка чтения файла ") + name);
      case FtpSession::WholeFile::TooLarge:
        return fail(TooLargeMessage(name));
      case FtpSession::WholeFile::Read:
        break;
    }
    // Whole or not at all; a copy that cannot be written does not keep the messages from the operator.
    fsys::writeFileAtomic(folder + fsys::kSeparator + name, text, false);
  } else {
    const std::string path =
        activeLocalDirectory() + fsys::kSeparator + Browse.ObjectName + fsys::kSeparator + name;
    const std::string notRead = cp1251::text("Файл сообщений ") + name + cp1251::text(" не прочитан");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fsys::nativePath(path), ec)) {
      return fail(cp1251::text("Не найден файл"), notRead);
    }
    const auto bytes = fsys::readFile(path, ftp::kMaxDownloadBytes);
    if (!bytes || bytes->size() >= ftp::kMaxDownloadBytes) return fail(notRead);
    if (bytes->empty()) return fail(cp1251::text("Длина файла сообщений ") + name + cp1251::text(" равна 0"));
    text = fsys::textModeRead(*bytes);  // CR LF arrives as LF
  }
  wait.release();
  TFormAlarm_View view(this);
  view.FileName = name;
  view.Text = text.c_str();
  view.TextLength = static_cast<int32_t>(text.size());
  view.exec();
}
