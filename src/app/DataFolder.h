#pragma once
// Where the program keeps its folders REPORT (downloaded files) and INI (the settings file ftp_conn.ini).

#include <QString>

#include <optional>
#include <string>

// The executable's own folder when the program may write there (an unpacked copy, a build folder, an
// install into the operator's own folder): REPORT and INI are then made beside the executable when
// missing. A folder of the system (below /usr or /opt, Program Files or the Windows folder) or one the
// program cannot write is never written to; the user's own data folder is used instead and made when
// missing: ~/.local/share/ostraftp, %LOCALAPPDATA%\ostraftp on Windows.
// The result is Windows-1251 bytes ending with a separator; nullopt, with the reason in why, when the
// folder cannot be used or its name cannot be held by that code page.
std::optional<std::string> dataFolder(const QString& exeFolder, std::string& why);
