// The object click: the flow computers and lines of the chosen object.

#include "app/Main.h"

// The computer list, the alarm time and the gas parameters of the chosen object arrive with the
// object-browsing step; until then a click on an object changes nothing.
void TFormMain::StringGrid1Click() {}
