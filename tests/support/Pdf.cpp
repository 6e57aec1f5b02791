#include "support/Pdf.h"

#include <cstdlib>
#include <regex>

#include "support/HostProcess.h"

std::vector<std::string> pdfPages(const std::filesystem::path& pdf) {
  const std::string file = hostPath(pdf);
  const std::string info = hostRun({"/usr/bin/pdfinfo", file});
  const size_t at = info.find("Pages:");
  const int count = at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 6);
  std::vector<std::string> pages;
  for (int k = 1; k <= count; ++k) {
    pages.push_back(hostRun(
        {"/usr/bin/pdftotext", "-layout", "-f", std::to_string(k), "-l", std::to_string(k), file, "-"}));
  }
  return pages;
}

PdfLayout pdfWords(const std::filesystem::path& pdf) {
  const std::string html = hostRun({"/usr/bin/pdftotext", "-bbox", hostPath(pdf), "-"});
  PdfLayout out;
  int page = 0;
  const std::regex tag(
      R"re(<page width="([0-9.]+)"|<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)"[^>]*>([^<]*)</word>)re");
  for (std::sregex_iterator it(html.begin(), html.end(), tag), end; it != end; ++it) {
    const auto& m = *it;
    if (m[1].matched) {
      ++page;
      out.pageWidth = std::stod(m[1]);
    } else {
      out.words.push_back({page, std::stod(m[2]), std::stod(m[3]), m[4]});
    }
  }
  return out;
}
