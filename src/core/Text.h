#pragma once
// Small text rules shared by the dialogs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// Without leading and trailing blanks and control characters (bytes up to 0x20).
std::string trimBlanks(std::string_view s);

// A decimal integer with an optional sign and nothing else; nothing when the text is not one or does
// not fit 32 bits.
std::optional<int32_t> parseInteger(std::string_view s);

}  // namespace text
