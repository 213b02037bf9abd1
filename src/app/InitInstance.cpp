// Instance start-up and the start-up entry removal.
#include "app/InitInstance.h"

#include "app/DebugLog.h"
#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "cmdline/CommandLine.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"

#include <cstring>

namespace {

// The start-up entry's form: "/A " or "/a " (slash, letter, blank) anywhere in the line.
bool IsStartupEntryForm(const char* pszCmdLine) { return strstr(pszCmdLine, "/A ") || strstr(pszCmdLine, "/a "); }

// After an update the Restart Manager starts the resident again with the same line; not
// after a crash, a hang or a reboot, where the start-up entry serves.
void RegisterForRestart(const char* pszCmdLine) {
  WCHAR szWide[RESTART_MAX_CMD_LINE];
  if (MultiByteToWideChar(CP_ACP, 0, pszCmdLine, -1, szWide, RESTART_MAX_CMD_LINE) == 0) return;
  RegisterApplicationRestart(szWide, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

// The parameter file goes only with a value of this user's that names it: a machine-wide
// entry's file serves every user who logs on, and another user's clean-up must not take it.
void RemoveStartupEntry(CCommandLine& cmdLine) {
  if (DeleteStartupReg(cmdLine.m_szPrinterName, cmdLine.m_szParamFileF))
    cmdLine.DeleteParamFile(cmdLine.m_szParamFileF);
}

}  // namespace

int InitInstance(char* pszCmdLine, CMainFrame* pFrame, HINSTANCE hInstance) {
  const char* pszText = pszCmdLine ? pszCmdLine : "";
  DebugLogWrite("InitInstance");
  DebugLogWriteStr("lpszCmdLine", pszText);

  CCommandLine cmdLine(pszText);

  // Remove mode closes the key's running resident, found through the table before anything
  // asks the spooler, which may no longer know a deleted printer or may be down. It cleans
  // up nothing of its own and claims no slot.
  if (cmdLine.m_bRemove) {
    const HWND hResident = FindRunningResident(cmdLine.m_szPrinterName, cmdLine.m_szPortName);
    if (hResident) PostMessageA(hResident, WM_CLOSE, 0, 0);
    return 0;
  }

  const bool bAvailable = cmdLine.m_szPrinterName[0] ? cmdLine.FillFromPrinter() != 0 : cmdLine.m_szPortName[0] != '\0';
  if (!bAvailable) {
    // The entry goes only for a printer the spooler says does not exist (or for an entry
    // that names none): a spooler not yet up at log-on must not cost the user the entry.
    const bool bGone = !cmdLine.m_szPrinterName[0] || cmdLine.m_nPrinterError == ERROR_INVALID_PRINTER_NAME;
    if (bGone && IsStartupEntryForm(pszText)) RemoveStartupEntry(cmdLine);
    return 0;
  }
  if (!cmdLine.m_szModelID[0]) return 0;

  pFrame->Create(TRAY_WND_CLASS, TRAY_WND_TITLE, WS_OVERLAPPEDWINDOW | WS_MINIMIZE, hInstance, nullptr);

  CopyStr(pFrame->m_szModelID, cmdLine.m_szModelID);
  CopyStr(pFrame->m_szPrinterName, cmdLine.m_szPrinterName);
  CopyStr(pFrame->m_szPortName, cmdLine.m_szPortName);
  CopyStr(pFrame->m_szDriverName, cmdLine.m_szDriverName);
  pFrame->m_bRemove = cmdLine.m_bRemove;
  pFrame->m_bInstall = cmdLine.m_bInstall;

  DebugLogWriteStr("MainFrame.m_szModelID", pFrame->m_szModelID);
  DebugLogWriteStr("MainFrame.m_szPrinterName", pFrame->m_szPrinterName);
  DebugLogWriteStr("MainFrame.m_szPortName", pFrame->m_szPortName);
  DebugLogWriteStr("MainFrame.m_szDriverName", pFrame->m_szDriverName);
  DebugLogWriteInt("MainFrame.m_bRemove", pFrame->m_bRemove);
  DebugLogWriteInt("MainFrame.m_bInstall", pFrame->m_bInstall);

  const int nResult = pFrame->StartUp();
  DebugLogWriteInt("MainFrame.StartUp() : Result", nResult);
  if (nResult == -1) {
    RemoveStartupEntry(cmdLine);
    pFrame->DisableTrayIcon();
    pFrame->ShutDown();
    return 0;
  }
  if (nResult == 0) {
    pFrame->ShutDown();
    return 0;
  }
  if (IsStartupEntryForm(pszText)) RegisterForRestart(pszText);
  return 1;
}

BOOL DeleteStartupReg(const char* pszPrinterName, const char* pszParamFile) {
  DebugLogWrite("DeleteStartupReg");
  CRegKey hKey;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, REG_RUN_KEY, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return FALSE;
  const bool bHasFile = pszParamFile && pszParamFile[0];

  if (pszPrinterName && pszPrinterName[0]) {
    char szData[MAX_PATH + 1] = {0};  // the spare byte ends data stored without a zero
    DWORD cbData = MAX_PATH;
    const bool bNamesFile =
        RegQueryValueExA(hKey, pszPrinterName, nullptr, nullptr, reinterpret_cast<BYTE*>(szData), &cbData) ==
            ERROR_SUCCESS &&
        bHasFile && strstr(szData, pszParamFile);
    return RegDeleteValueA(hKey, pszPrinterName) == ERROR_SUCCESS && bNamesFile;
  }
  if (!bHasFile) return FALSE;

  for (DWORD dwIndex = 0;; ++dwIndex) {
    char szName[MAX_PATH];
    char szData[MAX_PATH + 1] = {0};
    DWORD cchName = MAX_PATH;
    DWORD cbData = MAX_PATH;
    const LONG lResult =
        RegEnumValueA(hKey, dwIndex, szName, &cchName, nullptr, nullptr, reinterpret_cast<BYTE*>(szData), &cbData);
    // A value that does not fit the buffers is passed over. Any other error ends the walk:
    // a key deleted under us answers every index alike, and the index would wrap for good.
    if (lResult == ERROR_MORE_DATA) continue;
    if (lResult != ERROR_SUCCESS) return FALSE;
    if (strstr(szData, pszParamFile)) return RegDeleteValueA(hKey, szName) == ERROR_SUCCESS;
  }
}
