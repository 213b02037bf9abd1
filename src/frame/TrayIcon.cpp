// CMainFrame: the notification-area icon: adding it (with retries while the shell is
// not ready), changing it, and loading it again at the notification area's size after the
// shell restarted or the display's scale changed.
#include "frame/MainFrame.h"

#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"

#include <cstring>

namespace {

// At log-on the resident may start before the notification area is ready.
const int TRAY_ADD_ATTEMPTS = 5;
const DWORD TRAY_ADD_RETRY_MS = 1000;

// The bytes of the character at p in the system code page: a double-byte character, or in
// UTF-8 a sequence of up to four; one cut short by the terminator ends there.
size_t CharBytes(const char* p, bool bUtf8) {
  const BYTE c = static_cast<BYTE>(*p);
  size_t cb = 1;
  if (bUtf8)
    cb = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  else if (IsDBCSLeadByte(c))
    cb = 2;
  for (size_t i = 1; i < cb; ++i)
    if (!p[i]) return i;
  return cb;
}

// The tip holds 63 characters of the first record form; a longer label keeps its start
// and ends in "..." so it still reads as cut. The cut never splits a character: the label
// is walked from its start, as a trail byte can look like a lead.
void FitTip(char* pszTip, size_t cbTip, const char* pszLabel) {
  if (CopyStr(pszTip, cbTip, pszLabel)) return;
  const char szEllipsis[] = "...";
  const size_t cbKept = cbTip - sizeof(szEllipsis);
  const bool bUtf8 = GetACP() == CP_UTF8;
  size_t cb = 0;
  for (;;) {
    const size_t cbChar = CharBytes(pszLabel + cb, bUtf8);
    if (cb + cbChar > cbKept) break;
    cb += cbChar;
  }
  memcpy(pszTip + cb, szEllipsis, sizeof(szEllipsis));
}

}  // namespace

int CMainFrame::ShownIcon(int nIndex) {
  // A stored choice outside the three icons shows the first one.
  return nIndex >= 0 && nIndex < TRAYICON_COUNT ? nIndex : 0;
}

int CMainFrame::SetTrayIcon(int nIndex, int bAdd) {
  const int cbTip = (NOTIFYICONDATAA_V1_SIZE - FIELD_OFFSET(NOTIFYICONDATAA, szTip));
  FitTip(m_nid.szTip, static_cast<size_t>(cbTip), GetLabel());
  const int nIcon = ShownIcon(nIndex);

  if (!bAdd) {
    m_nid.hIcon = m_hIcon[nIcon];
    Shell_NotifyIconA(NIM_MODIFY, &m_nid);
    return 1;
  }

  m_nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  m_nid.hWnd = m_hWnd;
  m_nid.uID = 0;
  m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_nid.uCallbackMessage = WM_TRAYNOTIFY;
  LoadTrayIcons(m_hResDll, m_hIcon);
  m_nid.hIcon = m_hIcon[nIcon];
  return AddTrayIcon();
}

void CMainFrame::LoadTrayIcons(HMODULE hResDll, HICON* phIcons) {
  // The notification area's size for the system DPI: 16 at 96, 24 at 144. The library's
  // image closest to it is taken, and scaled only when it has none of that size.
  m_nIconWidth = GetSystemMetrics(SM_CXSMICON);
  m_nIconHeight = GetSystemMetrics(SM_CYSMICON);
  for (int i = 0; i < TRAYICON_COUNT; ++i)
    phIcons[i] = static_cast<HICON>(LoadImageA(
        hResDll, MAKEINTRESOURCEA(IDI_TRAYICON_0 + i), IMAGE_ICON, m_nIconWidth, m_nIconHeight, LR_DEFAULTCOLOR));
}

int CMainFrame::ReloadTrayIcons(DWORD dwMessage) {
  if (!m_nid.hWnd) return 0;
  // The library is loaded again for the moment. Without it (a driver update under way) the
  // icons held serve as they are, and the next change tries again.
  HICON ahNew[TRAYICON_COUNT] = {};
  const int nOldWidth = m_nIconWidth;
  const int nOldHeight = m_nIconHeight;
  {
    CLibrary hResDll(LoadLibraryExA(m_szResDllPath, nullptr, RESDLL_LOAD_FLAGS));
    if (hResDll.IsValid()) LoadTrayIcons(hResDll, ahNew);
  }
  const bool bNew = ahNew[0] && ahNew[1] && ahNew[2];
  HICON ahOld[TRAYICON_COUNT];
  memcpy(ahOld, m_hIcon, sizeof(ahOld));
  if (bNew) memcpy(m_hIcon, ahNew, sizeof(ahNew));
  m_nid.hIcon = m_hIcon[ShownIcon(m_nTrayIconSelected)];
  const BOOL bHeld = Shell_NotifyIconA(dwMessage, &m_nid);
  // The old icons go only once the shell holds a new one; icons it refused, or an
  // incomplete set, go instead.
  if (!bNew || !bHeld) {
    memcpy(m_hIcon, ahOld, sizeof(ahOld));
    m_nid.hIcon = m_hIcon[ShownIcon(m_nTrayIconSelected)];
    m_nIconWidth = nOldWidth;
    m_nIconHeight = nOldHeight;
  }
  const HICON* phUnused = bNew && bHeld ? ahOld : ahNew;
  for (int i = 0; i < TRAYICON_COUNT; ++i)
    if (phUnused[i]) DestroyIcon(phUnused[i]);
  return bHeld ? 1 : 0;
}

int CMainFrame::AddTrayIcon() {
  for (int nAttempt = 1;; ++nAttempt) {
    if (Shell_NotifyIconA(NIM_ADD, &m_nid)) return 1;
    // The shell can report failure after a slow add that did happen.
    if (Shell_NotifyIconA(NIM_MODIFY, &m_nid)) return 1;
    if (nAttempt == TRAY_ADD_ATTEMPTS) return 0;
    Sleep(TRAY_ADD_RETRY_MS);
  }
}

int CMainFrame::OnTaskbarCreated() { return ReloadTrayIcons(NIM_ADD); }

int CMainFrame::OnSettingChange() {
  // A new scale, or a new small-icon size: the icon follows when its size changed.
  if (GetSystemMetrics(SM_CXSMICON) == m_nIconWidth && GetSystemMetrics(SM_CYSMICON) == m_nIconHeight) return 0;
  return ReloadTrayIcons(NIM_MODIFY);
}
