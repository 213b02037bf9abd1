// CMainFrame: the deleted-printer check. When the spooler says the printer no longer
// exists, the start-up entries (and our parameter files they name) are removed and the
// resident closes.
#include "frame/MainFrame.h"

#include "app/DebugLog.h"
#include "base/Scoped.h"
#include "cmdline/OpenPrinterByName.h"
#include "profile/Contracts.h"

#include <cstring>

namespace {

// Only a file of ours is deleted: another program's Run value may share the printer's
// name, and the file it names is that program's own.
bool IsParamFileName(const char* pszPath) {
  const char* pszName = pszPath;
  for (const char* p = pszPath; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') pszName = p + 1;
  const size_t cchName = strlen(pszName);
  const size_t cchPrefix = strlen(PARAM_FILE_PREFIX);
  const size_t cchExt = strlen(PARAM_FILE_EXT);
  if (cchName < cchPrefix + cchExt) return false;
  char szPrefix[8] = {0};
  memcpy(szPrefix, pszName, cchPrefix);
  return lstrcmpiA(szPrefix, PARAM_FILE_PREFIX) == 0 && lstrcmpiA(pszName + cchName - cchExt, PARAM_FILE_EXT) == 0;
}

}  // namespace

void CMainFrame::OnTimer(UINT_PTR nTimerID) {
  if (m_nTimerID == 0 || nTimerID != m_nTimerID || m_bInstall) return;
  if (!ChkDelPrn()) PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

BOOL CMainFrame::ChkDelPrn() {
  CPrinterHandle hPrinter;
  if (OpenPrinterByName(m_szPrinterName, hPrinter.Receive(), nullptr)) {
    DebugLogWriteStr("CMainFrame::ChkDelPrn : Printer Open Success", m_szPrinterName);
    return TRUE;
  }
  // Read before the log line, which may overwrite it.
  const DWORD dwError = GetLastError();
  DebugLogWriteStr("CMainFrame::ChkDelPrn : Printer Open Failed", m_szPrinterName);
  // A spooler that is restarting or not yet up, or an open refused for a printer that
  // exists, is no deleted printer: the next check tries again.
  if (dwError != ERROR_INVALID_PRINTER_NAME) return TRUE;

  if (m_nTimerID) {
    KillTimer(m_hWnd, m_nTimerID);
    m_nTimerID = 0;
  }
  DebugLogWrite("Delete Reg HKCU\\run");
  RemoveStartupEntry(HKEY_CURRENT_USER);
  DebugLogWrite("Delete Reg HKLM\\run");
  RemoveStartupEntry(HKEY_LOCAL_MACHINE);
  PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
  return FALSE;
}

void CMainFrame::RemoveStartupEntry(HKEY hHive) {
  CRegKey hKey;
  if (RegOpenKeyExA(hHive, REG_RUN_KEY, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return;
  const char* pszName = GetLabel();

  char szData[MAX_PATH + 1] = {0};
  DWORD cbData = MAX_PATH;
  if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(szData), &cbData) == ERROR_SUCCESS) {
    // The stored data need not end in a zero; the spare byte ends it.
    char* pszFirst = strchr(szData, '"');
    char* pszLast = strrchr(szData, '"');
    if (pszFirst && pszLast && pszFirst < pszLast) {
      *pszLast = '\0';
      if (IsParamFileName(pszFirst + 1)) DeleteFileA(pszFirst + 1);
    }
  }
  RegDeleteValueA(hKey, pszName);
}
