#pragma once
// How a report's raw text becomes the rows of the viewer and the pages of a printout. Text is
// Windows-1251 bytes with LF or CR LF line ends; a form feed (byte 12) starts a new page.

#include <string>
#include <string_view>
#include <vector>

#include "core/ReportKind.h"

namespace report {

// The viewer's rows: every line with two leading blanks; CR and NUL dropped; a form feed ends the row and
// starts one of two blanks (so the next line starts with four); a closing LF leaves a row of two blanks.
// The list starts with one empty row that the first line fills.
//
// The rows are made when asked for, from the text, which stays the caller's and must outlive this: only
// the start of every 16th row is kept, so that memory does not grow with the number of line ends (a
// report of blank lines costs a quarter of a byte per line) and opening it is one pass over the text.
class ViewerRows {
 public:
  explicit ViewerRows(std::string_view text);
  [[nodiscard]] size_t size() const { return count_; }
  [[nodiscard]] std::string row(size_t i) const;
  // The row with the most characters without its trailing blanks (the first on a tie), without them:
  // the one that decides the width.
  [[nodiscard]] std::string longest() const;

 private:
  static constexpr size_t kStep = 16;
  std::string_view text_;
  std::vector<size_t> marks_;  // where the line of rows 0, 16, 32, ... starts in the text
  size_t count_ = 0;
  size_t longest_ = 0;
  // Where the line of row i starts, and the separator (LF or FF) before it, if any.
  [[nodiscard]] size_t lineStart(size_t i) const;
};
// All rows at once (small texts).
std::vector<std::string> viewerRows(std::string_view text);

inline constexpr int kRowHeight = 17;
inline constexpr int kMaxListingHeight = 665;
// Height of the listing for a number of rows: 17 pixels each and 5 more, at most 665.
int listingHeight(size_t rows);
// Pixels added to the measured text width: more for the commercial reports (kinds 2 and 4).
int widthAllowance(ReportKind kind);

// The alarm window's rows: one empty row, then every non-empty line in file order (a line ends at LF or
// at a form feed; CR and NUL are dropped; blank lines are left out).
std::vector<std::string> alarmRows(std::string_view text);

// The printed pages: each a list of lines. The first page opens with a line of one blank and then the
// text; a form feed starts the next page, whose first line is preceded by one blank; a form feed that
// ends the text starts no page. Blank lines stay as empty lines.
using Page = std::vector<std::string>;
std::vector<Page> composePages(std::string_view text);

}  // namespace report
