// The two source choices of the main menu: an FTP server from the connection list, or a local folder.

#include "app/Main.h"

// "Выбор FTP- сервера". The connection list and the object list arrive with the connection dialogs;
// until then the command leaves the window as it is.
void TFormMain::N_ServListClick() {}

// "Выбор каталога". The local folder dialog arrives with the object list; until then the command leaves
// the window as it is.
void TFormMain::N_DirListClick() {}
