#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace text {

std::string trimBlanks(std::string_view s) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

bool hasControlBytes(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<int32_t> parseInteger(std::string_view s) {
  // One sign at most: "+-9" is no number.
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return std::nullopt;
  }
  if (s.empty() || s.front() == '+') return std::nullopt;
  int32_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<double> parseDecimal(std::string_view s) {
  const std::string t = trimBlanks(s);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const auto digits = [&] {
    const size_t start = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    return i - start;
  };
  size_t mantissa = digits();
  if (i < t.size() && t[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  // from_chars reads no leading "+" and is independent of the locale.
  const char* first = t.data() + (t[0] == '+' ? 1 : 0);
  double v = 0;
  const auto r = std::from_chars(first, t.data() + t.size(), v);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
  return v;
}

std::string percentEscape(std::string_view s, bool (*escaped)(unsigned char)) {
  std::string out;
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (escaped(b)) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> percentUnescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    const int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

}  // namespace text
