// winsim test controls for the notification area: read the tray, script the shell's
// failures, restart the shell, and click an icon.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim {

struct TrayIcon {
  HWND hwnd;
  UINT id;
  DWORD cbSize;          // of the record last passed for it
  UINT flags;            // NIF_ fields ever set
  UINT callbackMessage;
  HICON icon;
  std::string tip;       // at most 63 characters from a first-form record, 127 otherwise
};
// Icons in the tray, in the order they were added.
std::vector<TrayIcon> TrayIcons();

// The next `times` calls with that NIM_ message fail. With appliedAnyway the shell does
// the work and still reports failure (an add that was slow to confirm).
void FailNotifyIcon(DWORD dwMessage, unsigned times, bool appliedAnyway = false);
// The shell restarts: the tray is emptied, then "TaskbarCreated" is posted to every
// top-level window.
void RestartExplorer();
// A mouse message on an icon: posts its callback message (wParam the icon id, lParam the
// mouse message) to its window. False when there is no such icon or it has no callback.
bool PostTrayMouseMessage(HWND hwnd, UINT id, UINT mouseMessage);

}  // namespace winsim
