#pragma once
// Printed output read back: the text of each page of a PDF file (pdfinfo and pdftotext of poppler-utils).

#include <filesystem>
#include <string>
#include <vector>

std::vector<std::string> pdfPages(const std::filesystem::path& pdf);
