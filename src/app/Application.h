#pragma once
// The application object: an error that escapes an event handler is shown in the standard error box and
// the program goes on.

#include <QApplication>

class Ui;

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  void setUi(Ui* ui) { ui_ = ui; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Ui* ui_ = nullptr;
};
