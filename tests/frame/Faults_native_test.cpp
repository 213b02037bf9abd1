// Fault injection through the resident's whole life: every call it makes is failed in
// turn, once on each of the times it is made. Whatever fails, the process ends with 0 or
// carries on as the program states, and leaves no handle, key, library, menu or GDI object.
// And a long run of menus, icon changes, shell restarts and ticks that must not grow them.
#include "support/ResidentHarness.h"

namespace {

// Every call of start-up, the menu and its drawing, both launches, the deleted-printer
// check and shut-down. The release calls (DeleteObject, RegCloseKey, CloseHandle, ...)
// are not failed: nothing can be done when they fail, and no outcome is stated for them.
const char* const kApis[] = {
    "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA", "RegSetValueExA", "RegEnumKeyExA", "RegDeleteValueA",
    "CreateFileMappingA", "MapViewOfFile", "OpenFileMappingA", "CreateMutexA", "WaitForSingleObject", "LoadLibraryA",
    "GetProcAddress", "GetPrivateProfileStringA", "GetPrivateProfileIntA", "GetPrivateProfileSectionA",
    "FindFirstFileA", "OpenPrinterA", "OpenPrinterW", "GetPrinterA", "_fsopen", "GetTempPathA", "GetTempFileNameA",
    "OpenFile", "DeleteFileA", "CreateProcessA", "RegisterClassA", "CreateWindowExA", "LoadImageA",
    "Shell_NotifyIconA", "LoadMenuA", "GetSubMenu", "ModifyMenuA", "GetMenuItemInfoA", "SetMenuItemInfoA",
    "AppendMenuA", "LoadStringA", "LoadBitmapA", "SetTimer", "KillTimer", "GetClassNameA", "MessageBoxA",
    "UpdateWindow", "ShowWindow", "TrackPopupMenu", "CreateICA", "CreateSolidBrush", "FillRect",
    "CreateCompatibleDC", "SelectObject", "BitBlt", "GetObjectA", "GetTextExtentPoint32A", "TextOutA",
    "SetTextColor", "SetBkColor", "GetSystemMetrics", "GetSysColor", "GetCursorPos", "SetForegroundWindow",
    "GetAsyncKeyState", "DrawMenuBar", "SendMessageA", "PostMessageA"};

// Kernel handles, keys, modules, menus, finds, streams, printers, brushes, bitmaps and DCs open now.
std::vector<size_t> LiveObjects() {
  const winsim::GdiCounts gdi = winsim::LiveGdiObjects();
  return {winsim::KernelHandleCount(),   winsim::OpenKeyCount(),    winsim::LoadedModuleCount(),
          winsim::LiveMenuCount(),       winsim::OpenFindHandleCount(), winsim::OpenStreamCount(),
          winsim::OpenPrinterCount(),    gdi.brushes, gdi.bitmaps, gdi.dcs};
}

using FaultsTest = ResidentTest;

TEST_F(FaultsTest, EveryCallFailingOnceFromStartToDeletedPrinter) {
  // Start, open and draw the menu, choose Printer Status, then an auxiliary item; the
  // printer is deleted and the timer ticks (a failure may have left no timer), then the
  // resident is closed. A clean run first counts the calls made of each API.
  unsigned nInjected = 0;
  for (const char* pszApi : kApis) {
    unsigned nCalls = 0;
    for (unsigned n = 0; n <= nCalls; ++n) {
      ResetMachine();
      testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
      winsim::PushIdleStep([&] { OpenMenu(winsim::MenuScript().Highlight(920).Choose(ID_PRINTER_STATUS)); });
      winsim::PushIdleStep([] { OpenMenu(winsim::MenuScript().Choose(920)); });
      winsim::PushIdleStep([] {
        winsim::RemovePrinter(testenv::ExistingPrinter());
        winsim::AdvanceClock(2000);
      });
      const unsigned nBefore = winsim::CallCount(pszApi);
      if (n) winsim::InjectFault(pszApi, ERROR_NOT_ENOUGH_MEMORY, n);
      const int nExitCode = RunAndClose("", {});
      winsim::ClearFaults();
      if (!n) {
        nCalls = winsim::CallCount(pszApi) - nBefore;
        continue;
      }
      const std::string what = std::string(pszApi) + " failing on call " + std::to_string(n);
      ++nInjected;
      size_t nStatusStarts = 0;
      for (const winsim::StartedProcess& p : winsim::StartedProcesses())
        nStatusStarts += p.program == m_driver.statusProgram;
      EXPECT_EQ(0, nExitCode) << what;
      EXPECT_FALSE(winsim::MessageLoopRanDry()) << what;
      // Nothing stays but an icon whose removal was the failed call.
      EXPECT_TRUE(winsim::TrayIcons().empty() || std::string(pszApi) == "Shell_NotifyIconA") << what;
      EXPECT_TRUE(winsim::Timers().empty()) << what;
      EXPECT_FALSE(winsim::FileMappingExists("PrwV3MapFile")) << what;
      EXPECT_EQ(std::vector<size_t>(10, 0), LiveObjects()) << what;
      // One message at most, and Printer Status either started or said it could not.
      EXPECT_LE(nStatusStarts + winsim::MessageBoxes().size(), 1u) << what;
      EXPECT_LE(winsim::StartedProcesses().size(), 2u) << what;
      // A parameter file stays only for a status program that was started.
      WIN32_FIND_DATAA data;
      HANDLE hFind = FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data);
      if (hFind != INVALID_HANDLE_VALUE) {
        EXPECT_EQ(1u, nStatusStarts) << what;
        FindClose(hFind);
      }
    }
  }
  EXPECT_GT(nInjected, 300u);
}

TEST_F(FaultsTest, ThousandMenusIconChangesShellRestartsAndTicksLeaveNoObjectBehind) {
  EXPECT_EQ(0, RunAndClose("", {[&] {
    const std::vector<size_t> before = LiveObjects();
    const size_t nIcons = winsim::LiveIconCount();
    for (int i = 0; i < 1000; ++i) {
      OpenMenu(winsim::MenuScript().Highlight(920).Highlight(921).Cancel());
      if (i % 10) continue;
      testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, i / 10 % 3);
      PostMessageA(ResidentWindow(), WM_TRAYICONCHANGE, 0, 0);
      winsim::RestartExplorer();
      winsim::AdvanceClock(2000);
      winsim::PumpMessages();
    }
    EXPECT_EQ(before, LiveObjects());
    EXPECT_EQ(nIcons, winsim::LiveIconCount());
    EXPECT_EQ(1u, winsim::TrayIcons().size());
  }}));
}

}  // namespace
