#include "core/BrowseState.h"

void BrowseState::clearSelection() {
  ObjectPath.clear();
  ObjectNameKnown = false;
  ObjectName.clear();
  ComputerDir.clear();
  FilePrefix.clear();
  GasParFileName.clear();
  AlarmFileName.clear();
  CurrentDirectory.clear();
}
