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

// The printed pages: each a list of lines. The first page opens with a line of one blank and then the
// text; a form feed starts the next page, whose first line is preceded by one blank; a form feed that
// ends the text starts no page. Blank lines stay as empty lines.
using Page = std::vector<std::string>;
std::vector<Page> composePages(std::string_view text);

}  // namespace report
