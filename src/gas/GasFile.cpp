#include "gas/GasFile.h"

#include <charconv>
#include <cstdio>

#include "core/Text.h"
#include "gas/Suplfunc.h"

namespace gas {

std::string parameterLine(const GasParameters& p) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "SP: %.4f %.4f %.4f %.1f", static_cast<double>(p.density),
                static_cast<double>(p.co2), static_cast<double>(p.n2), static_cast<double>(p.pressure));
  return buf;
}

bool inRange(const GasParameters& p) {
  const auto within = [](float v, double low, double high) {
    const double d = v;
    return d >= low && d <= high;
  };
  return within(p.density, 0.65999, 1.05001) && within(p.co2, -0.00001, 15.00001) &&
         within(p.n2, -0.00001, 15.00001) && within(p.pressure, 629.99999, 800.00001);
}

std::string composeFile(const GasParameters& p) {
  const std::string line = parameterLine(p);
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04x",
                Crc16(reinterpret_cast<const uint8_t*>(line.data()), static_cast<uint16_t>(line.size())));
  return "\r\n\r\n" + line + " 0x" + crc + "\r\n";
}

namespace {

bool space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A small scanner doing exactly what the C conversions %s, %f, %c and %x of the reading rule do.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  // %Ns: skip blanks, then 1..N non-blank characters.
  bool word(size_t n) {
    skip();
    size_t k = 0;
    while (i_ < s_.size() && k < n && !space(s_[i_])) ++i_, ++k;
    return k > 0;
  }
  // %f: skip blanks, then [sign] digits [. digits] [e [sign] digits], at least one digit.
  bool number(float& out) {
    skip();
    const size_t start = i_;
    size_t j = i_;
    if (j < s_.size() && (s_[j] == '+' || s_[j] == '-')) ++j;
    size_t digits = 0;
    while (j < s_.size() && isDigit(s_[j])) ++j, ++digits;
    if (j < s_.size() && s_[j] == '.') {
      ++j;
      while (j < s_.size() && isDigit(s_[j])) ++j, ++digits;
    }
    if (digits == 0) return false;
    if (j < s_.size() && (s_[j] == 'e' || s_[j] == 'E')) {
      size_t k = j + 1;
      if (k < s_.size() && (s_[k] == '+' || s_[k] == '-')) ++k;
      if (k < s_.size() && isDigit(s_[k])) {
        while (k < s_.size() && isDigit(s_[k])) ++k;
        j = k;
      }
    }
    const char* b = s_.data() + start + ((s_[start] == '+') ? 1 : 0);
    const auto r = std::from_chars(b, s_.data() + j, out);
    if (r.ec != std::errc()) return false;
    i_ = j;
    return true;
  }
  // Characters read so far.
  size_t position() const { return i_; }
  // %c: one character, blanks included.
  bool character() {
    if (i_ >= s_.size()) return false;
    ++i_;
    return true;
  }
  // %4x: skip blanks, then 1..4 hexadecimal digits of either case.
  bool hex(unsigned& out) {
    skip();
    out = 0;
    size_t k = 0;
    while (i_ < s_.size() && k < 4 && text::hexDigit(s_[i_]) >= 0)
      out = out * 16 + static_cast<unsigned>(text::hexDigit(s_[i_++])), ++k;
    return k > 0;
  }

 private:
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  void skip() {
    while (i_ < s_.size() && space(s_[i_])) ++i_;
  }
  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

ReadResult verify(std::string_view content) {
  ReadResult r;
  if (content.size() > kMaxContent) return r;
  // The content is text: it ends at a zero byte.
  content = content.substr(0, content.find('\0'));
  const size_t start = content.find('S');
  const size_t mark = content.find("0x");
  // "0x" before the tag, or right after it, leaves no checksum range: a format error.
  if (start == std::string_view::npos || mark == std::string_view::npos || mark < start + 2) return r;
  const size_t count = mark - start - 1;
  Scanner sc(content.substr(start));
  GasParameters v;
  unsigned crc = 0;
  const bool values = sc.word(3) && sc.number(v.density) && sc.character() && sc.number(v.co2) &&
                      sc.character() && sc.number(v.n2) && sc.character() && sc.number(v.pressure);
  // Only values the checksum covers count: "...750xzz9e1b" would read 750 from past the range.
  if (!values || sc.position() > count) return r;
  const bool scanned = sc.character() && sc.character() && sc.character() && sc.hex(crc);
  if (!scanned) return r;
  const uint16_t computed =
      Crc16(reinterpret_cast<const uint8_t*>(content.data() + start), static_cast<uint16_t>(count));
  if (computed != (crc & 0xFFFF)) {
    r.status = Check::Checksum;
    return r;
  }
  r.status = Check::Ok;
  r.values = v;
  return r;
}

std::string showValue(float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
  return buf;
}

}  // namespace gas
