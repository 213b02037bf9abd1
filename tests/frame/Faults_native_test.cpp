// Fault injection through the resident's whole life: every call it makes is failed in
// turn, once on each of the times it is made. Whatever
// fails, the process ends with 0 or carries on as the program states, never crashes, and
// leaves no handle, key, library, menu or GDI object behind.
#include "support/ResidentHarness.h"

#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <functional>
#include <string>
#include <vector>

namespace {

// What is still open: "" when nothing is.
std::string LeftOpen() {
  const winsim::GdiCounts gdi = winsim::LiveGdiObjects();
  const std::pair<const char*, size_t> counts[] = {
      {"handles", winsim::KernelHandleCount()},   {"keys", winsim::OpenKeyCount()},
      {"modules", winsim::LoadedModuleCount()},   {"menus", winsim::LiveMenuCount()},
      {"finds", winsim::OpenFindHandleCount()},   {"streams", winsim::OpenStreamCount()},
      {"printers", winsim::OpenPrinterCount()},   {"brushes", gdi.brushes},
      {"bitmaps", gdi.bitmaps},                   {"dcs", gdi.dcs}};
  std::string left;
  for (const auto& c : counts)
    if (c.second) left += std::string(c.first) + " " + std::to_string(c.second) + " ";
  return left;
}

class FaultsTest : public ResidentTest {
protected:
  // Runs `scenario` once cleanly to count each call made after it calls Arm(), then once
  // for every such call, failing just that one; `check` sees the outcome of each run.
  void Sweep(const std::vector<std::string>& apis, const std::function<void()>& scenario,
             const std::function<void(const std::string& api, const std::string& what)>& check) {
    for (const std::string& api : apis) {
      ResetMachine();
      m_api = api;
      m_nth = 0;
      scenario();
      const unsigned nCalls = winsim::CallCount(api) - m_nArmedAt;
      for (unsigned n = 1; n <= nCalls; ++n) {
        ResetMachine();
        m_nth = n;
        scenario();
        winsim::ClearFaults();
        check(api, api + " failing on call " + std::to_string(n) + " of " + std::to_string(nCalls));
        EXPECT_EQ("", LeftOpen()) << api << " failing on call " << n;
        ++m_nInjected;
      }
    }
  }

  // From here on the swept call counts, and fails on its chosen time.
  void Arm() {
    m_nArmedAt = winsim::CallCount(m_api);
    if (m_nth) winsim::InjectFault(m_api, ERROR_NOT_ENOUGH_MEMORY, m_nth);
  }

  unsigned m_nInjected = 0;
  int m_nExitCode = -1;
  std::string m_api;
  unsigned m_nth = 0;
  unsigned m_nArmedAt = 0;
};

// Every call of start-up, the menu and its drawing, both launches, the deleted-printer
// check and shut-down. The release calls (DeleteObject, RegCloseKey, CloseHandle, ...)
// are not failed: nothing can be done when they fail, and no outcome is stated for them.
const std::vector<std::string> kApis = {
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

TEST_F(FaultsTest, EveryCallFailingOnceFromStartToDeletedPrinter) {
  // Start, open and draw the menu, choose Printer Status, then an auxiliary item; the
  // printer is deleted and the timer ticks (a failure may have left no timer), then the
  // resident is closed.
  size_t nStatusStarts = 0;
  Sweep(
      kApis,
      [&] {
        testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
        winsim::PushIdleStep([&] { OpenMenu(winsim::MenuScript().Highlight(920).Choose(ID_PRINTER_STATUS)); });
        winsim::PushIdleStep([] { OpenMenu(winsim::MenuScript().Choose(920)); });
        winsim::PushIdleStep([] {
          winsim::RemovePrinter(testenv::ExistingPrinter());
          winsim::AdvanceClock(2000);
        });
        winsim::PushIdleStep(CloseResident);
        Arm();
        m_nExitCode = RunResident("");
        nStatusStarts = 0;
        for (const winsim::StartedProcess& p : winsim::StartedProcesses())
          if (p.program == m_driver.statusProgram) ++nStatusStarts;
      },
      [&](const std::string& api, const std::string& what) {
        EXPECT_EQ(0, m_nExitCode) << what;
        EXPECT_FALSE(winsim::MessageLoopRanDry()) << what;
        // Nothing stays but an icon whose removal was the failed call.
        if (api != "Shell_NotifyIconA") EXPECT_TRUE(winsim::TrayIcons().empty()) << what;
        EXPECT_TRUE(winsim::Timers().empty()) << what;
        EXPECT_FALSE(winsim::FileMappingExists("PrwV3MapFile")) << what;
        // One message at most, and Printer Status either started or said it could not.
        EXPECT_LE(nStatusStarts + winsim::MessageBoxes().size(), 1u) << what;
        EXPECT_LE(winsim::StartedProcesses().size(), 2u) << what;
        // A parameter file stays only for a status program that was started.
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data);
        if (hFind != INVALID_HANDLE_VALUE) {
          FindClose(hFind);
          EXPECT_EQ(1u, nStatusStarts) << what;
        }
      });
  EXPECT_GT(m_nInjected, 300u);
}

}  // namespace
