// The one way the program opens a printer by name: the ANSI call, and on the NT family
// the wide-character call when the ANSI one fails.
#pragma once

#include <windows.h>
#include <winspool.h>

// Returns the spooler's result; the caller closes the handle with ClosePrinter. On
// failure the last error is the one of the call whose result is returned.
BOOL OpenPrinterByName(char* pszPrinterName, HANDLE* phPrinter, PRINTER_DEFAULTSA* pDefaults);
