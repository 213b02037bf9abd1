// The in-process resident: its entry, the steps on the loop's turns, the recorders.
#include "support/Resident.h"

#include "shared/MonitorTable.h"

#include <io.h>

#include <deque>
#include <sstream>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int);

namespace {

std::deque<std::function<void()>> g_steps;
std::map<HICON, int> g_icons;  // the icons loaded, by resource index
int g_nIdle = 0;               // turns since the last step

// The platform's own functions, out of the hooks' reach.
template <typename F>
F User32(const char* pszName) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), pszName)));
}
const auto g_pfnSetTimer = User32<decltype(&SetTimer)>("SetTimer");
const auto g_pfnKillTimer = User32<decltype(&KillTimer)>("KillTimer");
const auto g_pfnPostMessage = User32<decltype(&PostMessageA)>("PostMessageA");

void OnTurn() {
  HWND hWnd = ResidentTest::Window();
  if (!g_steps.empty()) {
    g_nIdle = 0;
    std::function<void()> step = std::move(g_steps.front());
    g_steps.pop_front();
    step();
  } else if (hWnd && ++g_nIdle % 100 == 1) {
    // Closed as other programs close it; one that never closes is destroyed.
    ResidentTest::Journal().push_back("closed");
    g_pfnPostMessage(hWnd, WM_CLOSE, 0, 0);
  } else if (hWnd && g_nIdle == 500) {
    ADD_FAILURE() << "the resident did not close";
    DestroyWindow(hWnd);
  } else if (!hWnd && ++g_nIdle == 100) {
    // Nothing could ever end a loop without the window.
    ADD_FAILURE() << "the message loop runs without a window";
    PostQuitMessage(0);
  }
}

// The loop's turns come as timer messages to a window of the harness: a fault in a step
// then ends the run, where a timer callback's fault would be swallowed by the dispatch.
LRESULT CALLBACK TurnProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_TIMER) OnTurn();
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Made before any test, so before any hook.
const HWND g_hTurns = [] {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TurnProc;
  wc.lpszClassName = "Prw3Turns";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}();

// The menu's items as MenuShown gives them; names gets the screen reader's names.
std::string Items(HMENU hMenu, std::wstring& names) {
  std::string items;
  names.clear();
  for (UINT i = 0; i < UINT(GetMenuItemCount(hMenu)); ++i) {
    char szText[MAX_PATH] = {0};
    GetMenuStringA(hMenu, i, szText, sizeof(szText), MF_BYPOSITION);
    const UINT uState = GetMenuState(hMenu, i, MF_BYPOSITION);
    std::string item = std::to_string(GetMenuItemID(hMenu, int(i)));
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    GetMenuItemInfoA(hMenu, i, TRUE, &info);
    const auto* pName = reinterpret_cast<const MSAAMENUINFO*>(info.dwItemData);
    if (uState & MF_SEPARATOR)
      item = "-";
    else if (!(uState & MF_OWNERDRAW))
      item = "\"" + std::string(szText) + "\" " + item + (uState & MF_DEFAULT ? " default" : "");
    else if (pName && pName->dwMSAASignature == MSAA_MENU_SIG)
      names += (names.empty() ? L"" : L", ") + std::wstring(pName->pszWText, pName->cchWText);
    items += (items.empty() ? "" : ", ") + item;
  }
  return items;
}

}  // namespace

void ResidentTest::Post(UINT uMsg, WPARAM wParam, LPARAM lParam) { g_pfnPostMessage(Window(), uMsg, wParam, lParam); }

std::string ResidentTest::Lines(std::initializer_list<const char*> prefixes) {
  std::string lines;
  for (const std::string& line : s_journal)
    for (const char* pszPrefix : prefixes)
      if (line.rfind(pszPrefix, 0) == 0) lines += (lines.empty() ? "" : "\n") + line;
  return lines;
}

std::vector<std::string> ResidentTest::Started() {
  std::vector<std::string> started;
  for (const std::string& line : s_journal)
    if (line.rfind("start ", 0) == 0) started.push_back(line.substr(6));
  return started;
}

