#pragma once
// The rows of the two viewers over a text of Windows-1251 bytes (a line ends at LF or at a form feed;
// CR and NUL are dropped). The rows are made when asked for, from the text, which stays the caller's and
// must outlive this: only the start of every 16th row is kept, so that memory does not grow with the
// number of line ends (a text of blank lines costs a quarter of a byte per line) and building the rows
// is one pass over the text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TextRows {
 public:
  enum class Style {
    // The report viewer: every line is a row, with two leading blanks, four after a form feed; a closing
    // line end leaves a row of two blanks.
    Report,
    // The alarm window: one empty row, then every line that keeps a byte, as it stands.
    Alarm,
  };
  TextRows(std::string_view text, Style style);

  [[nodiscard]] size_t size() const { return count_; }
  [[nodiscard]] std::string row(size_t i) const;
  // The rows with the most characters without their trailing blanks, most first and the first on a tie,
  // at most kLongest of them: the ones that decide the list's width.
  static constexpr size_t kLongest = 32;
  [[nodiscard]] const std::vector<size_t>& longest() const { return longest_; }

 private:
  static constexpr size_t kStep = 16;
  [[nodiscard]] size_t lineEnd(size_t at) const;
  [[nodiscard]] bool keepsAByte(size_t start, size_t end) const;
  // Where the line of row i starts (the leading empty row of an alarm list has none).
  [[nodiscard]] size_t lineStart(size_t i) const;

  std::string_view text_;
  Style style_;
  size_t first_;               // the first row with a line: 1 for alarms, 0 for reports
  std::vector<size_t> marks_;  // where the line of rows first_, first_ + 16, ... starts
  size_t count_ = 0;
  std::vector<size_t> longest_;
};
