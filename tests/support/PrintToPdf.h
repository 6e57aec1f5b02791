#pragma once
// What a print action puts on paper: the print dialog confirmed with a PDF file as the printer, the
// action run, the pages' text read back (none when nothing was printed).

#include <QPrinter>

#include <functional>
#include <string>
#include <vector>

#include "support/Pdf.h"
#include "support/TempDir.h"
#include "view/Report_prn.h"

inline std::vector<std::string> printedPages(const std::function<void()>& print) {
  TempDir out;
  const auto pdf = out.path() / "printed.pdf";
  setPrintDialog([&](QPrinter& p, QWidget*) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString(pdf.string()));
    return true;
  });
  print();
  setPrintDialog({});
  return std::filesystem::exists(pdf) ? pdfPages(pdf) : std::vector<std::string>{};
}
