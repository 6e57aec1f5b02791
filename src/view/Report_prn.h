#pragma once
// Printing of a viewer's raw text on A4 portrait: pages cut at form feeds (report::composePages), bold
// Courier New 11 pt (smaller, down to 6 pt, for a wide page), margins 30 mm left and 10 mm top, right and
// bottom. The operator confirms the
// system's print dialog and the pages go straight to the chosen printer; nothing is printed when the
// dialog is cancelled.

#include <functional>
#include <string_view>
#include <vector>

#include "view/ReportText.h"

class QPrinter;
class QWidget;

// The print dialog: true when the operator confirmed it (the printer then holds the choice). Tests
// replace it to confirm with a PDF file as the output, or to cancel.
using PrintDialogSeam = std::function<bool(QPrinter& printer, QWidget* parent)>;
// An empty seam restores the system's dialog.
void setPrintDialog(PrintDialogSeam seam);

class TFormReport_Prn {
 public:
  // The pages of a text, composed when the form is made; the text stays the caller's while it prints.
  std::string_view Text;
  std::vector<report::PageRange> Pages;
  void ComposePages(std::string_view text) {
    Text = text;
    Pages = report::pageRanges(text);
  }

  // Prints the pages on a printer that is set up for A4 here. Each composed page starts a sheet; a page
  // longer than a sheet goes on over the next ones; a page whose widest line does not fit between the
  // margins is printed in a smaller size of the same font (not below 6 pt), and a line still too wide
  // goes on over the next printed lines, so that nothing is cut. The sheets of the printer's page range
  // are printed, as many copies as it asks for.
  void Print(QPrinter& printer) const;
  // The sheets Print makes on this printer (for the dialog's page range).
  [[nodiscard]] int SheetCount(QPrinter& printer) const;
};

// The print action of both viewers ("Печать").
void printText(QWidget* parent, std::string_view text);
