// Shared monitor table: for each printer key, which window of each kind of monitor
// program serves it, in two named paging-file blocks shared with the driver's other
// monitor programs. Our own operations take a named mutex that other users of the
// blocks may ignore. The caller owns the mapping handle it gets.
#pragma once

#include "base/Scoped.h"

#include <windows.h>

// Block names, by the length of the key; entries are packed little-endian records.
constexpr const char MONITOR_MAP_NAME[] = "PrwV3MapFile";    // keys of up to 260 characters
constexpr const char MONITOR_MAP_NAME2[] = "PrwV3MapFile2";  // keys of 261 to 520 characters
const int MONITOR_NAME_SIZE = 260;
const int MONITOR_NAME_SIZE2 = 520;
const int MONITOR_ENTRY_SIZE = 274;
const int MONITOR_ENTRY_SIZE2 = 534;
const int MONITOR_ENTRY_COUNT = 500;

// First name byte of an entry: the end marker (this entry and all after it are unused)
// or a free entry left by a removal; any other value is an occupied entry.
const BYTE MONITOR_END_MARKER = 0xFF;
const BYTE MONITOR_FREE_ENTRY = 0x00;

// Kinds of monitor window; kinds 1 and 2 share one slot. The tray resident is kind 3.
const int MONITOR_KIND_0 = 0;
const int MONITOR_KIND_1 = 1;
const int MONITOR_KIND_2 = 2;
const int MONITOR_KIND_TRAY = 3;

// Stored while a resident starts up; IsWindow rejects it, so the slot counts as dead.
const DWORD MONITOR_WND_PLACEHOLDER = 0xFFFFFFFF;

// The mutex that serialises our table operations, in the blocks' namespace.
constexpr const char MONITOR_MUTEX_NAME[] = "PrwV3MapFileMutex";
const DWORD MONITOR_LOCK_TIMEOUT_MS = 5000;

// Holds the table's mutex for one scope. A wait that fails or times out goes on without
// it, so a hung peer delays a start by at most MONITOR_LOCK_TIMEOUT_MS, never stops it;
// an abandoned mutex counts as owned. A scope inside another one (a table operation
// inside CheckInstance's) waits for nothing.
class CMonitorTableLock {
public:
  CMonitorTableLock();
  ~CMonitorTableLock();
  CMonitorTableLock(const CMonitorTableLock&) = delete;
  CMonitorTableLock& operator=(const CMonitorTableLock&) = delete;

private:
  CKernelHandle m_hMutex;
  bool m_bOwned;
};

// Results of RegisterMonitorWindow.
const int MONITOR_REG_CLAIMED = 0;    // hWndValue stored (or the table is full)
const int MONITOR_REG_TAKEN = 1;      // a live window holds the slot, or the entry has no slot for nKind
const int MONITOR_REG_NO_VIEW = 2;    // a view of the block could not be mapped
const int MONITOR_REG_NO_TABLE = -1;  // the block could neither be created nor opened, or the key is too long

// Creates or opens the block for the key (szName1, or szName2 when szName1 is empty),
// finds or adds the key and claims nKind's slot for hWndValue. hWndValue is the 32-bit
// value stored, not a window: callers pass MONITOR_WND_PLACEHOLDER. *phWndOther gets the live window already holding
// the slot (result 1), else null; *phMapFile gets the mapping handle for results 0 to 2, which the caller keeps or
// closes, else null. Keys over 520 characters give -1.
int RegisterMonitorWindow(LPCSTR szName1, LPCSTR szName2, int nKind, DWORD hWndValue, HWND* phWndOther,
                          HANDLE* phMapFile);

// Stores hWnd in nKind's slot of the key's entry (szName1, or szName2 when szName1 is
// empty), whatever the slot held. Returns 0 stored (also when nKind selects no slot),
// -2 key not in the table, 1 table full without the key, -1 no block, no view, or a key
// over 520 characters.
int SetMonitorWindow(LPCSTR szName1, LPCSTR szName2, HWND hWnd, int nKind);

// Clears nKind's slot of the key's entry (szName2 when bUseName2, else szName1) and
// frees the entry when its other slots are empty. Does nothing when the key is missing,
// too long or a view fails; never closes hMapFile.
void UnregisterMonitorWindow(HANDLE hMapFile, LPCSTR szName1, LPCSTR szName2, int nKind, BOOL bUseName2);

// The live window in nKind's slot of the key's entry (szName1, or szName2 when szName1 is
// empty), or null. Opens an existing block only and changes nothing.
HWND FindMonitorWindow(LPCSTR szName1, LPCSTR szName2, int nKind);

// Keys that are empty or begin with the end marker's byte 0xFF (a y with diaeresis in code
// page 1252, the Cyrillic "ya" in 1251) are never stored, as they would read as a free
// entry or as the end of the table: Register answers 0 with nothing stored, as for a full
// table; Set answers 1; Unregister and Find do nothing.
