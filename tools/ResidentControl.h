// Driving a running resident from another process, as a user or another monitor program
// would: find its hidden window, work its pop-up menu with the keyboard, read its slot in
// the shared monitor table and the colour of its tray icon as Wine draws it. Used by the
// prw3ctl tool (scripts/demo) and by the tests.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace residentctl {

// Asks the condition every 20 ms until it holds (true) or timeoutMs is up (false).
template <typename TCondition>
bool WaitFor(DWORD timeoutMs, TCondition condition) {
  for (DWORD start = GetTickCount();; Sleep(20)) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
  }
}

// The resident's hidden window, waiting up to timeoutMs for it to appear; null if none.
HWND FindResident(DWORD timeoutMs);
// True once the window is gone (false after timeoutMs).
bool WaitGone(HWND hWnd, DWORD timeoutMs);
// The open pop-up menu's window (class "#32768") of the process (0: any), waiting up to
// timeoutMs.
HWND WaitForMenu(DWORD dwProcessId, DWORD timeoutMs);
// Waits for the resident's open menu and highlights the item at nPosition (0: the first;
// separators do not count) with the keyboard; returns the menu's window, or null.
HWND SelectMenuItem(HWND hResident, int nPosition, DWORD timeoutMs);
// Waits for the resident's open menu and chooses the item at nPosition among its
// selectable items (0: the first; separators do not count) with the keyboard, as a user
// would. True once the menu has closed after the choice. Which program the item started
// is for the caller to check: the position comes from the menu's documented order, never
// from the resident's own code.
bool ChooseMenuItem(HWND hResident, int nPosition, DWORD timeoutMs);
// Waits for the resident's open menu and closes it without a choice, as Escape does.
bool CloseMenu(HWND hResident, DWORD timeoutMs);

// The occupied entries of the shared monitor table's block for short keys: each key with
// the window of its tray slot. Empty when the block does not exist.
std::vector<std::pair<std::string, DWORD>> TraySlots();
// The tray window stored for the key (compared without regard to case), or null.
HWND TableWindow(const std::string& key);

// The colours of the icons in Wine's own tray window (shown when no tray manager runs),
// left to right: "green", "amber", "red" or "other"; icons without colour are left out.
std::vector<std::string> TrayIconColors();
// The screen's pixels inside rc as 0x00RRGGBB values, top row first.
bool CaptureScreen(const RECT& rc, std::vector<DWORD>* pPixels);

}  // namespace residentctl
