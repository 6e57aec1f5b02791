#pragma once
// The Ui of the real program: Qt message boxes, the wait cursor and real pauses.

#include "core/Ui.h"

class QtUi : public Ui {
 public:
  void message(const std::string& text, const std::string& title) override;
  bool ask(const std::string& text, const std::string& title, Answer preset) override;
  void errorBox(const std::string& text) override;
  void beginWait() override;
  void endWait() override;
  void pause(int milliseconds) override;
};
