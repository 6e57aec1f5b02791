#include "app/Application.h"

#include <exception>
#include <string>

#include "core/Cp1251.h"
#include "core/Ui.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  std::string what;
  try {
    return QApplication::notify(receiver, event);
  } catch (const WindowClosing&) {
    return false;
  } catch (const std::exception& e) {
    // Texts of the standard library are ASCII; a Windows-1251 text of our own passes unchanged.
    what = e.what();
  } catch (...) {
    what = cp1251::text("Неизвестная ошибка");
  }
  if (ui_) ui_->errorBox(what);
  return false;
}
