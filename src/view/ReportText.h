#pragma once
// How a report's raw text becomes the rows of the viewer and the pages of a printout. Text is
// Windows-1251 bytes with LF or CR LF line ends; a form feed (byte 12) starts a new page.

#include <string>
#include <string_view>
#include <vector>

#include "core/ReportKind.h"

namespace report {

// The viewer's rows (TextRows::Style::Report) and the alarm window's (TextRows::Style::Alarm), all at
// once; the windows themselves make each row when it is shown.
std::vector<std::string> viewerRows(std::string_view text);
std::vector<std::string> alarmRows(std::string_view text);

inline constexpr int kRowHeight = 17;
inline constexpr int kMaxListingHeight = 665;
// Height of the listing for a number of rows: 17 pixels each and 5 more, at most 665.
int listingHeight(size_t rows);
// Pixels added to the measured text width: more for the commercial reports (kinds 2 and 4).
int widthAllowance(ReportKind kind);

// The printed pages. The first page opens with a line of one blank and then the text; a form feed starts
// the next page, whose first line is preceded by one blank; a form feed that ends the text starts no
// page. Blank lines stay as empty lines; CR and NUL are dropped.
//
// A page is a range of the text, and its lines are read from the text one at a time, so that printing
// keeps no copy of a long text.
struct PageRange {
  size_t begin = 0, end = 0;  // the bytes between the form feeds
  bool first = false;
};
std::vector<PageRange> pageRanges(std::string_view text);
// Where a line of a page starts: an offset into the text, or kOpening for the line of one blank that
// opens the first page.
inline constexpr size_t kOpening = static_cast<size_t>(-1);
inline constexpr size_t kNoLine = static_cast<size_t>(-2);
inline size_t firstLine(const PageRange& p) {
  return p.first ? kOpening : p.begin;
}
// The line of page p at `at`; next is where the following line starts, kNoLine after the page's last.
std::string pageLine(std::string_view text, const PageRange& p, size_t at, size_t& next);
// All pages with all their lines at once (small texts).
using Page = std::vector<std::string>;
std::vector<Page> composePages(std::string_view text);

}  // namespace report
