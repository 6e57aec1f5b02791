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

std::vector<PageRange> pageRanges(std::string_view text) {
  std::vector<PageRange> pages;
  size_t begin = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != kFf) continue;
    pages.push_back({begin, i, pages.empty()});
    begin = i + 1;
    if (begin == text.size()) return pages;  // a closing form feed starts no page
  }
  pages.push_back({begin, text.size(), pages.empty()});
  return pages;
}

std::string pageLine(std::string_view text, const PageRange& p, size_t at, size_t& next) {
  if (at == kOpening) {
    next = p.begin;
    return " ";
  }
  std::string line = at == p.begin && !p.first ? " " : "";
  size_t i = at;
  for (; i < p.end && text[i] != kLf; ++i) {
    if (text[i] != kCr && text[i] != '\0') line += text[i];
  }
  next = i < p.end ? i + 1 : kNoLine;
  return line;
}

std::vector<Page> composePages(std::string_view text) {
  std::vector<Page> pages;
  for (const PageRange& p : pageRanges(text)) {
    pages.emplace_back();
    for (size_t at = firstLine(p); at != kNoLine;) pages.back().push_back(pageLine(text, p, at, at));
  }
  return pages;
}

}  // namespace report
