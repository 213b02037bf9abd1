// CMainFrame: construction, the window, start-up and shut-down, tray settings.
#include "frame/MainFrame.h"

#include "app/DebugLog.h"
#include "base/RegUtil.h"
#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"
#include "shared/MonitorTable.h"
#include "targets/TargetRegistry.h"

#include <cstring>
#include <new>

namespace {

// The caption and the four texts of the frame's message boxes, in index order.
const char* const g_apszMessages[5] = {
    "OLMAR Printwatch 3",
    "\nUnable to open Printer Status window for this printer.",
    "\nUnable to open Monitoring Preferences window for this printer.",
    "Insufficient memory.",
    "Could not find specified file.",
};
enum { MSG_CAPTION = 0, MSG_NO_MEMORY = 3, MSG_NO_FILE = 4 };

// No path, or nothing at it: the library is missing, not merely unloadable. A path the
// system cannot even look at (access denied) may still hold it.
bool IsMissingFile(const char* pszPath) {
  if (!pszPath[0]) return true;
  const DWORD dwAttributes = GetFileAttributesA(pszPath);
  if (dwAttributes != INVALID_FILE_ATTRIBUTES) return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const DWORD dwError = GetLastError();
  return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND || dwError == ERROR_INVALID_NAME;
}

// Copies pszText into pszOut of cbOut bytes with every "&" doubled; a text of up to
// MAX_PATH - 1 characters always fits a buffer of twice MAX_PATH.
void DoubleAmpersands(char* pszOut, size_t cbOut, const char* pszText) {
  size_t cb = 0;
  for (const char* p = pszText; *p && cb + 2 < cbOut; ++p) {
    if (*p == '&') pszOut[cb++] = '&';
    pszOut[cb++] = *p;
  }
  pszOut[cb] = '\0';
}

bool IsTrayWindow(HWND hWnd) {
  char szClass[64] = {0};
  return GetClassNameA(hWnd, szClass, sizeof(szClass)) && lstrcmpiA(szClass, TRAY_WND_CLASS) == 0;
}

}  // namespace

HWND FindRunningResident(const char* pszPrinterName, const char* pszPortName) {
  const HWND hWnd = FindMonitorWindow(pszPrinterName, pszPortName, MONITOR_KIND_TRAY);
  return hWnd && IsTrayWindow(hWnd) ? hWnd : nullptr;
}

CMainFrame::CMainFrame() {
  m_szPortName[0] = m_szModelID[0] = m_szPrinterName[0] = m_szDriverName[0] = m_szTargetKey[0] = '\0';
  m_szResDllPath[0] = m_szIniFile[0] = '\0';
  memset(&m_nid, 0, sizeof(m_nid));
  // A second start's icon change can arrive while start-up still shows a message box,
  // before the icons are loaded.
  memset(m_hIcon, 0, sizeof(m_hIcon));

  m_nMenuItemCount = AUX_ITEM_COUNT;
  m_pMenuItems = new (std::nothrow) CMenuItem[AUX_ITEM_COUNT];
  if (!m_pMenuItems) m_nMenuItemCount = 0;

  m_nTrayIconEndTime = 0;
  m_nTimerID = 0;
  m_nTrayIconSelected = 0;
  m_bRemove = 0;
  m_bInstall = 0;
  m_hWnd = nullptr;
  m_hMenu = nullptr;
  m_hMapFile = nullptr;
  m_hResDll = nullptr;
  m_nTaskbarCreatedMsg = 0;
  m_bMenuOpen = 0;
  m_nIconWidth = 0;
  m_nIconHeight = 0;
}

CMainFrame::~CMainFrame() { ReleaseMenuItems(); }

void CMainFrame::ReleaseMenuItems() {
  if (!m_pMenuItems) return;
  for (int i = 0; i < m_nMenuItemCount; ++i)
    if (m_pMenuItems[i].m_hBitmap) DeleteObject(m_pMenuItems[i].m_hBitmap);
  delete[] m_pMenuItems;
  m_pMenuItems = nullptr;
}

const char* CMainFrame::GetLabel() const { return m_szPrinterName[0] ? m_szPrinterName : m_szPortName; }

int CMainFrame::Create(LPCSTR pszClassName, LPCSTR pszTitle, DWORD dwStyle, HINSTANCE hInstance, LPVOID pParam) {
  WNDCLASSA wc = {};
  wc.style = CS_BYTEALIGNWINDOW;
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = hInstance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_SCROLLBAR + 1));
  wc.lpszClassName = pszClassName;
  RegisterClassA(&wc);
  m_nTaskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");

  m_hWnd = CreateWindowExA(0,
                           pszClassName,
                           pszTitle,
                           dwStyle,
                           CW_USEDEFAULT,
                           CW_USEDEFAULT,
                           CW_USEDEFAULT,
                           CW_USEDEFAULT,
                           nullptr,
                           nullptr,
                           hInstance,
                           pParam);
  return m_hWnd != nullptr;
}

