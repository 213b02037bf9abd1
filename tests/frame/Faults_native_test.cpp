// Fault injection through the resident's whole life, grouped by operation: every call
// an operation makes is failed in turn, once on each of the times it is made. Whatever
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

struct Leaks {
  size_t handles, keys, modules, menus, finds, streams, printers;
  winsim::GdiCounts gdi;
};

Leaks Measure() {
  return {winsim::KernelHandleCount(), winsim::OpenKeyCount(),      winsim::LoadedModuleCount(),
          winsim::LiveMenuCount(),     winsim::OpenFindHandleCount(), winsim::OpenStreamCount(),
          winsim::OpenPrinterCount(),  winsim::LiveGdiObjects()};
}

std::string Describe(const Leaks& l) {
  return "handles " + std::to_string(l.handles) + ", keys " + std::to_string(l.keys) + ", modules " +
         std::to_string(l.modules) + ", menus " + std::to_string(l.menus) + ", finds " + std::to_string(l.finds) +
         ", streams " + std::to_string(l.streams) + ", printers " + std::to_string(l.printers) + ", brushes " +
         std::to_string(l.gdi.brushes) + ", bitmaps " + std::to_string(l.gdi.bitmaps) + ", dcs " +
         std::to_string(l.gdi.dcs);
}

class FaultsTest : public ResidentTest {
protected:
  // A fresh machine with the driver installed, as at the start of every test.
  void Fresh() {
    winsim::Reset();
    winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test", "WinPrint");
    m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
  }

  // Runs `scenario` once cleanly to count each call made after it calls Arm(), then once
  // for every such call, failing just that one; `check` sees the outcome of each run.
  void Sweep(const std::vector<std::string>& apis, const std::function<void()>& scenario,
             const std::function<void(const std::string& api, const std::string& what)>& check) {
    for (const std::string& api : apis) {
      Fresh();
      m_api = api;
      m_nth = 0;
      scenario();
      const unsigned nCalls = winsim::CallCount(api) - m_nArmedAt;
      for (unsigned n = 1; n <= nCalls; ++n) {
        Fresh();
        m_nth = n;
        scenario();
        winsim::ClearFaults();
        check(api, api + " failing on call " + std::to_string(n) + " of " + std::to_string(nCalls));
        ++m_nInjected;
      }
    }
  }

  // From here on the swept call counts, and fails on its chosen time.
  void Arm() {
    m_nArmedAt = winsim::CallCount(m_api);
    if (m_nth) winsim::InjectFault(m_api, ERROR_NOT_ENOUGH_MEMORY, m_nth);
  }

  void ExpectNoLeaks(const std::string& what) {
    const Leaks l = Measure();
    EXPECT_EQ(0u, l.handles + l.keys + l.modules + l.menus + l.finds + l.streams + l.printers + l.gdi.brushes +
                      l.gdi.bitmaps + l.gdi.dcs)
        << what << ": " << Describe(l);
  }

  void TearDown() override {
    RecordProperty("faults_injected", static_cast<int>(m_nInjected));
    ResidentTest::TearDown();
  }

  unsigned m_nInjected = 0;
  int m_nExitCode = -1;
  std::string m_api;
  unsigned m_nth = 0;
  unsigned m_nArmedAt = 0;
};

// The calls of start-up, the running loop and shut-down. The release calls (DeleteObject,
// DeleteDC, RegCloseKey, CloseHandle, ...) are not failed: nothing can be done when they
// fail, and the program states no outcome for them.
const std::vector<std::string> kLifeApis = {
    "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA", "RegSetValueExA", "RegEnumKeyExA",
    "CreateFileMappingA", "MapViewOfFile", "OpenFileMappingA", "LoadLibraryA", "GetProcAddress",
    "GetPrivateProfileStringA", "GetPrivateProfileIntA", "GetPrivateProfileSectionA", "FindFirstFileA",
    "OpenPrinterA", "GetPrinterA", "_fsopen", "GetTempPathA", "OpenFile", "RegisterClassA", "CreateWindowExA",
    "LoadImageA", "Shell_NotifyIconA", "LoadMenuA", "GetSubMenu", "ModifyMenuA", "GetMenuItemInfoA",
    "SetMenuItemInfoA", "AppendMenuA", "LoadStringA", "LoadBitmapA", "SetTimer", "GetClassNameA", "MessageBoxA",
    "UpdateWindow", "ShowWindow"};

