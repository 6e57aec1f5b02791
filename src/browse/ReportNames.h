#pragma once
// Report file names and the catalogue's entry rule: which files of a kind folder become list entries,
// and the date key each one shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

bool IsValidReportDate(int32_t month, int32_t day, int32_t hour);

// The list entry for a file of kind (0..4) whose name holds searchText ("<object>-<line>-<code>"), or
// nothing when the file is not a report of that kind. Files under 20 bytes get a trailing "*".
std::optional<std::string> catalogueEntry(std::string_view name, uint32_t size, int kind,
                                          std::string_view searchText);