int CMainFrame::StartUp() {
  for (int i = 0; i < 5; ++i) CopyStr(m_szMessage[i], g_apszMessages[i]);

  if (!CheckInstance()) return 0;

  RegReadKeyString(HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, m_szModelID, m_szIniFile, sizeof(m_szIniFile));

  if (!ReadTraySettings()) return -1;
  const int nLoaded = LoadResDll(m_szResDllPath);
  if (nLoaded == RESDLL_MISSING) return -1;
  if (nLoaded == RESDLL_NOT_LOADED) return 0;
  if (!SetTrayIcon(m_nTrayIconSelected, 1)) return 0;

  m_hMenu = LoadMenuA(m_hResDll, MAKEINTRESOURCEA(IDR_TRAYMENU));
  HMENU hPopup = m_hMenu ? GetSubMenu(m_hMenu, 0) : nullptr;
  if (!hPopup) return 0;

  // A menu reads "&" as the mark of an access key: the name shows with each one doubled.
  char szLabel[2 * MAX_PATH];
  DoubleAmpersands(szLabel, sizeof(szLabel), GetLabel());
  ModifyMenuA(hPopup, 0, MF_BYPOSITION | MF_STRING, ID_PRINTER_STATUS, szLabel);
  char szType[2 * MAX_PATH] = {0};
  MENUITEMINFOA mii = {};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_STATE | MIIM_TYPE;
  mii.dwTypeData = szType;
  mii.cch = sizeof(szType);
  if (GetMenuItemInfoA(hPopup, ID_PRINTER_STATUS, FALSE, &mii)) {
    // Written back as a string item whose only state is "default": it shows in bold.
    mii.fType = MFT_STRING;
    mii.fState = MFS_DEFAULT;
    mii.dwTypeData = szLabel;
    mii.cch = static_cast<UINT>(strlen(szLabel));
    SetMenuItemInfoA(hPopup, ID_PRINTER_STATUS, FALSE, &mii);
  }

  BuildAuxMenu(hPopup);

  FreeLibrary(m_hResDll);
  m_hResDll = nullptr;

  if (m_szIniFile[0]) m_nTrayIconEndTime = GetPrivateProfileIntA(m_szModelID, TRAY_ICON_END_TIME, 0, m_szIniFile);
  if (m_nTrayIconEndTime != 0)
    m_nTimerID = static_cast<UINT>(SetTimer(m_hWnd, DELPRN_TIMER_ID, m_nTrayIconEndTime, nullptr));
  return 1;
}

int CMainFrame::CheckInstance() {
  m_hMapFile = nullptr;
  HWND hOther = nullptr;
  int nResult;
  {
    // Held from the claim until our window is stored: a resident starting at the same
    // moment finds the slot taken, never the placeholder or a free entry it could take.
    CMonitorTableLock lock;
    nResult = RegisterMonitorWindow(
        m_szPrinterName, m_szPortName, MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &m_hMapFile);
    // A resident that died without removing itself leaves its handle behind, and the
    // system may have given that handle to another program's window since: that one
    // must not be told to close. Its slot is as good as dead.
    if (nResult == MONITOR_REG_TAKEN && hOther && !IsTrayWindow(hOther)) nResult = MONITOR_REG_CLAIMED;
    if (nResult == MONITOR_REG_CLAIMED && m_hWnd) {
      SetMonitorWindow(m_szPrinterName, m_szPortName, m_hWnd, MONITOR_KIND_TRAY);
      return 1;
    }
    // Without a window nothing could ever reach this resident or end it: the slot goes
    // back at once, before a resident starting now takes it for an empty one.
    if (nResult == MONITOR_REG_CLAIMED)
      UnregisterMonitorWindow(m_hMapFile, m_szPrinterName, m_szPortName, MONITOR_KIND_TRAY, m_szPrinterName[0] == '\0');
  }

  if (nResult == MONITOR_REG_TAKEN && hOther) PostMessageA(hOther, WM_TRAYICONCHANGE, 0, m_nTrayIconSelected);
  if (nResult == MONITOR_REG_NO_VIEW) MessageBoxA(nullptr, m_szMessage[MSG_NO_MEMORY], m_szMessage[MSG_CAPTION], MB_OK);
  if (m_hMapFile) CloseHandle(m_hMapFile);
  m_hMapFile = nullptr;
  return 0;
}

