#include "core/Formats.h"

#include <gtest/gtest.h>

#include "core/Text.h"

namespace {

TEST(Formats, DateAndTimePatterns) {
  const fsys::CalendarTime t{2009, 3, 5, 14, 7, 9};
  struct Case {
    const char* pattern;
    const char* date;
    const char* time;
  };
  const Case cases[] = {
      {"dd.mm.yy", "05.03.09", "00.07.09"}, {"dd.mm.yyyy", "05.03.2009", "00.07.09"},
      {"d.m.yy", "5.3.09", "0.7.09"},       {"hh:mm:ss", "hh:03:ss", "14:07:09"},
      {"h:nn:ss", "h:nn:ss", "14:07:09"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formats::formatDate(t, c.pattern), c.date) << c.pattern;
    if (std::string(c.pattern).find('h') != std::string::npos) {
      EXPECT_EQ(formats::formatTime(t, c.pattern), c.time) << c.pattern;
    }
  }
}

TEST(Formats, DateTimeUsesTheCurrentFormats) {
  const auto saved = formats::current();
  formats::current() = {"dd.mm.yy", "hh:mm:ss"};
  EXPECT_EQ(formats::formatDateTime({2009, 3, 5, 4, 7, 9}), "05.03.09 04:07:09");
  formats::current() = saved;
}

// Whole numbers as the entry boxes and the settings take them: one optional sign, digits only, 32 bits.
TEST(Formats, IntegersWithOneSignAtMost) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {
      {"21", 21},
      {"+21", 21},
      {"-9", -9},
      {"+-9", std::nullopt},
      {"-+9", std::nullopt},
      {"++9", std::nullopt},
      {"+", std::nullopt},
      {"", std::nullopt},
      {"9x", std::nullopt},
      {" 9", std::nullopt},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(text::parseInteger(text), value) << text;
}

}  // namespace
