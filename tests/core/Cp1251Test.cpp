#include "core/Cp1251.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1251, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = cp1251::toUtf8(all);
  const auto back = cp1251::fromUtf8(utf8);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
}

TEST(Cp1251, EveryByteHasItsOwnCodePoint) {
  for (int a = 0; a < 256; ++a) {
    for (int b = a + 1; b < 256; ++b) {
      ASSERT_NE(cp1251::toUnicode(static_cast<unsigned char>(a)),
                cp1251::toUnicode(static_cast<unsigned char>(b)))
          << a << " " << b;
    }
  }
}

TEST(Cp1251, KnownLetters) {
  struct Case {
    unsigned char byte;
    char32_t cp;
  };
  const Case cases[] = {
      {0x41, U'A'},   {0xC0, U'А'}, {0xDF, U'Я'}, {0xE0, U'а'}, {0xFF, U'я'},
      {0xA8, U'Ё'},   {0xB8, U'ё'}, {0x88, U'€'}, {0xB9, U'№'}, {0x98, char32_t{0x98}},
      {0xA0, 0x00A0}, {0x96, U'–'}, {0x97, U'—'}, {0xAB, U'«'}, {0xBB, U'»'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp1251::toUnicode(c.byte), c.cp) << int(c.byte);
    EXPECT_EQ(cp1251::fromUnicode(c.cp), c.byte) << int(c.byte);
  }
}

TEST(Cp1251, TypedTextThatTheCodePageCannotHoldIsRefused) {
  struct Case {
    const char* utf8;
    bool holds;
  };
  const Case cases[] = {
      {"", true},
      {"Объект-1 ГРС", true},
      {"Plain ASCII 123", true},
      {"№ «станция» — €", true},
      {"中文", false},
      {"газ 😀", false},
      {"ü", false},             // Latin-1 letter not in Windows-1251
      {"\xC0\x80", false},      // overlong NUL
      {"\xED\xA0\x80", false},  // surrogate half
      {"\xD0", false},          // truncated sequence
      {"\xFF", false},          // not UTF-8 at all
  };
  for (const auto& c : cases) EXPECT_EQ(cp1251::canHold(c.utf8), c.holds) << c.utf8;
}

TEST(Cp1251, FromUtf8GivesTheWindows1251Bytes) {
  EXPECT_EQ(cp1251::fromUtf8("яАё"), std::string("\xFF\xC0\xB8"));
  EXPECT_EQ(cp1251::toUtf8("\xCE\xE1\xFA\xE5\xEA\xF2"), "Объект");
}

}  // namespace
