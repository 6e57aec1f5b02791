#include "app/DataFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>

#include <filesystem>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"

namespace {

// REPORT and INI exist (or are made now) in dir, and a file can be made and removed in each.
bool usable(const std::filesystem::path& dir) {
  for (const char* sub : {"INI", "REPORT"}) {
    const auto folder = dir / sub;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec) && !std::filesystem::create_directory(folder, ec))
      return false;
    const auto probe = folder / (".ostraftp-probe-" + std::to_string(getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
  }
  return true;
}

bool systemFolder(const QString& dir) {
  const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
  return clean.startsWith(QStringLiteral("/usr/")) || clean.startsWith(QStringLiteral("/opt/"));
}

}  // namespace

std::optional<std::string> dataFolder(const QString& exeFolder, std::string& why) {
  QString chosen = exeFolder;
  if (systemFolder(exeFolder) || !usable(std::filesystem::path(exeFolder.toStdString()))) {
    chosen = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (chosen.isEmpty() || !QDir().mkpath(chosen) || !usable(std::filesystem::path(chosen.toStdString()))) {
      why = cp1251::text("Не удалось создать папку данных программы ") + fromQ(chosen).value_or("?");
      return std::nullopt;
    }
  }
  const auto bytes = fromQ(QDir::toNativeSeparators(chosen));
  if (!bytes) {
    why = cp1251::text(
        "Папка данных программы содержит символы, которые нельзя записать в кодировке "
        "Windows-1251. Перенесите программу в другую папку.");
    return std::nullopt;
  }
  return *bytes + fsys::kSeparator;
}
