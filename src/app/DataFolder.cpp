#include "app/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"

namespace {

// REPORT and INI exist (or are made now) in dir, and a file can be made and removed in each.
bool usable(const QString& dir) {
  for (const char* sub : {"INI", "REPORT"}) {
    const QString folder = dir + QLatin1Char('/') + QLatin1String(sub);
    if (!QDir(folder).exists() && !QDir().mkdir(folder)) return false;
    QFile probe(folder + QStringLiteral("/.ostraftp-probe-") +
                QString::number(QCoreApplication::applicationPid()));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    probe.close();
    probe.remove();
  }
  return true;
}

// Where programs are installed for every user: never written to, even when the rights allow it.
bool systemFolder(const QString& dir) {
  const QString clean = QDir::cleanPath(QDir(dir).absolutePath()) + QLatin1Char('/');
#ifdef _WIN32
  for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"}) {
    const QString system = QDir::cleanPath(QDir::fromNativeSeparators(qEnvironmentVariable(name)));
    if (!system.isEmpty() && clean.startsWith(system + QLatin1Char('/'), Qt::CaseInsensitive)) return true;
  }
  return false;
#else
  return clean.startsWith(QStringLiteral("/usr/")) || clean.startsWith(QStringLiteral("/opt/"));
#endif
}

}  // namespace

std::optional<std::string> dataFolder(const QString& exeFolder, std::string& why) {
  QString chosen = exeFolder;
  if (systemFolder(exeFolder) || !usable(exeFolder)) {
    // ~/.local/share/ostraftp, or %LOCALAPPDATA%\ostraftp on Windows (not the roaming profile).
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    chosen = base.isEmpty() ? base : base + QStringLiteral("/ostraftp");
    if (chosen.isEmpty() || !QDir().mkpath(chosen) || !usable(chosen)) {
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
