#pragma once
// The Ui of the tests: records every message with its title, answers questions from a script and skips
// the pauses, so that no modal box blocks a test. Texts are recorded as UTF-8 for readable assertions.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/Ui.h"

class RecorderUi : public Ui {
 public:
  struct Message {
    std::string kind;             // "message", "ask" or "error"
    std::string text;             // UTF-8
    std::string title;            // UTF-8
    Answer preset = Answer::Yes;  // a question's answer on Enter
    bool operator==(const Message&) const = default;
  };

  void message(const std::string& text, const std::string& title) override;
  bool ask(const std::string& text, const std::string& title, Answer preset) override;
  void errorBox(const std::string& text) override;
  void beginWait() override;
  void endWait() override;
  void pause(int milliseconds) override;

  std::vector<Message> messages;
  std::deque<bool> answers;  // the answers to the next questions; "no" when empty
  std::vector<int> pauses;   // the pauses asked for, in milliseconds
  int waitDepth = 0;         // hourglass nesting now
  int maxWaitDepth = 0;
  int waitDepthAtLastMessage = -1;  // was the hourglass still shown when the last message came?
  std::function<void()> onMessage;  // called as each message, question or error box comes

  // The texts of the messages only.
  std::vector<std::string> texts() const;
};
