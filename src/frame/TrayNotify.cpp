// CMainFrame: the tray icon's mouse messages: a double click opens the printer's status,
// a right-button press shows the pop-up menu (or, with Ctrl+Shift+Space held, closes
// the resident). The deleted-printer check comes first unless in install mode.
#include "frame/MainFrame.h"

namespace {

bool IsKeyDown(SHORT nState) { return (nState & 0x8000) != 0; }

}  // namespace

int CMainFrame::OnTrayNotify(WPARAM, LPARAM lParam) {
  if (m_bMenuOpen) return 0;
  const UINT uMouseMsg = static_cast<UINT>(lParam);
  if (uMouseMsg != WM_LBUTTONDBLCLK && uMouseMsg != WM_RBUTTONDOWN) return 0;

  if (!m_bInstall && !ChkDelPrn()) {
    PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 1;
  }
  if (uMouseMsg == WM_LBUTTONDBLCLK) {
    OnPrinterStatus();
    return 0;
  }

  SetForegroundWindow(m_hWnd);
  SetFocus(m_hWnd);
  const SHORT nControl = GetAsyncKeyState(VK_CONTROL);
  const SHORT nShift = GetAsyncKeyState(VK_SHIFT);
  const SHORT nSpace = GetAsyncKeyState(VK_SPACE);
  if (IsKeyDown(nControl) && IsKeyDown(nShift) && IsKeyDown(nSpace)) {
    PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
  }

  POINT pt = {0, 0};
  GetCursorPos(&pt);
  HMENU hPopup = m_hMenu ? GetSubMenu(m_hMenu, 0) : nullptr;
  if (!hPopup) return 0;
  HWND hOwner = m_hWnd;
  while (hOwner && (GetWindowLongA(hOwner, GWL_STYLE) & WS_CHILD)) hOwner = GetParent(hOwner);
  DrawMenuBar(hOwner);
  m_bMenuOpen = 1;
  TrackPopupMenu(hPopup, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hOwner, nullptr);
  m_bMenuOpen = 0;
  // Posted, as the platform documents for a notification-area menu: the system then
  // switches tasks properly, so that a click elsewhere closes the next menu.
  PostMessageA(m_hWnd, WM_NULL, 0, 0);
  return 0;
}
