// Driving a running resident from another process, as a user or another monitor program
// would: find its hidden window, post tray clicks to it, work its pop-up menu with the
// keyboard, read its slot in the shared monitor table and the colour of its tray icon
// as Wine draws it. Used by the end-to-end tests and by the prw3ctl tool.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace residentctl {

const DWORD DEFAULT_TIMEOUT_MS = 10000;

// The resident's hidden window, waiting up to timeoutMs for it to appear; null if none.
HWND FindResident(DWORD timeoutMs);
// True once the window is gone (false after timeoutMs).
bool WaitGone(HWND hWnd, DWORD timeoutMs);
// Posts the tray icon's callback with a mouse message (WM_RBUTTONDOWN, WM_LBUTTONDBLCLK).
bool PostTrayMouse(HWND hResident, UINT uMouseMsg);

// The open pop-up menu's window (class "#32768"), waiting up to timeoutMs.
HWND WaitForMenu(DWORD timeoutMs);
// The position of a command among the selectable items (separators skipped) of the
// resident's pop-up, found by building the same menu from the same driver; -1 if the
// command is not in it.
int MenuPosition(HWND hResident, UINT nCommand);
// Waits for the open menu and chooses the command with the keyboard; true once the menu
// has closed after the choice.
bool ChooseMenuItem(HWND hResident, UINT nCommand, DWORD timeoutMs);
// Waits for the open menu and closes it without a command.
bool CancelMenu(DWORD timeoutMs);

// One entry of the shared monitor table's block for keys of up to 260 characters.
struct TableEntry {
  int nIndex;
  BYTE nFirstByte;  // 0xFF end marker, 0 free, else the name's first character
  std::string name;
  DWORD nKind12;
  DWORD nKind0;
  DWORD nKind3;
};
// The entries before the end marker (all of them when there is none); false when the
// block does not exist. *pnEndMarker gets the end marker's index, or -1 when none.
bool ReadTable(std::vector<TableEntry>* pEntries, int* pnEndMarker);
// The tray resident's window stored for the key (compared without regard to case), or
// null when the key is not in the table or its slot is empty.
HWND TableWindow(const std::string& key);

// The colours of the tray icons in Wine's own tray window (shown when no tray manager
// runs), left to right: "green", "amber", "red" or "other"; icons without colour (grey or
// blank) are left out. Empty when there is no tray window.
std::vector<std::string> TrayIconColors();

// The screen's pixels inside rc (read through the screen's DC) as 0x00RRGGBB values,
// top row first.
bool CaptureScreen(const RECT& rc, std::vector<DWORD>* pPixels);
// Writes the whole screen as a 24-bit .bmp file.
bool SaveScreenBitmap(const std::string& path);

}  // namespace residentctl
