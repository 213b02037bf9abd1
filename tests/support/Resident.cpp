// The in-process resident: its entry, the steps on the loop's turns, the recorders.
#include "support/Resident.h"

#include "app/DebugLog.h"
#include "frame/MainFrame.h"
#include "shared/MonitorTable.h"
#include "tools/ResidentControl.h"
#include "targets/TargetRegistry.h"

#include <shellapi.h>

#include <io.h>

#include <deque>
#include <sstream>
#include <memory>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int);

namespace {

std::vector<std::string> g_journal;
std::deque<std::function<void()>> g_steps;
std::function<void()> g_whileMenuOpen, g_whileBoxOpen;
int g_nIdle = 0;  // turns since the last step

// The loop's turns come from a thread timer of the platform's own, out of the hooks' reach.
template <typename F>
F User32(const char* pszName) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), pszName)));
}
const auto g_pfnSetTimer = User32<decltype(&SetTimer)>("SetTimer");
const auto g_pfnKillTimer = User32<decltype(&KillTimer)>("KillTimer");
const auto g_pfnPostMessage = User32<decltype(&PostMessageA)>("PostMessageA");

HWND ResidentWindow() { return g_pMainFrame ? g_pMainFrame->m_hWnd : nullptr; }

void CALLBACK OnTurn(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_steps.empty()) {
    g_nIdle = 0;
    std::function<void()> step = std::move(g_steps.front());
    g_steps.pop_front();
    step();
  } else if (HWND hWnd = ResidentWindow()) {
    // Closed as other programs close it; one that never closes is destroyed.
    if (++g_nIdle % 100 == 1) g_journal.push_back("closed"), g_pfnPostMessage(hWnd, WM_CLOSE, 0, 0);
    if (g_nIdle == 500) ADD_FAILURE() << "the resident did not close", DestroyWindow(hWnd);
  } else if (++g_nIdle == 100) {
    // Nothing could ever end a loop without the window.
    ADD_FAILURE() << "the message loop runs without a window";
    PostQuitMessage(0);
  }
}

std::string Shown(HICON hIcon) {
  for (int i = 0; g_pMainFrame && i < TRAYICON_COUNT; ++i)
    if (hIcon && g_pMainFrame->m_hIcon[i] == hIcon) return std::to_string(i);
  return "?";
}

}  // namespace

std::vector<std::string>& ResidentTest::Journal() { return g_journal; }

std::string ResidentTest::ParamFiles() {
  std::string files;
  for (const std::string& dir : {testenv::TempDir(), std::string(".\\")}) {
    _finddata_t found;
    const intptr_t h = _findfirst((dir + "O_P*.TMP").c_str(), &found);
    for (int n = h == -1 ? -1 : 0; n == 0; n = _findnext(h, &found)) files += dir + found.name + "\n";
    if (h != -1) _findclose(h);
  }
  return files;
}

void ResidentTest::RemoveParamFiles() {
  std::istringstream files(ParamFiles());
  for (std::string path; std::getline(files, path);) testenv::RemoveFile(path);
}

std::string ResidentTest::Lines(std::initializer_list<const char*> prefixes) {
  std::string lines;
  for (const std::string& line : g_journal)
    for (const char* pszPrefix : prefixes)
      if (line.rfind(pszPrefix, 0) == 0) lines += (lines.empty() ? "" : "\n") + line;
  return lines;
}

void ResidentTest::WhileMenuOpen(std::function<void()> fn) { g_whileMenuOpen = std::move(fn); }
void ResidentTest::WhileBoxOpen(std::function<void()> fn) { g_whileBoxOpen = std::move(fn); }
HWND ResidentTest::Window() { return ResidentWindow(); }
void ResidentTest::Post(UINT uMsg, WPARAM wParam, LPARAM lParam) { g_pfnPostMessage(Window(), uMsg, wParam, lParam); }
void ResidentTest::Tray(UINT uMouseMessage) { Post(WM_TRAYNOTIFY, 0, uMouseMessage); }

