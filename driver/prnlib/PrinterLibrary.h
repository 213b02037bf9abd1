// The demo driver's printer library: one export that gives a newly made monitoring
// target the driver's tray defaults. Built as O_PPRN.DLL.
#pragma once

#include <windows.h>

// Results of PrSetRegDefaultValue.
enum {
  PRNLIB_OK = 0,
  PRNLIB_NO_NAME = 1,       // neither a printer name nor a port name
  PRNLIB_NO_FAMILY = 2,     // the family key of targets cannot be opened
  PRNLIB_NO_TARGET = 3,     // no target of that name
  PRNLIB_WRITE_FAILED = 4,  // the target could not be opened for writing or a value not stored
};

// Finds the target of the printer (by printer name under VQLTarget, or by port name
// under VQNTarget when the printer name is empty; names compared without regard to case)
// and stores "TrayIconEnable" 1 and "TrayIconSelected" 0 there. The driver name, the
// model id and the three reserved numbers are not needed by this driver.
extern "C" int WINAPI PrSetRegDefaultValue(LPCSTR pszPrinterName, LPCSTR pszDriverName, LPCSTR pszPortName,
                                           LPCSTR pszModelID, DWORD dwReserved1, DWORD dwReserved2, DWORD dwReserved3);
