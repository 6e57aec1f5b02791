// ostraftp: reports, alarm messages and gas parameters of gas-metering stations over FTP.

#include "app/Main.h"
#include "app/Application.h"
#include "app/DataFolder.h"
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

  // REPORT and INI beside the executable, or in the user's data folder for a system install. Every path
  // of the program is made of Windows-1251 bytes; a folder name the code page cannot hold would turn
  // into a different folder.
  std::string why;
  const auto folder = dataFolder(Application::applicationDirPath(), why);
  if (!folder) {
    ui.message(why, cp1251::text("ostraftp"));
    return 1;
  }
  TFormMain form(*folder, ui);
  ui.setPauseHook([&form] { form.AwaitingServer(); });
  form.show();
  return Application::exec();
}