void ResidentTest::SetUp() {
  g_journal.clear();
  testenv::RemoveFile(DEBUG_LOG_PATH);
  RemoveParamFiles();
  m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
}

void ResidentTest::TearDown() {
  ReleaseHooks();
  RemoveParamFiles();
  testenv::UninstallDemoDriver();
}

void ResidentTest::Reinstall() {
  TearDown();
  testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
  SetUp();
}

int ResidentTest::Run(const std::string& cmdLine, std::vector<std::function<void()>> steps, bool bAllSteps) {
  std::string text = cmdLine.empty() ? m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1) : cmdLine;
  if (CMainFrame* pFirst = g_pMainFrame) {
    // A second process: its window goes with it, and nothing of it reaches the first.
    const int nExitCode = WinMain(GetModuleHandleA(nullptr), nullptr, &text[0], SW_SHOWDEFAULT);
    g_pMainFrame = nullptr;
    for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, TRAY_WND_CLASS, nullptr)) != nullptr;)
      if (h != pFirst->m_hWnd) DestroyWindow(h), h = nullptr;
    g_pMainFrame = pFirst;
    return nExitCode;
  }

  auto shell = FAULT_REPLACE(Shell_NotifyIconA, [](auto, DWORD dwMessage, NOTIFYICONDATAA* pData) {
    const char* pszVerb = dwMessage == NIM_ADD ? "add" : dwMessage == NIM_MODIFY ? "modify" : "delete";
    // The record the first shell versions take, for the resident's window and messages.
    const bool bRecord = pData->cbSize == NOTIFYICONDATAA_V1_SIZE && pData->hWnd == ResidentWindow() &&
                         pData->uID == 0 && pData->uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP) &&
                         pData->uCallbackMessage == WM_TRAYNOTIFY;
    g_journal.push_back(std::string("icon ") + pszVerb + " " + Shown(pData->hIcon) + " " + pData->szTip +
                        (bRecord ? "" : " (another record)"));
    return TRUE;
  });
  auto box = FAULT_REPLACE(MessageBoxA, [](auto, HWND hOwner, LPCSTR pszText, LPCSTR pszCaption, UINT uType) {
    g_journal.push_back("box " + std::string(pszText) + "|" + pszCaption + "|" + (hOwner ? "owned" : "unowned") +
                        (uType == MB_OK ? "" : "|style"));
    if (std::function<void()> fn = std::move(g_whileBoxOpen)) fn();
    return IDOK;
  });
  auto process = FAULT_REPLACE(
      CreateProcessA,
      [](auto, LPCSTR pszApp, LPSTR pszCmd, auto, auto, BOOL, DWORD, auto, auto, auto, PROCESS_INFORMATION* pInfo) {
        g_journal.push_back("start " + std::string(pszApp ? pszApp : "") + "|" + pszCmd);
        // Reported started: two handles of ours stand for the new process and thread.
        DuplicateHandle(GetCurrentProcess(),
                        GetCurrentProcess(),
                        GetCurrentProcess(),
                        &pInfo->hProcess,
                        0,
                        FALSE,
                        DUPLICATE_SAME_ACCESS);
        DuplicateHandle(GetCurrentProcess(),
                        GetCurrentThread(),
                        GetCurrentProcess(),
                        &pInfo->hThread,
                        0,
                        FALSE,
                        DUPLICATE_SAME_ACCESS);
        return TRUE;
      });
  auto sleep = FAULT_REPLACE(Sleep, [](auto, DWORD dwMs) { g_journal.push_back("sleep " + std::to_string(dwMs)); });
  auto foreground = FAULT_REPLACE(SetForegroundWindow, [](auto real, HWND hWnd) {
    g_journal.push_back(hWnd == ResidentWindow() ? "foreground" : "foreground other");
    return real(hWnd);
  });
  auto menu = FAULT_REPLACE(TrackPopupMenu, [](auto, HMENU, UINT uFlags, int, int, int, HWND hOwner, const RECT*) {
    g_journal.push_back("menu " + std::to_string(uFlags) + (hOwner == ResidentWindow() ? " owner" : " other"));
    if (std::function<void()> fn = std::move(g_whileMenuOpen)) fn();
    return FALSE;
  });
  auto timer = FAULT_REPLACE(SetTimer, [](auto real, HWND hWnd, UINT_PTR nID, UINT nMs, TIMERPROC pfn) {
    g_journal.push_back("timer " + std::to_string(nID) + " " + std::to_string(nMs));
    return real(hWnd, nID, nMs, pfn);
  });
  auto kill = FAULT_REPLACE(KillTimer, [](auto real, HWND hWnd, UINT_PTR nID) {
    g_journal.push_back("kill " + std::to_string(nID));
    return real(hWnd, nID);
  });
  auto send = FAULT_REPLACE(SendMessageA, [](auto real, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NULL && hWnd == ResidentWindow()) g_journal.push_back("null");
    return real(hWnd, uMsg, wParam, lParam);
  });

  g_steps.assign(steps.begin(), steps.end());
  g_nIdle = 0;
  const UINT_PTR nTimer = g_pfnSetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnTurn);
  const int nExitCode = WinMain(GetModuleHandleA(nullptr), nullptr, &text[0], SW_SHOWDEFAULT);
  g_pfnKillTimer(nullptr, nTimer);
  EXPECT_TRUE(g_steps.empty() || !bAllSteps) << g_steps.size() << " steps never ran";
  g_steps.clear();
  g_whileMenuOpen = g_whileBoxOpen = nullptr;
  // A resident that ended without its loop leaves its window (its process would end).
  for (int i = 0; i < 10 && FindWindowA(TRAY_WND_CLASS, nullptr); ++i)
    DestroyWindow(FindWindowA(TRAY_WND_CLASS, nullptr));
  return nExitCode;
}

