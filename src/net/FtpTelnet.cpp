#include "net/FtpTelnet.h"

namespace ftp {

namespace {
constexpr char kFf = '\xff';
constexpr char kProbeMarker[] = "ostraftp-probe";

size_t runAt(const std::string& s, size_t i) {
  size_t n = 0;
  while (i + n < s.size() && s[i + n] == kFf) ++n;
  return n;
}
}  // namespace

std::string commandText(const std::string& text, CommandBytes rule) {
  return rule == CommandBytes::TelnetIac ? doubleFf(text) : text;
}

std::string doubleFf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == kFf) out += c;
  }
  return out;
}

std::string undoubleFf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == kFf && i + 1 < text.size() && text[i + 1] == kFf) ++i;
  }
  return out;
}

bool hasOddFfRun(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = runAt(text, i);
    if (n % 2 == 1) return true;
    i += n ? n : 1;
  }
  return false;
}

ByteRules readProbeReply(const std::vector<std::string>& lines) {
  ByteRules rules;
  rules.commands = CommandBytes::Raw;
  for (const auto& line : lines) {
    const size_t at = line.find(kProbeMarker);
    if (at == std::string::npos) continue;
    size_t i = at + sizeof kProbeMarker - 1;
    const size_t first = runAt(line, i);
    i += first;
    if (i >= line.size() || line[i] != '.') continue;
    const size_t second = runAt(line, i + 1);
    // Sent: a pair, ".", one. Raw commands keep 2 and 1; Telnet makes the pair 1 (the lone one may
    // vanish on some servers); doubled replies double what the server saw.
    if (first == 2 && second == 1) return {CommandBytes::Raw, ReplyBytes::Raw};
    if (first == 4 && second == 2) return {CommandBytes::Raw, ReplyBytes::Doubled};
    if (first == 1 && second <= 1) return {CommandBytes::TelnetIac, ReplyBytes::Raw};
    if (first == 2 && (second == 2 || second == 0)) return {CommandBytes::TelnetIac, ReplyBytes::Doubled};
  }
  return rules;
}

std::optional<std::string> parsePathReply(const std::string& line) {
  const size_t open = line.find('"');
  if (open == std::string::npos) return std::nullopt;
  std::string dir;
  for (size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] != '"') {
      dir += line[i];
    } else if (i + 1 < line.size() && line[i + 1] == '"') {
      dir += '"';
      ++i;
    } else {
      return dir;
    }
  }
  return std::nullopt;
}

}  // namespace ftp
