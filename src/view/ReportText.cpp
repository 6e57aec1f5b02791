#include "view/ReportText.h"

#include <algorithm>

namespace report {

namespace {

constexpr char kLf = '\n';
constexpr char kFf = '\f';
constexpr char kCr = '\r';

}  // namespace

std::vector<std::string> viewerRows(std::string_view text) {
  std::vector<std::string> rows(1);
  std::string line = "  ";
  const auto flush = [&] {
    rows.back() += line;
    line = "  ";
  };
  // Runs of ordinary bytes are appended whole: a report may hold a megabyte.
  static constexpr std::string_view kSpecial("\0\r\n\f", 4);
  size_t i = 0;
  while (i < text.size()) {
    const size_t end = std::min(text.find_first_of(kSpecial, i), text.size());
    line.append(text.data() + i, end - i);
    if (end == text.size()) break;
    if (text[end] == kLf) {
      flush();
      rows.emplace_back();
    } else if (text[end] == kFf) {
      flush();
      rows.emplace_back("  ");
    }
    i = end + 1;
  }
  flush();
  return rows;
}

std::vector<std::string> alarmRows(std::string_view text) {
  std::vector<std::string> rows(1);
  std::string line;
  for (const char c : text) {
    if (c == '\0' || c == kCr) continue;
    if (c == kLf || c == kFf) {
      if (!line.empty()) rows.push_back(std::move(line));
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) rows.push_back(std::move(line));
  return rows;
}

int listingHeight(size_t rows) {
  const size_t h = rows * kRowHeight + 5;
  return static_cast<int>(std::min<size_t>(h, kMaxListingHeight));
}

std::string longestRow(const std::vector<std::string>& rows) {
  std::string best;
  for (const auto& r : rows) {
    const size_t end = r.find_last_not_of(' ');
    const size_t n = end == std::string::npos ? 0 : end + 1;
    if (n > best.size()) best = r.substr(0, n);
  }
  return best;
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
