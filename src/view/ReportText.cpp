#include "view/ReportText.h"

#include <algorithm>

namespace report {

namespace {

constexpr char kLf = '\n';
constexpr char kFf = '\f';
constexpr char kCr = '\r';

}  // namespace

ViewerRows::ViewerRows(std::string_view text) : text_(text) {
  // One pass: the row starts at every 16th row, and each row's length without trailing blanks.
  size_t best = 0;
  size_t row = 0;
  size_t kept = 0, lastNonBlank = 0;  // of the current line: characters kept, and up to the last non-blank
  size_t prefix = 2;                  // blanks before the line: two, four after a form feed
  marks_.push_back(0);
  const auto endRow = [&](size_t next) {
    const size_t length = lastNonBlank == 0 ? 0 : prefix + lastNonBlank;
    if (length > best) best = length, longest_ = row;
    ++row;
    if (row % kStep == 0) marks_.push_back(next);
    kept = lastNonBlank = 0;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kLf || c == kFf) {
      endRow(i + 1);
      prefix = c == kFf ? 4 : 2;
    } else if (c != kCr && c != '\0') {
      ++kept;
      if (c != ' ') lastNonBlank = kept;
    }
  }
  endRow(text.size());
  count_ = row;
  marks_.shrink_to_fit();
}

size_t ViewerRows::lineStart(size_t i) const {
  size_t at = marks_[i / kStep];
  for (size_t k = i % kStep; k > 0; --k) {
    while (text_[at] != kLf && text_[at] != kFf) ++at;
    ++at;
  }
  return at;
}

std::string ViewerRows::row(size_t i) const {
  if (i >= count_) return {};
  const size_t start = lineStart(i);
  std::string out = start > 0 && text_[start - 1] == kFf ? "    " : "  ";
  for (size_t at = start; at < text_.size() && text_[at] != kLf && text_[at] != kFf; ++at) {
    if (text_[at] != kCr && text_[at] != '\0') out += text_[at];
  }
  return out;
}

std::string ViewerRows::longest() const {
  std::string r = row(longest_);
  const size_t end = r.find_last_not_of(' ');
  r.resize(end == std::string::npos ? 0 : end + 1);
  return r;
}

std::vector<std::string> viewerRows(std::string_view text) {
  const ViewerRows rows(text);
  std::vector<std::string> out;
  for (size_t i = 0; i < rows.size(); ++i) out.push_back(rows.row(i));
  return out;
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
