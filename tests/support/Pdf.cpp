#include "support/Pdf.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>

namespace {

std::string run(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
  return out;
}

}  // namespace

std::vector<std::string> pdfPages(const std::filesystem::path& pdf) {
  const std::string info = run("pdfinfo '" + pdf.string() + "'");
  const size_t at = info.find("Pages:");
  const int count = at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 6);
  std::vector<std::string> pages;
  for (int k = 1; k <= count; ++k) {
    pages.push_back(run("pdftotext -layout -f " + std::to_string(k) + " -l " + std::to_string(k) + " '" +
                        pdf.string() + "' -"));
  }
  return pages;
}

PdfLayout pdfWords(const std::filesystem::path& pdf) {
  const std::string html = run("pdftotext -bbox '" + pdf.string() + "' -");
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
