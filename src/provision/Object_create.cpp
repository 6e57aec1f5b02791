// "Создание объекта": creation of a new object's directory tree on a server.

#include "app/Main.h"

// The object-creation dialog arrives with its own subsystem; until then the command leaves the window
// as it is.
void TFormMain::N1Click() {}
