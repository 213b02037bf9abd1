// The native resident harness.
#include "support/ResidentHarness.h"

#include "base/Scoped.h"
#include "frame/MainFrame.h"
#include "shared/MonitorTable.h"
#include "targets/TargetRegistry.h"

#include <cstring>

void ResidentTest::ResetMachine() {
  testenv::UninstallDemoDriver();
  winsim::Reset();
  winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test", "WinPrint");
  m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
}

int ResidentTest::RunResident(const std::string& cmdLine) {
  // A resident started inside a running one is a second process: its window goes with it
  // when it ends, and nothing of it reaches the first.
  CMainFrame* pFirst = g_pMainFrame;
  const HWND hFirst = pFirst ? pFirst->m_hWnd : nullptr;
  std::string text = cmdLine.empty() ? m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1) : cmdLine;
  const int nExitCode = WinMain(winsim::MainModuleHandle(), nullptr, &text[0], SW_SHOWDEFAULT);
  g_pMainFrame = nullptr;
  for (HWND h : winsim::WindowsOfClass(TRAY_WND_CLASS))
    if (h != hFirst) DestroyWindow(h);
  g_pMainFrame = pFirst;
  return nExitCode;
}

int ResidentTest::RunAndClose(const std::string& cmdLine, std::initializer_list<std::function<void()>> steps) {
  for (const std::function<void()>& step : steps) winsim::PushIdleStep(step);
  winsim::PushIdleStep(CloseResident);
  return RunResident(cmdLine);
}

std::string ResidentTest::OpenMenu(winsim::MenuScript script) {
  winsim::ScriptTrackPopupMenu(script);
  winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  winsim::PumpMessages();
  const auto calls = winsim::TrackPopupMenuCalls();
  return calls.empty() ? "(no menu)" : winsim::DumpMenu(calls.back().menu);
}

std::shared_ptr<winsim::ModuleResources> ResidentTest::UseResources(const std::string& rcText) {
  std::string error;
  winsim::ModuleImage image;
  image.resources = winsim::ParseRc("700 ICON \"printer_ok.ico\"\n701 ICON \"printer_warning.ico\"\n"
                                    "702 ICON \"printer_error.ico\"\n" + rcText, PRW3_DEMO_RES_SOURCE_DIR, &error);
  EXPECT_TRUE(image.resources) << error;
  winsim::RegisterModule(m_driver.englishResources, image);
  return image.resources;
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

HWND ResidentTest::TableHolder() const {
  CKernelHandle hMap(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME));
  CMappedView view(hMap.IsValid() ? MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0) : nullptr);
  const BYTE* pEntry = static_cast<const BYTE*>(view.Get());
  for (int i = 0; pEntry && i < MONITOR_ENTRY_COUNT && *pEntry != MONITOR_END_MARKER;
       ++i, pEntry += MONITOR_ENTRY_SIZE) {
    LONG nWindow = 0;  // the tray slot, the entry's last four bytes
    memcpy(&nWindow, pEntry + MONITOR_ENTRY_SIZE - sizeof(nWindow), sizeof(nWindow));
    if (m_driver.printerKey == reinterpret_cast<const char*>(pEntry)) return reinterpret_cast<HWND>(LONG_PTR{nWindow});
  }
  return nullptr;
}

int ResidentTest::TrayIconResource() {
  for (const winsim::TrayIcon& icon : winsim::TrayIcons())
    if (icon.hwnd == ResidentWindow() && winsim::LoadedIcon(icon.icon)) return winsim::LoadedIcon(icon.icon)->id;
  return 0;
}
