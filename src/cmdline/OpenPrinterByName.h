// The one way the program opens a printer by name: the ANSI call, and on the NT family
// the wide-character call when the ANSI one fails; and the reading of its level-2 record.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <memory>

// Returns the spooler's result; the caller closes the handle with ClosePrinter. On
// failure the last error is the one of the call whose result is returned.
BOOL OpenPrinterByName(char* pszPrinterName, HANDLE* phPrinter, PRINTER_DEFAULTSA* pDefaults);

// The printer's level-2 record (a PRINTER_INFO_2A with its strings inside the block), or
// null when it cannot be read. Only the spooler's size answer leads on to the read.
std::unique_ptr<BYTE[]> ReadPrinterInfo2(HANDLE hPrinter);
