// What the command-line fuzz targets start from: one printer the spooler knows, and its
// driver's key with a model id, so parsing reaches the spooler and the registry.
#pragma once

#include "winsim/control.h"

inline void SeedMachine() {
  winsim::Reset();
  winsim::AddPrinter("Office Printer", "LPT1:", "OLMAR Drv");
  winsim::ImportRegText(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\software\\OLMAR\\PRW3\\Driver\\OLMAR Drv]\n"
      "\"ModelID\"=\"M1\"\n");
}
