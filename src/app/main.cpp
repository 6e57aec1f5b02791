// ostraftp: reports, alarm messages and gas parameters of gas-metering stations over FTP.

#include <QDir>

#include "app/Application.h"
#include "app/Main.h"
#include "app/QtUi.h"
#include "app/Widgets.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"

int main(int argc, char** argv) {
  Application app(argc, argv);
  Application::setApplicationName(QStringLiteral("ostraftp"));
  Application::setApplicationVersion(QStringLiteral(OSTRAFTP_VERSION));
  QtUi ui;
  app.setUi(&ui);

  // Every path of the program is made of Windows-1251 bytes; a folder name the code page cannot hold
  // would turn into a different folder.
  const auto exeFolder = fromQ(QDir::toNativeSeparators(Application::applicationDirPath()));
  if (!exeFolder) {
    ui.message(cp1251::text("Папка программы содержит символы, которые нельзя записать в кодировке "
                            "Windows-1251. Перенесите программу в другую папку."),
               cp1251::text("ostraftp"));
    return 1;
  }
  TFormMain form(*exeFolder + fsys::kSeparator, ui);
  form.show();
  return Application::exec();
}
