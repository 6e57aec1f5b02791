#include "view/TextRows.h"

#include <algorithm>
#include <utility>

namespace {

bool separator(char c) {
  return c == '\n' || c == '\f';
}

bool dropped(char c) {
  return c == '\r' || c == '\0';
}

}  // namespace

TextRows::TextRows(std::string_view text, Style style)
    : text_(text), style_(style), first_(style == Style::Alarm ? 1 : 0), count_(first_) {
  // One pass: the row starts at every 16th row, and the longest rows by their length without trailing
  // blanks (a small heap, shortest on top; among equal lengths the earlier row stays).
  std::vector<std::pair<size_t, size_t>> heap;  // (length, row)
  const auto shorter = [](const std::pair<size_t, size_t>& a, const std::pair<size_t, size_t>& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  };
  const auto consider = [&](size_t length, size_t row) {
    if (length == 0) return;
    if (heap.size() == kLongest) {
      if (length <= heap.front().first) return;
      std::pop_heap(heap.begin(), heap.end(), shorter);
      heap.pop_back();
    }
    heap.emplace_back(length, row);
    std::push_heap(heap.begin(), heap.end(), shorter);
  };
  size_t start = 0;
  bool afterFormFeed = false;
  for (;;) {
    const size_t end = lineEnd(start);
    size_t kept = 0, lastNonBlank = 0;
    for (size_t i = start; i < end; ++i) {
      if (dropped(text[i])) continue;
      ++kept;
      if (text[i] != ' ') lastNonBlank = kept;
    }
    if (style_ == Style::Report || kept > 0) {
      if ((count_ - first_) % kStep == 0) marks_.push_back(start);
      const size_t prefix = style_ == Style::Alarm ? 0 : afterFormFeed ? 4 : 2;
      consider(lastNonBlank == 0 ? 0 : prefix + lastNonBlank, count_);
      ++count_;
    }
    if (end == text.size()) break;
    afterFormFeed = text[end] == '\f';
    start = end + 1;
  }
  marks_.shrink_to_fit();
  std::sort(heap.begin(), heap.end(), shorter);
  for (const auto& [length, row] : heap) longest_.push_back(row);
}

size_t TextRows::lineEnd(size_t at) const {
  while (at < text_.size() && !separator(text_[at])) ++at;
  return at;
}

bool TextRows::keepsAByte(size_t start, size_t end) const {
  for (size_t i = start; i < end; ++i) {
    if (!dropped(text_[i])) return true;
  }
  return false;
}

size_t TextRows::lineStart(size_t i) const {
  const size_t k = i - first_;
  size_t at = marks_[k / kStep];
  for (size_t n = k % kStep; n > 0; --n) {
    do at = lineEnd(at) + 1;  // alarm rows pass over the lines that keep nothing
    while (style_ == Style::Alarm && !keepsAByte(at, lineEnd(at)));
  }
  return at;
}

std::string TextRows::row(size_t i) const {
  if (i < first_ || i >= count_) return {};
  const size_t start = lineStart(i);
  std::string out;
  if (style_ == Style::Report) out = start > 0 && text_[start - 1] == '\f' ? "    " : "  ";
  for (size_t at = start; at < text_.size() && !separator(text_[at]); ++at) {
    if (!dropped(text_[at])) out += text_[at];
  }
  return out;
}
