#pragma once
// The Ui of the real program: Qt message boxes, the wait cursor and real pauses.

#include <functional>

#include "core/Ui.h"

class QtUi : public Ui {
 public:
  void message(const std::string& text, const std::string& title) override;
  bool ask(const std::string& text, const std::string& title, Answer preset) override;
  void errorBox(const std::string& text) override;
  void beginWait() override;
  void endWait() override;
  void pause(int milliseconds) override;
  // Called now and then during a pause, as during a wait for a server (the window repaints, and a
  // close ends the handler that pauses); may be empty.
  void setPauseHook(std::function<void()> hook) { pauseHook_ = std::move(hook); }

 private:
  std::function<void()> pauseHook_;
};
