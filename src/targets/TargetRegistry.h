// The current user's monitored targets: one numbered key per printer under the family
// key VQLTarget (named by printer name) or VQNTarget (named by port name only). Finds a
// printer's target, or purges stale targets and creates one that the driver's printer
// library fills with defaults. Every key, printer and library is released per call.
#pragma once

#include <windows.h>

// Results of GetTargetKey.
const int TARGET_OK = 0;           // found, or created and filled by the printer library
const int TARGET_NOT_CREATED = 1;  // the new key could not be made or completed
const int TARGET_NO_LIBRARY = 4;   // the printer library could not be loaded
const int TARGET_NO_EXPORT = 5;    // the library lacks "PrSetRegDefaultValue"
// Any other value is the result of "PrSetRegDefaultValue".

// Results of FindTargetKey.
const int TARGET_FOUND = 0;
const int TARGET_NO_MATCH = 1;
const int TARGET_NO_FAMILY = 4;

// Finds or creates the printer's target: by printer name in VQLTarget (*pnNameKind 0),
// or, when only the port name is given, by port name in VQNTarget (*pnNameKind 1).
// szKeyPath (MAX_PATH characters) gets the target's path under HKEY_CURRENT_USER when
// it was found or a new key received its "Name"; otherwise it is left as it was. A new
// target whose printer library could not be loaded or lacks its export (4, 5) is
// deleted again and szKeyPath emptied, so that the next start makes it afresh; one the
// library ran for stays, whatever the library returned.
int GetTargetKey(LPCSTR szPrinterName, LPCSTR szPortName, LPCSTR szModelID, int* pnNameKind, char* szKeyPath);

// Looks up the target whose "Name" equals szTargetName without regard to case, in
// VQNTarget when bPortName is non-zero, else in VQLTarget. szKeyPath is written only
// when found.
int FindTargetKey(LPCSTR szTargetName, BOOL bPortName, char* szKeyPath);
