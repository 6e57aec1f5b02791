#pragma once
// Report file names and the catalogue's entry rule: which files of a kind folder become list entries,
// and the date key each one shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ReportKind.h"

// A directory of an object counts as a flow computer's line when its name has "v" first and "n" sixth;
// names longer than nine characters or that could not be a folder name are not taken.
bool isComputerDirectory(const std::string& name);

// The part of a report file name of kind before "-<line>-<code>-": the object's name, as the reports of
// a connection to one object's directory tell it; nothing when the name holds no such part.
std::optional<std::string> objectNamePart(std::string_view fileName, std::string_view line, ReportKind kind);
// Whether a name told that way can be an object's name (a folder name of at most 49 bytes).
bool usableObjectName(const std::string& name);

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
