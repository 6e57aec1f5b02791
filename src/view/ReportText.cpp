#include "view/ReportText.h"

#include "view/TextRows.h"

#include <algorithm>

namespace report {

namespace {

constexpr char kLf = '\n';
constexpr char kFf = '\f';
constexpr char kCr = '\r';

}  // namespace

namespace {

std::vector<std::string> allRows(std::string_view text, TextRows::Style style) {
  const TextRows rows(text, style);
  std::vector<std::string> out;
  for (size_t i = 0; i < rows.size(); ++i) out.push_back(rows.row(i));
  return out;
}

}  // namespace

std::vector<std::string> viewerRows(std::string_view text) {
  return allRows(text, TextRows::Style::Report);
}

std::vector<std::string> alarmRows(std::string_view text) {
  return allRows(text, TextRows::Style::Alarm);
}

int listingHeight(size_t rows) {
  const size_t h = rows * kRowHeight + 5;
  return static_cast<int>(std::min<size_t>(h, kMaxListingHeight));
}

int widthAllowance(ReportKind kind) {
  return kind == ReportKind::DailyCommercial || kind == ReportKind::MonthlyCommercial ? 35 : 25;
}

std::vector<Page> composePages(std::string_view text) {
  std::vector<Page> pages{{" ", ""}};
  std::string line;
  const auto flush = [&] {
    pages.back().back() += line;
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0' || c == kCr) continue;
    if (c == kLf) {
      flush();
      pages.back().emplace_back();
    } else if (c == kFf) {
      flush();
      if (i + 1 < text.size()) pages.push_back({" "});
    } else {
      line += c;
    }
  }
  flush();
  return pages;
}

}  // namespace report
