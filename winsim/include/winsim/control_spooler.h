// winsim test controls for the print spooler: the printers OpenPrinterA/W find and
// GetPrinterA describes. Reset() removes them all. Only tests include this.
#pragma once

#include <cstddef>
#include <string>

namespace winsim {

// Adds a printer, or replaces the one of that name (names match without regard to
// case). A null driver or print processor leaves that pointer of the level-2 record null.
void AddPrinter(const std::string& name, const std::string& port, const char* driver,
                const char* printProcessor = "WinPrint");
// False when there is no such printer. Handles already open keep describing it.
bool RemovePrinter(const std::string& name);
// Printer handles not yet given to ClosePrinter.
size_t OpenPrinterCount();

}  // namespace winsim
