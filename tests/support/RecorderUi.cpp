#include "support/RecorderUi.h"

#include "core/Cp1251.h"

void RecorderUi::message(const std::string& text, const std::string& title) {
  waitDepthAtLastMessage = waitDepth;
  if (onMessage) onMessage();
  messages.push_back({"message", cp1251::toUtf8(text), cp1251::toUtf8(title)});
}

bool RecorderUi::ask(const std::string& text, const std::string& title, Answer preset) {
  waitDepthAtLastMessage = waitDepth;
  if (onMessage) onMessage();
  messages.push_back({"ask", cp1251::toUtf8(text), cp1251::toUtf8(title), preset});
  if (answers.empty()) return false;
  const bool a = answers.front();
  answers.pop_front();
  return a;
}

void RecorderUi::errorBox(const std::string& text) {
  waitDepthAtLastMessage = waitDepth;
  if (onMessage) onMessage();
  messages.push_back({"error", cp1251::toUtf8(text), {}});
}

void RecorderUi::beginWait() {
  ++waitDepth;
  if (waitDepth > maxWaitDepth) maxWaitDepth = waitDepth;
}

void RecorderUi::endWait() {
  --waitDepth;
}

void RecorderUi::pause(int milliseconds) {
  pauses.push_back(milliseconds);
}

std::vector<std::string> RecorderUi::texts() const {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}
