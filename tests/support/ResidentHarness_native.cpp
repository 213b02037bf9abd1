// The native resident harness.
#include "support/ResidentHarness.h"

#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "targets/TargetRegistry.h"
#include "winsim/control.h"

#include <algorithm>
#include <vector>

void ResidentTest::SetUp() { m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test"); }

void ResidentTest::TearDown() { testenv::UninstallDemoDriver(); }

int ResidentTest::RunResident(const std::string& cmdLine) {
  std::string text = cmdLine;
  const int nExitCode = WinMain(winsim::MainModuleHandle(), nullptr, &text[0], SW_SHOWDEFAULT);
  // A window created by a start that did not stay goes with its process.
  for (HWND h : winsim::WindowsOfClass(TRAY_WND_CLASS)) DestroyWindow(h);
  return nExitCode;
}

std::string ResidentTest::CreateTarget() {
  char szPath[MAX_PATH] = {0};
  int nNameKind = 0;
  GetTargetKey(m_driver.printerName.c_str(), m_driver.portName.c_str(), m_driver.modelID.c_str(), &nNameKind, szPath);
  return szPath;
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

std::string ResidentTest::StartupCommandLine() const {
  const std::string& run = m_driver.runCommand;
  return run.substr(run.find(' ') + 1);
}

HWND ResidentTest::ResidentWindow() { return FindWindowA(TRAY_WND_CLASS, TRAY_WND_TITLE); }

void ResidentTest::CloseResident() { PostMessageA(ResidentWindow(), WM_CLOSE, 0, 0); }

std::string ResidentTest::TargetKey() const {
  char szPath[MAX_PATH] = {0};
  FindTargetKey(m_driver.printerKey.c_str(), m_driver.printerName.empty(), szPath);
  return szPath;
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
