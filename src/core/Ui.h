#pragma once
// What the program's logic needs from the screen: modal messages (OK only, no icon, a title), the yes/no
// question, the standard error box, the hourglass cursor and the short pauses. Boxes show under the
// normal cursor even while an hourglass is up. The windows implement it
// with Qt; tests install a recorder that logs every message and skips the pauses. All texts are
// Windows-1251 bytes.

#include <cstdint>
#include <string>

class Ui {
 public:
  // The answer a question gives when the operator just presses Enter.
  enum class Answer : uint8_t { Yes, No };

  virtual ~Ui() = default;

  // Modal message with an OK button only and no icon.
  virtual void message(const std::string& text, const std::string& title = {}) = 0;
  // Modal yes/no question; true for "yes". preset is the button Enter presses.
  virtual bool ask(const std::string& text, const std::string& title, Answer preset) = 0;
  // The standard error box, as shown for an error that reached the event loop.
  virtual void errorBox(const std::string& text) = 0;
  // Hourglass cursor on/off. Calls nest: the cursor is normal again after as many ends as begins.
  virtual void beginWait() = 0;
  virtual void endWait() = 0;
  // A pause on the user-interface thread (200 ms and 1000 ms between retries).
  virtual void pause(int milliseconds) = 0;
};

// Shows the hourglass for its lifetime, so that every exit path restores the cursor. release() restores
// it early, before a message is shown.
class WaitCursor {
 public:
  explicit WaitCursor(Ui& ui) : ui_(&ui) { ui_->beginWait(); }
  ~WaitCursor() { release(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  void release() {
    if (ui_) ui_->endWait();
    ui_ = nullptr;
  }

 private:
  Ui* ui_;
};