int CMainFrame::ReadTraySettings() {
  char szKeyPath[MAX_PATH] = {0};
  int nNameKind = 0;
  GetTargetKey(m_szPrinterName, m_szPortName, m_szModelID, &nNameKind, szKeyPath);
  if (szKeyPath[0]) CopyStr(m_szTargetKey, szKeyPath);

  // Without a target (none could be made now) the INI file decides; the root of the
  // user's hive holds no tray settings and would read as switched off.
  CRegKey hKey;
  if (szKeyPath[0] && RegOpenKeyExA(HKEY_CURRENT_USER, szKeyPath, 0, KEY_READ, hKey.Receive()) == ERROR_SUCCESS) {
    DWORD dwSelected = static_cast<DWORD>(m_nTrayIconSelected);
    if (RegReadRaw4(hKey, TRAY_ICON_SELECTED, &dwSelected)) m_nTrayIconSelected = static_cast<int>(dwSelected);
    DWORD dwEnable = 0;
    RegReadRaw4(hKey, TRAY_ICON_ENABLE, &dwEnable);
    hKey.Close();
    if (dwEnable == 0) return 0;
  } else if (m_szIniFile[0]) {
    m_nTrayIconSelected = static_cast<int>(GetPrivateProfileIntA(m_szModelID, TRAY_ICON_SELECTED, 0, m_szIniFile));
    if (GetPrivateProfileIntA(m_szModelID, TRAY_ICON_ENABLE, 0, m_szIniFile) == 0) return 0;
  }

  GetResDllPath(m_szResDllPath, m_szDriverName, m_szModelID);
  return 1;
}

int CMainFrame::LoadResDll(const char* pszPath) {
  m_hResDll = LoadLibraryExA(pszPath, nullptr, RESDLL_LOAD_FLAGS);
  if (m_hResDll) return RESDLL_LOADED;
  const DWORD dwError = GetLastError();
  if (!IsMissingFile(pszPath)) {
    // There but not loadable for now: a driver update replacing it, a damaged copy, a
    // scanner holding it. Nothing is switched off; the next start tries again.
    DebugLogWriteStr("CMainFrame::LoadResDll : not loaded", pszPath);
    DebugLogWriteInt("CMainFrame::LoadResDll : error", static_cast<int>(dwError));
    return RESDLL_NOT_LOADED;
  }
  DebugLogWriteStr("CMainFrame::LoadResDll : missing", pszPath);
  MessageBoxA(m_hWnd, m_szMessage[MSG_NO_FILE], m_szMessage[MSG_CAPTION], MB_OK);
  return RESDLL_MISSING;
}

int CMainFrame::DisableTrayIcon() {
  char szKeyPath[MAX_PATH] = {0};
  if (m_szPrinterName[0])
    FindTargetKey(m_szPrinterName, FALSE, szKeyPath);
  else
    FindTargetKey(m_szPortName, TRUE, szKeyPath);
  if (!szKeyPath[0]) return 0;

  CRegKey hKey;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, szKeyPath, 0, KEY_ALL_ACCESS, hKey.Receive()) != ERROR_SUCCESS) return 0;
  const DWORD dwEnable = 0;
  return RegSetValueExA(
             hKey, TRAY_ICON_ENABLE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwEnable), sizeof(dwEnable)) ==
         ERROR_SUCCESS;
}

int CMainFrame::ShutDown() {
  if (m_hMapFile) {
    UnregisterMonitorWindow(m_hMapFile, m_szPrinterName, m_szPortName, MONITOR_KIND_TRAY, m_szPrinterName[0] == '\0');
    CloseHandle(m_hMapFile);
    m_hMapFile = nullptr;
  }
  if (m_nid.hWnd) Shell_NotifyIconA(NIM_DELETE, &m_nid);
  if (m_hMenu) {
    DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
  }
  if (m_nTimerID) {
    KillTimer(m_hWnd, m_nTimerID);
    m_nTimerID = 0;
  }
  // A start-up that ended between loading and releasing the library leaves it loaded.
  if (m_hResDll) {
    FreeLibrary(m_hResDll);
    m_hResDll = nullptr;
  }
  return 0;
}

int CMainFrame::OnTrayIconChange(WPARAM, LPARAM) {
  // Without a target the INI file's choice stands: the root of the user's hive is no target.
  CRegKey hKey;
  if (!m_szTargetKey[0] ||
      RegOpenKeyExA(HKEY_CURRENT_USER, m_szTargetKey, 0, KEY_READ, hKey.Receive()) != ERROR_SUCCESS)
    return 0;
  DWORD dwSelected = static_cast<DWORD>(m_nTrayIconSelected);
  const BOOL bRead = RegReadRaw4(hKey, TRAY_ICON_SELECTED, &dwSelected);
  hKey.Close();
  if (bRead) {
    m_nTrayIconSelected = static_cast<int>(dwSelected);
    SetTrayIcon(m_nTrayIconSelected, 0);
  }
  UpdateWindow(m_hWnd);
  return 1;
}