std::string ResidentTest::MenuItems() {
  HMENU hPopup = g_pMainFrame && g_pMainFrame->m_hMenu ? GetSubMenu(g_pMainFrame->m_hMenu, 0) : nullptr;
  std::string items;
  for (int i = 0; hPopup && i < GetMenuItemCount(hPopup); ++i) {
    char szText[MAX_PATH] = {0};
    MENUITEMINFOA mii = {};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
    mii.dwTypeData = szText;
    mii.cch = sizeof(szText);
    GetMenuItemInfoA(hPopup, static_cast<UINT>(i), TRUE, &mii);
    const std::string id = std::to_string(mii.wID);
    items += mii.fType & MFT_SEPARATOR ? "---"
             : mii.fType & MFT_OWNERDRAW
                 ? "ownerdraw " + id
                 : "\"" + std::string(szText) + "\" " + id + (mii.fState & MFS_DEFAULT ? " default" : "");
    items += "\n";
  }
  return items;
}

std::string ResidentTest::CreateTarget() const {
  char szPath[MAX_PATH] = {0};
  int nNameKind = 0;
  GetTargetKey(m_driver.printerName.c_str(), m_driver.portName.c_str(), m_driver.modelID.c_str(), &nNameKind, szPath);
  return szPath;
}

std::string ResidentTest::TargetKey() const {
  char szPath[MAX_PATH] = {0};
  FindTargetKey(m_driver.printerKey.c_str(), m_driver.printerName.empty(), szPath);
  return szPath;
}

HWND ResidentTest::TableHolder() const { return residentctl::TableWindow(m_driver.printerKey); }

HANDLE ResidentTest::RegisterKey(const std::string& key) {
  HWND hOther = nullptr;
  HANDLE hMap = nullptr;
  RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap);
  return hMap;
}

bool ResidentTest::BlockExists() {
  HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME);
  return hMap && CloseHandle(hMap);
}

void ResidentTest::EnableDebugLog() { testenv::SetRegDword(HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, REG_DEBUG_VALUE, 1); }

bool ResidentTest::LogHas(const std::string& text) {
  return testenv::ReadFile(DEBUG_LOG_PATH).find(text) != std::string::npos;
}
