#pragma once
// Printed output read back: the text of each page of a PDF file (pdfinfo and pdftotext of poppler-utils).

#include <filesystem>
#include <string>
#include <vector>

std::vector<std::string> pdfPages(const std::filesystem::path& pdf);

// The words of a PDF file with their horizontal extent in points (pdftotext -bbox), page by page.
struct PdfWord {
  int page;  // from 1
  double xMin, xMax;
  std::string text;
};
struct PdfLayout {
  double pageWidth = 0;
  std::vector<PdfWord> words;
};
PdfLayout pdfWords(const std::filesystem::path& pdf);
