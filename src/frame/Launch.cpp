// CMainFrame: starting the driver's status program (through a parameter file, or inline
// with declared lengths) and its auxiliary programs.
#include "frame/MainFrame.h"

#include "app/DebugLog.h"
#include "base/RegUtil.h"
#include "base/StrUtil.h"
#include "cmdline/CommandLine.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"

#include <cstring>

namespace {

// The longest line the formats make, a program path or command and four names of at most
// 259 characters each (about 1,350 characters), fits with room to spare: no line is cut.
const size_t CMDLINE_SIZE = 2048;

enum { MSG_CAPTION = 0, MSG_STATUS_FAILED = 1, MSG_PREFERENCES_FAILED = 2 };

}  // namespace

void CMainFrame::OnPrinterStatus() { OpenStatusWindow(FALSE, MSG_STATUS_FAILED); }

void CMainFrame::OnMonitoringPreferences() { OpenStatusWindow(TRUE, MSG_PREFERENCES_FAILED); }

void CMainFrame::OpenStatusWindow(BOOL bPreferences, int nMessage) {
  // Both failure points lead to the one message box.
  try {
    char szPath[MAX_PATH] = {0};
    if (!GetStatusProgramPath(szPath, m_szDriverName, m_szModelID)) throw 0;
    if (!StartPRWExe(szPath, bPreferences)) throw 0;
  } catch (int) {
    MessageBoxA(m_hWnd, m_szMessage[nMessage], m_szMessage[MSG_CAPTION], MB_OK);
  }
}

void CMainFrame::FollowPrinterPort(CCommandLine& cmdLine) {
  CopyStr(cmdLine.m_szPrinterName, m_szPrinterName);
  // The port the spooler reports now: the printer may have moved since start-up. A port
  // list too long to hold (a pooled printer's) comes back empty and keeps the port we had.
  if (cmdLine.FillFromPrinter() == 1 && cmdLine.m_szPortName[0]) CopyStr(m_szPortName, cmdLine.m_szPortName);
}

BOOL CMainFrame::StartPRWExe(const char* pszProgramPath, BOOL bPreferences) {
  DebugLogWrite("CMainFrame::StartPRWExe");
  CCommandLine cmdLine;
  cmdLine.m_bSwitchE = bPreferences ? 1 : 0;
  FollowPrinterPort(cmdLine);

  DebugLogWriteStr("CMainFrame::StartPRWExe : printer name", m_szPrinterName);
  DebugLogWriteStr("CMainFrame::StartPRWExe : port name", m_szPortName);
  DebugLogWriteStr("CMainFrame::StartPRWExe : model id", m_szModelID);

  char szCmdLine[CMDLINE_SIZE];
  if (cmdLine.WriteParamFile(m_szPrinterName, m_szPortName, m_szModelID)) {
    DebugLogWrite("CMainFrame::StartPRWExe : Parameter file");
    FormatStr(szCmdLine, sizeof(szCmdLine), STATUS_CMDLINE_FILE_FMT, pszProgramPath, cmdLine.m_szParamFileA);
  } else {
    FormatStr(szCmdLine,
              sizeof(szCmdLine),
              STATUS_CMDLINE_INLINE_FMT,
              pszProgramPath,
              static_cast<int>(strlen(m_szPrinterName)),
              m_szPrinterName,
              static_cast<int>(strlen(m_szPortName)),
              m_szPortName,
              static_cast<int>(strlen(m_szModelID)),
              m_szModelID,
              bPreferences ? "/E" : "");
  }
  DebugLogWriteStr("CMainFrame::StartPRWExe : command line", szCmdLine);

  // The path stands unquoted at the head of the line, which the status program parses
  // as it is; named as the application too, it is the exact file started, never a
  // shorter prefix such as C:\Program.exe.
  if (StartExe(szCmdLine, pszProgramPath)) return TRUE;
  cmdLine.DeleteWrittenParamFile();
  return FALSE;
}

void CMainFrame::OnAux(UINT nID) {
  DebugLogWriteInt("CMainFrame::OnAux : id", static_cast<int>(nID));
  char szValueName[16];
  char szMenuKey[MAX_PATH];
  FormatStr(szValueName, sizeof(szValueName), "%u", nID);
  if (!FormatStr(szMenuKey, sizeof(szMenuKey), REG_MENU_KEY_FMT, REG_DRIVER_KEY_PREFIX, m_szDriverName)) return;
  char szCommand[MAX_PATH] = {0};
  if (!RegReadKeyString(HKEY_LOCAL_MACHINE, szMenuKey, szValueName, szCommand, sizeof(szCommand)) || !szCommand[0])
    return;

  CCommandLine cmdLine;
  FollowPrinterPort(cmdLine);

  DebugLogWriteStr("CMainFrame::OnAux : printer name", m_szPrinterName);
  DebugLogWriteStr("CMainFrame::OnAux : port name", m_szPortName);
  DebugLogWriteStr("CMainFrame::OnAux : model id", m_szModelID);
  DebugLogWriteStr("CMainFrame::OnAux : driver name", m_szDriverName);

  char szCmdLine[CMDLINE_SIZE];
  FormatStr(szCmdLine,
            sizeof(szCmdLine),
            AUX_CMDLINE_FMT,
            szCommand,
            m_szPrinterName,
            m_szModelID,
            m_szDriverName,
            m_szPortName);
  DebugLogWriteStr("CMainFrame::OnAux : command line", szCmdLine);
  StartExe(szCmdLine);
}

BOOL CMainFrame::StartExe(char* pszCmdLine, const char* pszApplicationName) {
  DebugLogWriteStr("CMainFrame::StartExe : lpszCmdLine", pszCmdLine);
  STARTUPINFOA si;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi;
  memset(&pi, 0, sizeof(pi));
  const BOOL bStarted =
      CreateProcessA(pszApplicationName, pszCmdLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  if (bStarted) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return bStarted;
}
