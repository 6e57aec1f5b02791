#pragma once
// The process-wide record of what the main window shows and where browsing stands. The main window owns
// the one instance. Texts are Windows-1251 bytes. Names that a stored format or an entry box limits are
// limited where they are stored or typed; the paths here may be as long as the platform allows.

#include <cstdint>
#include <string>

enum class LocalDirectory : uint8_t { None, Tree, Typed };
// Where the objects come from.
enum class Source : uint8_t { Ftp = 0, LocalFolder = 1 };

struct BrowseState {
  Source SourceMode = Source::Ftp;  // the FTP server of the current connection, or a local folder
  bool Connected = false;           // an FTP session is open; set and cleared by the FTP session only
  std::string BaseDirectory;        // the server's login directory; object directories are its children
  std::string ObjectPath;           // directory of the chosen object
  bool ObjectNameKnown = false;     // ObjectName holds a valid name
  std::string ObjectName;           // the chosen object's row text
  std::string ComputerDir;          // directory of the chosen flow computer and line, "v%1d%03dn%1d"
  std::string FilePrefix;           // ObjectName + "-" + ComputerDir, prefix of report file names
  std::string GasParFileName;       // ObjectName + "-gaspar.txt"
  std::string AlarmFileName;        // ObjectName + "-alarm.txt"
  std::string CurrentDirectory;     // directory the last listing or transfer entered; re-entered on reconnect
  LocalDirectory ActiveLocalDirectory = LocalDirectory::None;

  bool Refreshing = false;      // the refresh button is rebuilding the lists
  bool ListFilling = false;     // the object list is being filled; object clicks are ignored
  bool ReselectByName = false;  // after the object list is rebuilt, select the row equal to ObjectName

  // Clears the fields from ObjectPath through CurrentDirectory, as when a new connection is chosen.
  void clearSelection();
};
