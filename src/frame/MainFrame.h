// CMainFrame: the object behind the hidden frame window. It holds the printer identity,
// the tray icon and its pop-up menu, the owner-drawn item records, the timer and the
// shared table's mapping handle for the whole run, and releases them in ShutDown and
// its destructor.
#pragma once

#include "frame/MenuItem.h"

#include <windows.h>
#include <shellapi.h>

class CCommandLine;
class CMainFrame;

// The frame the window procedure reaches; set by the program entry.
extern CMainFrame* g_pMainFrame;

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// The running resident that serves the printer's key (the printer name, or the port name
// when the printer name is empty), found through the shared table; null when there is
// none. Claims nothing and needs no spooler.
HWND FindRunningResident(const char* pszPrinterName, const char* pszPortName);

// The resource library gives only resources (icons, menu, strings, bitmaps): loaded as an
// image resource it cannot fail on its bitness or on start-up code of its own.
const DWORD RESDLL_LOAD_FLAGS = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
const int RESDLL_LOADED = 1;
const int RESDLL_MISSING = 0;
const int RESDLL_NOT_LOADED = -1;

class CMainFrame {
public:
  CMainFrame();
  virtual int ShutDown();
  virtual ~CMainFrame();
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  // Start-up and the tray icon.
  int Create(LPCSTR pszClassName, LPCSTR pszTitle, DWORD dwStyle, HINSTANCE hInstance, LPVOID pParam);
  int StartUp();
  int CheckInstance();
  int ReadTraySettings();
  // RESDLL_LOADED; RESDLL_MISSING (no path, or no file at it) after its message box;
  // RESDLL_NOT_LOADED for a file that is there but does not load, silently.
  int LoadResDll(const char* pszPath);
  int SetTrayIcon(int nIndex, int bAdd);
  int DisableTrayIcon();
  int OnTrayIconChange(WPARAM wParam, LPARAM lParam);
  // The shell restarted: the icon goes back, loaded again at the current size.
  int OnTaskbarCreated();
  // The system's settings or DPI changed: a new small-icon size loads the icons again.
  int OnSettingChange();

  // The pop-up menu and its owner-drawn items.
  int OnTrayNotify(WPARAM wParam, LPARAM lParam);
  BOOL BuildAuxMenu(HMENU hPopup);
  BOOL GetDepExeName(char* pszName, int cchName);
  BOOL IsDepExeMenuItem(UINT nID, const char* pszName);
  BOOL HasIoUrlKey();
  void OnMeasureItem(WPARAM wParam, MEASUREITEMSTRUCT* pMeasure);
  void OnDrawItem(WPARAM wParam, DRAWITEMSTRUCT* pDraw);

  // Launching the status and auxiliary programs.
  void OnPrinterStatus();
  void OnMonitoringPreferences();
  BOOL StartPRWExe(const char* pszProgramPath, BOOL bPreferences);
  void OnAux(UINT nID);
  BOOL StartExe(char* pszCmdLine, const char* pszApplicationName = nullptr);

  // The deleted-printer check.
  BOOL ChkDelPrn();
  void OnTimer(UINT_PTR nTimerID);

  CMenuItem* m_pMenuItems;
  char m_szPortName[MAX_PATH];
  char m_szModelID[MAX_PATH];
  char m_szPrinterName[MAX_PATH];
  char m_szDriverName[MAX_PATH];
  char m_szTargetKey[MAX_PATH];
  HWND m_hWnd;
  HMENU m_hMenu;
  HANDLE m_hMapFile;
  char m_szMessage[5][MAX_PATH];
  int m_bRemove;
  int m_bInstall;
  HICON m_hIcon[3];
  int m_nTrayIconSelected;
  NOTIFYICONDATAA m_nid;
  HMODULE m_hResDll;
  char m_szResDllPath[MAX_PATH];
  char m_szIniFile[MAX_PATH];
  UINT m_nTimerID;
  UINT m_nTrayIconEndTime;
  int m_nMenuItemCount;
  // The shell's "TaskbarCreated" message, registered with the window class.
  UINT m_nTaskbarCreatedMsg;
  // Set while the pop-up menu's modal loop runs: tray clicks dispatched inside it open
  // no second menu.
  int m_bMenuOpen;
  // The size the tray icons were loaded at.
  int m_nIconWidth;
  int m_nIconHeight;

private:
  // The printer's key: the printer name, or the port name when the printer has none.
  const char* GetLabel() const;
  void OpenStatusWindow(BOOL bPreferences, int nMessage);
  // Fills cmdLine from the spooler for this printer and takes over the port it reports.
  void FollowPrinterPort(CCommandLine& cmdLine);
  int AddTrayIcon();
  // The icon shown for a stored choice.
  static int ShownIcon(int nIndex);
  // Loads the three tray icons from the library at the small-icon size, which it records.
  void LoadTrayIcons(HMODULE hResDll, HICON* phIcons);
  // Loads the icons again from the library and hands the shown one to the shell with
  // dwMessage (NIM_ADD or NIM_MODIFY). Returns 1 when the shell took it.
  int ReloadTrayIcons(DWORD dwMessage);
  void RemoveStartupEntry(HKEY hHive);
  void ReleaseMenuItems();
};