void ResidentTest::Draw(UINT nID, HDC hdc, const RECT& rc, UINT uState) {
  DRAWITEMSTRUCT draw = {ODT_MENU, 0, nID, ODA_DRAWENTIRE, uState, nullptr, hdc, rc, 0};
  SendMessageA(Window(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
  // What the system gives the handler is only read.
  EXPECT_EQ(ODA_DRAWENTIRE, draw.itemAction) << nID;
}

SIZE ResidentTest::Measure(UINT nID) {
  MEASUREITEMSTRUCT measure = {ODT_MENU, 0, nID, 0, 0, 0};
  SendMessageA(Window(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
  return {LONG(measure.itemWidth), LONG(measure.itemHeight)};
}

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

void ResidentTest::SetUp() {
  s_shellTakes = nullptr;
  s_dwSlept = 0;
  testenv::RemoveFile(DEBUG_LOG_PATH);
  RemoveParamFiles();
  m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
}

void ResidentTest::TearDown() {
  m_hooks.clear();
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey);
  RemoveParamFiles();
  testenv::UninstallDemoDriver();
}

void ResidentTest::Reinstall() {
  TearDown();
  testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
  SetUp();
}

void ResidentTest::Run(const std::string& cmdLine, Steps steps, bool bAllSteps) {
  std::string text = cmdLine.empty() ? m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1) : cmdLine;
  if (CMainFrame* pFirst = g_pMainFrame) {
    // A second process: its window goes with it, and nothing of it reaches the first.
    EXPECT_EQ(0, WinMain(GetModuleHandleA(nullptr), nullptr, &text[0], SW_SHOWDEFAULT));
    g_pMainFrame = nullptr;
    HWND hOther = FindWindowExA(nullptr, nullptr, TRAY_WND_CLASS, nullptr);
    if (hOther == pFirst->m_hWnd) hOther = FindWindowExA(nullptr, hOther, TRAY_WND_CLASS, nullptr);
    if (hOther) DestroyWindow(hOther);
    g_pMainFrame = pFirst;
    return;
  }

  auto icons = FAULT_REPLACE(LoadImageA, [](auto real, HINSTANCE h, LPCSTR pszName, auto... rest) {
    // The library is asked for the three tray icons, and nothing past them.
    const int nIcon = static_cast<int>(reinterpret_cast<UINT_PTR>(pszName)) - IDI_TRAYICON_0;
    EXPECT_TRUE(nIcon >= 0 && nIcon < TRAYICON_COUNT) << nIcon;
    HANDLE hImage = real(h, pszName, rest...);
    g_icons[static_cast<HICON>(hImage)] = nIcon;
    return hImage;
  });
  auto shell = FAULT_REPLACE(Shell_NotifyIconA, [](auto, DWORD dwMessage, NOTIFYICONDATAA* pData) {
    if (s_shellTakes && !s_shellTakes(dwMessage)) return FALSE;
    const char* pszVerb = dwMessage == NIM_ADD ? "add" : dwMessage == NIM_MODIFY ? "modify" : "delete";
    const auto icon = g_icons.find(pData->hIcon);
    s_hIconShown = pData->hIcon;
    // The record the first shell versions take, for the resident's window and messages.
    const bool bRecord = pData->cbSize == NOTIFYICONDATAA_V1_SIZE && pData->hWnd == Window() && pData->uID == 0 &&
                         pData->uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP) &&
                         pData->uCallbackMessage == WM_TRAYNOTIFY;
    s_journal.push_back(std::string("icon ") + pszVerb + " " +
                        (icon == g_icons.end() ? "?" : std::to_string(icon->second)) + " " + pData->szTip +
                        (bRecord ? "" : " (another record)"));
    return TRUE;
  });
  auto box = FAULT_REPLACE(MessageBoxA, [](auto, HWND hOwner, LPCSTR pszText, LPCSTR pszCaption, UINT uType) {
    s_journal.push_back("box " + std::string(pszText) + "|" + pszCaption + "|" + (hOwner ? "owned" : "unowned") +
                        (uType == MB_OK ? "" : "|style"));
    if (std::function<void()> fn = std::move(s_whileBoxOpen)) fn();
    return IDOK;
  });
  auto process = FAULT_REPLACE(
      CreateProcessA,
      [](auto, LPCSTR pszApp, LPSTR pszCmd, auto, auto, BOOL, DWORD, auto, auto, auto, PROCESS_INFORMATION* pInfo) {
        s_journal.push_back("start " + std::string(pszApp ? pszApp : "") + "|" + pszCmd);
        // Two handles of ours stand for the new process and thread.
        pInfo->hProcess = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        pInfo->hThread = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        return TRUE;
      });
  auto sleep = FAULT_REPLACE(Sleep, [](auto, DWORD dwMs) { s_dwSlept += dwMs; });
  auto foreground = FAULT_REPLACE(SetForegroundWindow, [](auto real, HWND hWnd) {
    s_journal.push_back(hWnd == Window() ? "foreground" : "foreground other");
    return real(hWnd);
  });
  auto menu =
      FAULT_REPLACE(TrackPopupMenu, [](auto, HMENU hMenu, UINT uFlags, int, int, int, HWND hOwner, const RECT*) {
        s_journal.push_back("menu " + std::to_string(uFlags) + (hOwner == Window() ? " owner" : " other"));
        s_menuShown = Items(hMenu, s_menuNames);
        if (std::function<void()> fn = std::move(s_whileMenuOpen)) fn();
        return FALSE;
      });
  auto timer = FAULT_REPLACE(SetTimer, [](auto, HWND, UINT_PTR nID, UINT nMs, TIMERPROC) {
    s_journal.push_back("timer " + std::to_string(nID) + " " + std::to_string(nMs));
    return nID;
  });
  auto kill = FAULT_REPLACE(KillTimer, [](auto, HWND, UINT_PTR nID) {
    s_journal.push_back("kill " + std::to_string(nID));
    return TRUE;
  });
  auto post = FAULT_REPLACE(PostMessageA, [](auto real, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NULL && hWnd == Window()) s_journal.push_back("null");
    return real(hWnd, uMsg, wParam, lParam);
  });

  s_journal.clear();
  g_steps.assign(steps.begin(), steps.end());
  g_nIdle = 0;
  g_icons.clear();
  s_menuShown.clear();
  s_menuNames.clear();
  g_pfnSetTimer(g_hTurns, 1, USER_TIMER_MINIMUM, nullptr);
  EXPECT_EQ(0, WinMain(GetModuleHandleA(nullptr), nullptr, &text[0], SW_SHOWDEFAULT));
  g_pfnKillTimer(g_hTurns, 1);
  EXPECT_TRUE(g_steps.empty() || !bAllSteps) << g_steps.size() << " steps never ran";
  g_steps.clear();
  m_hooks.clear();
  s_whileMenuOpen = nullptr;
  s_whileBoxOpen = nullptr;
  // A resident that ended without its loop leaves its window (its process would end).
  for (int i = 0; i < 10 && FindWindowA(TRAY_WND_CLASS, nullptr); ++i)
    DestroyWindow(FindWindowA(TRAY_WND_CLASS, nullptr));
}

std::string ResidentTest::Left() const {
  const auto entry = [this](HKEY hHive) { return testenv::GetReg(hHive, kRunKey, m_driver.printerKey) != "<missing>"; };
  const std::string left = std::string(entry(HKEY_CURRENT_USER) ? " HKCU" : "") +
                           (entry(HKEY_LOCAL_MACHINE) ? " HKLM" : "") +
                           (testenv::FileExists(m_driver.paramFile) ? " file" : "");
  return left.substr(left.empty() ? 0 : 1);
}

bool ResidentTest::BlockExists() {
  HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME);
  return hMap && CloseHandle(hMap);
}