TEST_F(FaultsTest, StartUpRunAndShutDown) {
  Sweep(
      kLifeApis,
      [&] {
        winsim::PushIdleStep([] { CloseResident(); });
        Arm();
        m_nExitCode = RunResident(StartupCommandLine());
      },
      [&](const std::string& api, const std::string& what) {
        EXPECT_EQ(0, m_nExitCode) << what;
        // Either it ran until it was closed, or it ended at start-up: nothing stays but
        // an icon whose removal was the failed call.
        EXPECT_FALSE(winsim::MessageLoopRanDry()) << what;
        if (api != "Shell_NotifyIconA") {
          EXPECT_TRUE(winsim::TrayIcons().empty()) << what;
        }
        EXPECT_TRUE(winsim::Timers().empty()) << what;
        EXPECT_FALSE(winsim::FileMappingExists("PrwV3MapFile")) << what;
        EXPECT_LE(winsim::MessageBoxes().size(), 1u) << what;
        ExpectNoLeaks(what);
      });
  EXPECT_GT(m_nInjected, 150u);
}

TEST_F(FaultsTest, MenuDrawingAndLaunches) {
  // Once running, the menu is opened and drawn, and Printer Status and an auxiliary item
  // are chosen.
  const std::vector<std::string> apis = {
      "TrackPopupMenu", "CreateICA", "CreateSolidBrush", "FillRect", "CreateCompatibleDC", "SelectObject",
      "BitBlt", "GetObjectA", "GetTextExtentPoint32A", "TextOutA", "SetTextColor", "SetBkColor",
      "GetSystemMetrics", "GetSysColor", "GetTempFileNameA", "_fsopen", "CreateProcessA", "OpenPrinterA",
      "GetPrinterA", "RegOpenKeyExA", "RegQueryValueExA", "FindFirstFileA", "MessageBoxA", "GetCursorPos",
      "GetSubMenu", "SetForegroundWindow", "GetAsyncKeyState", "DrawMenuBar", "SendMessageA"};
  size_t nStatusStarts = 0;
  Sweep(
      apis,
      [&] {
        winsim::PushIdleStep([&] {
          Arm();
          winsim::ScriptTrackPopupMenu(winsim::MenuScript().Highlight(920).Choose(ID_PRINTER_STATUS));
          winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
        });
        winsim::PushIdleStep([] {
          winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(920));
          winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
        });
        winsim::PushIdleStep([] { CloseResident(); });
        m_nExitCode = RunResident(StartupCommandLine());
        nStatusStarts = 0;
        for (const winsim::StartedProcess& p : winsim::StartedProcesses())
          if (p.program == m_driver.statusProgram) ++nStatusStarts;
      },
      [&](const std::string&, const std::string& what) {
        EXPECT_EQ(0, m_nExitCode) << what;
        EXPECT_FALSE(winsim::MessageLoopRanDry()) << what;
        // Printer Status either started or said it could not, never both.
        EXPECT_LE(nStatusStarts + winsim::MessageBoxes().size(), 1u) << what;
        EXPECT_LE(winsim::StartedProcesses().size(), 2u) << what;
        ExpectNoLeaks(what);
        // A parameter file stays only for a status program that was started.
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data);
        if (hFind != INVALID_HANDLE_VALUE) {
          FindClose(hFind);
          EXPECT_EQ(1u, nStatusStarts) << what;
        }
      });
}

TEST_F(FaultsTest, DeletedPrinterCheck) {
  // Once running, the printer is deleted and the timer ticks.
  const std::vector<std::string> apis = {"OpenPrinterA", "OpenPrinterW", "RegOpenKeyExA", "RegQueryValueExA",
                                         "RegDeleteValueA", "DeleteFileA", "KillTimer", "PostMessageA"};
  Sweep(
      apis,
      [&] {
        testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
        winsim::PushIdleStep([&] {
          Arm();
          winsim::RemovePrinter(testenv::ExistingPrinter());
          winsim::AdvanceClock(2000);
        });
        m_nExitCode = RunResident(StartupCommandLine());
      },
      [&](const std::string&, const std::string& what) {
        EXPECT_EQ(0, m_nExitCode) << what;
        // The check ends the resident whatever failed in the clean-up (an open that
        // failed for another reason than a deleted printer waits for the next tick).
        EXPECT_FALSE(winsim::MessageLoopRanDry()) << what;
        EXPECT_TRUE(winsim::TrayIcons().empty()) << what;
        ExpectNoLeaks(what);
      });
}

}  // namespace
