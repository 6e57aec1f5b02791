#pragma once
// Small text rules shared by the dialogs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// Without leading and trailing blanks and control characters (bytes up to 0x20).
std::string trimBlanks(std::string_view s);

// Whether a text holds a control byte (below 0x20): it can neither go into an FTP command (a CR or LF
// would end it early) nor name a Windows file.
bool hasControlBytes(std::string_view s);

// The value of a hexadecimal digit (either case); -1 for any other character.
int hexDigit(char c);

// Each byte for which escaped() is true written as "%XX" (two upper-case hex digits); the files that
// keep names of any bytes in lines of text write them so.
std::string percentEscape(std::string_view s, bool (*escaped)(unsigned char));
// The bytes back; nothing when a "%" is not followed by two hex digits.
std::optional<std::string> percentUnescape(std::string_view s);

// A decimal integer with an optional sign and nothing else; nothing when the text is not one or does
// not fit 32 bits.
std::optional<int32_t> parseInteger(std::string_view s);

// A decimal number with "." as the separator, as the operator types one: surrounding blanks, an optional
// sign, digits with at most one point, an optional exponent. Nothing else ("1,5", "inf", "0x1p3", "").
std::optional<double> parseDecimal(std::string_view s);

}  // namespace text
