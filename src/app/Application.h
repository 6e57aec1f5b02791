#pragma once
// The application object: an error that escapes an event handler is shown in the standard error box and
// the program goes on.

#include <QApplication>

class Ui;

// Thrown out of a wait for a server when the operator closed the main window meanwhile: it ends the
// handler that waited, its requests abandoned on the way, and the event loop takes it silently; the
// close itself is carried out from the event loop.
struct WindowClosing {};

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  void setUi(Ui* ui) { ui_ = ui; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Ui* ui_ = nullptr;
};
