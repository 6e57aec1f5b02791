#pragma once
// Report file names and the catalogue's entry rule: which files of a kind folder become list entries,
// and the date key each one shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ReportKind.h"

bool IsValidReportDate(int32_t month, int32_t day, int32_t hour);

// The list entry for a file of kind whose name holds searchText ("<object>-<line>-<code>"), or
// nothing when the file is not a report of that kind. Files under 20 bytes get a trailing "*".
std::optional<std::string> catalogueEntry(std::string_view name, uint32_t size, ReportKind kind,
                                          std::string_view searchText);

// The report's file name rebuilt from a list entry of kind: "<object>-<line>-chakr-2005.03.15-10.txt"
// and so on. The entry is read as the list shows it (surrounding blanks and a trailing "*" do not
// matter); nothing when it does not hold the kind's date.
std::optional<std::string> reportFileName(std::string_view entry, ReportKind kind,
                                          std::string_view objectName, std::string_view computerDir);
