// The line click: the report catalogue of the chosen line.

#include "app/Main.h"

// The five report lists arrive with the report catalogue; until then choosing a line only records it.
void TFormMain::StringGrid2Click() {
  const int row = StringGrid2->row();
  if (row >= 0) Browse.ComputerDir = StringGrid2->cell(0, row);
}
