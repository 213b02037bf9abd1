// The native resident harness.
#include "support/ResidentHarness.h"

#include "base/Scoped.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "shared/MonitorTable.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "targets/TargetRegistry.h"

#include <algorithm>
#include <cstring>
#include <vector>

void ResidentTest::SetUp() { m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test"); }

void ResidentTest::TearDown() { testenv::UninstallDemoDriver(); }

void ResidentTest::ResetMachine() {
  testenv::UninstallDemoDriver();
  winsim::Reset();
  winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test", "WinPrint");
  m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
}

std::string ResidentTest::StartupCommandLine() const {
  return m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1);
}

int ResidentTest::RunResident(const std::string& cmdLine) {
  std::string text = cmdLine.empty() ? StartupCommandLine() : cmdLine;
  const int nExitCode = WinMain(winsim::MainModuleHandle(), nullptr, &text[0], SW_SHOWDEFAULT);
  // A window created by a start that did not stay goes with its process.
  for (HWND h : winsim::WindowsOfClass(TRAY_WND_CLASS)) DestroyWindow(h);
  return nExitCode;
}

int ResidentTest::RunAndClose(const std::string& cmdLine, std::initializer_list<std::function<void()>> steps) {
  for (const std::function<void()>& step : steps) winsim::PushIdleStep(step);
  winsim::PushIdleStep(CloseResident);
  return RunResident(cmdLine);
}

int ResidentTest::RunSecondResident(const std::string& cmdLine) {
  CMainFrame* pFirst = g_pMainFrame;
  const std::vector<HWND> before = winsim::WindowsOfClass(TRAY_WND_CLASS);
  std::string text = cmdLine;
  const int nExitCode = WinMain(winsim::MainModuleHandle(), nullptr, &text[0], SW_SHOWDEFAULT);
  // The second process ends here: its window goes, and nothing of it reaches the first.
  g_pMainFrame = nullptr;
  for (HWND h : winsim::WindowsOfClass(TRAY_WND_CLASS))
    if (std::find(before.begin(), before.end(), h) == before.end()) DestroyWindow(h);
  g_pMainFrame = pFirst;
  return nExitCode;
}

HWND ResidentTest::ResidentWindow() { return FindWindowA(TRAY_WND_CLASS, TRAY_WND_TITLE); }

void ResidentTest::CloseResident() { PostMessageA(ResidentWindow(), WM_CLOSE, 0, 0); }

std::string ResidentTest::OpenMenu(winsim::MenuScript script) {
  winsim::ScriptTrackPopupMenu(script);
  winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  winsim::PumpMessages();
  const auto calls = winsim::TrackPopupMenuCalls();
  return calls.empty() ? "(no menu)" : winsim::DumpMenu(calls.back().menu);
}

std::string ResidentTest::CreateTarget() {
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

std::string ResidentTest::TargetValue(const char* pszName) const {
  return testenv::GetReg(HKEY_CURRENT_USER, TargetKey(), pszName);
}

bool ResidentTest::HasRunEntry(HKEY hHive) const {
  return testenv::GetReg(hHive, kRunKey, m_driver.printerKey) != "<missing>";
}

HWND ResidentTest::TableHolder() const {
  CKernelHandle hMap(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME));
  CMappedView view(hMap.IsValid() ? MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0) : nullptr);
  const BYTE* pBlock = static_cast<const BYTE*>(view.Get());
  for (int i = 0; pBlock && i < MONITOR_ENTRY_COUNT; ++i) {
    const BYTE* pEntry = pBlock + i * MONITOR_ENTRY_SIZE;
    if (pEntry[0] == MONITOR_END_MARKER) break;
    if (pEntry[0] == MONITOR_FREE_ENTRY || m_driver.printerKey != reinterpret_cast<const char*>(pEntry)) continue;
    DWORD dwWindow = 0;
    memcpy(&dwWindow, pEntry + MONITOR_ENTRY_SIZE - sizeof(DWORD), sizeof(dwWindow));
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(dwWindow)));
  }
  return nullptr;
}

int ResidentTest::TrayIconResource() {
  for (const winsim::TrayIcon& icon : winsim::TrayIcons()) {
    auto info = winsim::LoadedIcon(icon.icon);
    if (icon.hwnd == ResidentWindow() && info) return info->id;
  }
  return 0;
}

void ResidentTest::EnableDebugLog() {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, REG_DEBUG_VALUE, 1);
}

std::string ResidentTest::DebugLogText() { return testenv::ReadFile(DEBUG_LOG_PATH); }
