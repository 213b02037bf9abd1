// CMainFrame: the notification-area icon: adding it (with retries while the shell is
// not ready), changing it, and adding it again after the shell restarted.
#include "frame/MainFrame.h"

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

int CMainFrame::SetTrayIcon(int nIndex, int bAdd) {
  const int cbTip = (NOTIFYICONDATAA_V1_SIZE - FIELD_OFFSET(NOTIFYICONDATAA, szTip));
  FitTip(m_nid.szTip, static_cast<size_t>(cbTip), GetLabel());
  // A stored choice outside the three icons shows the first one.
  const int nIcon = (nIndex >= 0 && nIndex < TRAYICON_COUNT) ? nIndex : 0;

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
  for (int i = 0; i < TRAYICON_COUNT; ++i)
    m_hIcon[i] = static_cast<HICON>(
        LoadImageA(m_hResDll, MAKEINTRESOURCEA(IDI_TRAYICON_0 + i), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  m_nid.hIcon = m_hIcon[nIcon];
  return AddTrayIcon();
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

int CMainFrame::OnTaskbarCreated() {
  // The record and icons still held go back as they are: the resource library is gone,
  // and loading the icons again would give blank ones.
  if (!m_nid.hWnd) return 0;
  return Shell_NotifyIconA(NIM_ADD, &m_nid) ? 1 : 0;
}
