#pragma once
// Windows-1251 <-> Unicode. Every text of the program (names, paths, file contents, messages) is a
// Windows-1251 byte string; widgets and the local file system see Unicode. The mapping is lossless for
// all 256 byte values: the one unassigned byte 0x98 maps to U+0098 and back, so a name read from a
// server round-trips exactly.

#include <optional>
#include <string>
#include <string_view>

namespace cp1251 {

// Unicode code point of one Windows-1251 byte.
char32_t toUnicode(unsigned char byte);

// Windows-1251 byte for a code point, or nothing when the code page cannot hold it.
std::optional<unsigned char> fromUnicode(char32_t cp);

// Windows-1251 bytes -> UTF-8. Never fails.
std::string toUtf8(std::string_view bytes);

// UTF-8 -> Windows-1251 bytes; nothing when the text is not valid UTF-8 or holds a character the code
// page cannot hold (the caller refuses such a text rather than replacing characters).
std::optional<std::string> fromUtf8(std::string_view utf8);

// The program's own texts are written as UTF-8 literals in the source and used as Windows-1251 bytes.
// Every such text is Cyrillic, Latin and punctuation that the code page holds; tests check each one.
std::string text(std::string_view utf8Literal);

// Whether a typed UTF-8 text can be held in Windows-1251.
inline bool canHold(std::string_view utf8) {
  return fromUtf8(utf8).has_value();
}

}  // namespace cp1251
