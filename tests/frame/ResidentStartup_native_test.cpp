// Every way the resident's start-up ends, one scenario per case: what it shows, what it
// removes or writes, and that the process ends with exit code 0.
#include "support/ResidentHarness.h"

#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "shared/MonitorTable.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <shellapi.h>

#include <cstring>
#include <new>

namespace {

class ResidentStartupTest : public ResidentTest {
protected:
  bool HasRunEntry() {
    return testenv::GetReg(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey) != "<missing>";
  }
  std::string TrayEnable() { return testenv::GetReg(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_ENABLE); }
  // A printer the spooler does not know, with a start-up entry and parameter file of ours.
  std::string GoneCommandLine(const char* pszTail) {
    testenv::WriteFile(m_driver.paramFile, "/P \"gone printer\"\r\n");
    testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, "gone printer", m_driver.runCommand);
    return "/A \"" + m_driver.paramFile + "\"" + pszTail;
  }
  // The window the shared table holds for the printer (null when none), found as a
  // second resident would find it.
  HWND TableHolder() {
    HWND hHolder = nullptr;
    HANDLE hMap = nullptr;
    const int nResult = RegisterMonitorWindow(m_driver.printerKey.c_str(), "", MONITOR_KIND_TRAY,
                                              MONITOR_WND_PLACEHOLDER, &hHolder, &hMap);
    CloseHandle(hMap);
    return nResult == MONITOR_REG_TAKEN ? hHolder : nullptr;
  }
  bool GoneEntryKept() {
    return testenv::GetReg(HKEY_CURRENT_USER, kRunKey, "gone printer") != "<missing>" &&
           testenv::FileExists(m_driver.paramFile);
  }
};

TEST_F(ResidentStartupTest, RunsWithIconMenuTimerAndTableSlotUntilClosed) {
  size_t nTimers = 0;
  winsim::PushIdleStep([&] {
    ASSERT_NE(nullptr, ResidentWindow());
    ASSERT_EQ(1u, winsim::TrayIcons().size());
    const winsim::TrayIcon icon = winsim::TrayIcons()[0];
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), icon.cbSize);
    EXPECT_EQ(WM_TRAYNOTIFY, icon.callbackMessage);
    EXPECT_EQ(testenv::ExistingPrinter(), icon.tip);
    EXPECT_EQ(IDI_TRAYICON_0, TrayIconResource());
    for (const winsim::TimerInfo& t : winsim::Timers())
      if (t.hwnd == ResidentWindow() && t.id == DELPRN_TIMER_ID && t.elapse == 2000) ++nTimers;
    EXPECT_EQ(ResidentWindow(), TableHolder());
    EXPECT_EQ(0u, winsim::LoadedModuleCount()) << "the resource library is freed after start-up";
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(1u, nTimers);
  EXPECT_FALSE(winsim::MessageLoopRanDry());
  EXPECT_TRUE(winsim::TrayIcons().empty());
  EXPECT_TRUE(winsim::Timers().empty());
  EXPECT_EQ(0u, winsim::LiveMenuCount());
  EXPECT_FALSE(winsim::FileMappingExists(MONITOR_MAP_NAME)) << "the slot and the block's handle are given up";
  EXPECT_TRUE(HasRunEntry());
  EXPECT_EQ("1", TrayEnable());
}

TEST_F(ResidentStartupTest, NoPrinterRemovesTheEntryOnlyWithSlashABlankAndADeletedPrinter) {
  EXPECT_EQ(0, RunResident(GoneCommandLine("")));
  EXPECT_FALSE(GoneEntryKept()) << "\"/A \" and a printer the spooler does not know";

  testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, "gone printer", m_driver.runCommand);
  EXPECT_EQ(0, RunResident("/P \"gone printer\" /A"));
  EXPECT_EQ(0, RunResident("/P \"gone printer\""));
  EXPECT_NE("<missing>", testenv::GetReg(HKEY_CURRENT_USER, kRunKey, "gone printer"))
      << "\"/A\" at the very end, or no /A at all, removes nothing";

  // A spooler that is not up yet, or refuses the open, is no deleted printer.
  for (DWORD dwError : {static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), static_cast<DWORD>(ERROR_ACCESS_DENIED)}) {
    std::string cmdLine = GoneCommandLine("");
    winsim::InjectFault("OpenPrinterA", dwError);
    winsim::InjectFault("OpenPrinterW", dwError);
    EXPECT_EQ(0, RunResident(cmdLine));
    winsim::ClearFaults();
    EXPECT_TRUE(GoneEntryKept()) << dwError;
  }

  // Neither printer nor port: the entry naming the parameter file goes with the file.
  testenv::WriteFile(m_driver.paramFile, "/M \"PRW3DEMO\"\r\n");
  EXPECT_EQ(0, RunResident("/A \"" + m_driver.paramFile + "\""));
  EXPECT_FALSE(HasRunEntry());
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
  EXPECT_EQ(nullptr, ResidentWindow());
}

TEST_F(ResidentStartupTest, EmptyModelIdEndsWithoutTouchingAnything) {
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\prw3test", REG_MODEL_ID);
  EXPECT_EQ(0, RunResident("/P \"" + testenv::ExistingPrinter() + "\""));
  EXPECT_EQ(nullptr, ResidentWindow());
  EXPECT_EQ("", TargetKey());
  EXPECT_TRUE(HasRunEntry());
}

TEST_F(ResidentStartupTest, SecondResidentMakesTheFirstReReadItsIconAndEnds) {
  int nSecond = -1;
  winsim::PushIdleStep([&] {
    testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 2);
    nSecond = RunSecondResident(StartupCommandLine());
  });
  int nIconAfter = 0;
  winsim::PushIdleStep([&] {
    nIconAfter = TrayIconResource();
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(0, nSecond);
  EXPECT_EQ(IDI_TRAYICON_0 + 2, nIconAfter);
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  EXPECT_TRUE(HasRunEntry());
}

TEST_F(ResidentStartupTest, RemoveModeClosesTheRunningResidentOrJustReleasesItsSlot) {
  int nRemover = -1;
  winsim::PushIdleStep([&] { nRemover = RunSecondResident(StartupCommandLine() + " /R"); });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(0, nRemover);
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "the first resident ended by WM_CLOSE";

  EXPECT_EQ(0, RunResident(StartupCommandLine() + " /R"));
  EXPECT_TRUE(winsim::TrayIcons().empty());
  EXPECT_FALSE(winsim::FileMappingExists(MONITOR_MAP_NAME));
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  EXPECT_TRUE(HasRunEntry());
}

TEST_F(ResidentStartupTest, ForeignWindowLeftInTheTableIsNeitherClosedNorKept) {
  // A resident died without removing itself, and its handle now names another program's
  // window: a start in remove mode must not close that window.
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "ForeignClass";
  RegisterClassA(&wc);
  HWND hForeign = CreateWindowExA(0, "ForeignClass", "foreign", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
  HWND hOther = nullptr;
  HANDLE hMap = nullptr;
  const std::string printer = testenv::ExistingPrinter();
  ASSERT_EQ(MONITOR_REG_CLAIMED,
            RegisterMonitorWindow(printer.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap));
  SetMonitorWindow(printer.c_str(), "", hForeign, MONITOR_KIND_TRAY);

  EXPECT_EQ(0, RunResident(StartupCommandLine() + " /R"));
  winsim::PumpMessages();
  EXPECT_TRUE(IsWindow(hForeign));

  winsim::PushIdleStep([&] {
    EXPECT_EQ(ResidentWindow(), TableHolder()) << "the resident took the slot over";
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_TRUE(IsWindow(hForeign));
  CloseHandle(hMap);
}

TEST_F(ResidentStartupTest, SharedTableFailures) {
  // The first view only prepares a new block; a view failing after it is reported.
  winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 2);
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ("Insufficient memory.", winsim::MessageBoxes()[0].text);
  EXPECT_EQ("OLMAR Printwatch 3", winsim::MessageBoxes()[0].caption);
  EXPECT_EQ(nullptr, winsim::MessageBoxes()[0].owner);
  EXPECT_EQ(static_cast<UINT>(MB_OK), winsim::MessageBoxes()[0].style);

  winsim::InjectFault("CreateFileMappingA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 1);
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_TRUE(winsim::TrayIcons().empty());
  EXPECT_TRUE(HasRunEntry());
  EXPECT_EQ(0u, winsim::KernelHandleCount());
}

TEST_F(ResidentStartupTest, TrayIconSwitchedOffGivesThePrinterUp) {
  for (bool bMissing : {false, true}) {
    // The target as the preferences program leaves it.
    const std::string target = CreateTarget();
    ASSERT_NE("", target);
    if (bMissing)
      testenv::DeleteRegValue(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE);
    else
      testenv::SetRegDword(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE, 0);

    EXPECT_EQ(0, RunResident(StartupCommandLine()));
    EXPECT_FALSE(HasRunEntry()) << bMissing;
    EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
    EXPECT_EQ("0", TrayEnable());
    EXPECT_TRUE(winsim::TrayIcons().empty());
    EXPECT_TRUE(winsim::MessageBoxes().empty());
    m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
  }
}

TEST_F(ResidentStartupTest, PrinterLibraryThatFailsOnceLeavesTheIconOnAndTheNextStartMakesTheTarget) {
  // No target can be made at all: the INI file's settings serve.
  winsim::InjectFault("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
  int nIcon = 0;
  winsim::PushIdleStep([&] {
    nIcon = TrayIconResource();
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(IDI_TRAYICON_0, nIcon);

  // The printer library is locked (a driver update) on the first start only.
  winsim::InjectFault("LoadLibraryA", ERROR_SHARING_VIOLATION, 1);
  for (int nStart = 1; nStart <= 2; ++nStart) {
    nIcon = 0;
    winsim::PushIdleStep([&] {
      nIcon = TrayIconResource();
      CloseResident();
    });
    EXPECT_EQ(0, RunResident(StartupCommandLine()));
    EXPECT_EQ(IDI_TRAYICON_0, nIcon) << "start " << nStart;
    EXPECT_TRUE(HasRunEntry()) << "start " << nStart;
  }
  EXPECT_EQ("1", TrayEnable()) << "the library's defaults in the target made by the second start";
}

TEST_F(ResidentStartupTest, PeerHoldingTheTableMutexDelaysStartUpOnceAndNeverBlocksIt) {
  for (winsim::MutexHolder holder : {winsim::MutexHolder::kNone, winsim::MutexHolder::kHung,
                                     winsim::MutexHolder::kEnded}) {
    winsim::HoldMutexElsewhere(MONITOR_MUTEX_NAME, holder);
    const uint64_t start = winsim::ClockNow();
    uint64_t waited = 0;
    winsim::PushIdleStep([&] {
      waited = winsim::ClockNow() - start;
      EXPECT_EQ(ResidentWindow(), TableHolder());
      CloseResident();
    });
    EXPECT_EQ(0, RunResident(StartupCommandLine()));
    EXPECT_EQ(holder == winsim::MutexHolder::kHung ? MONITOR_LOCK_TIMEOUT_MS : 0u, waited);
    EXPECT_EQ(0u, winsim::MutexOwnership(MONITOR_MUTEX_NAME)) << "released on every way out";
    winsim::HoldMutexElsewhere(MONITOR_MUTEX_NAME, winsim::MutexHolder::kNone);
  }
}

TEST_F(ResidentStartupTest, MissingResourceLibraryIsReportedOnceAndGivesThePrinterUp) {
  ASSERT_NE("", CreateTarget());
  winsim::InjectFault("LoadLibraryA", ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  winsim::ClearFaults();
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ("Could not find specified file.", winsim::MessageBoxes()[0].text);
  EXPECT_NE(nullptr, winsim::MessageBoxes()[0].owner) << "owned by the hidden window";
  EXPECT_FALSE(HasRunEntry());
  EXPECT_EQ("0", TrayEnable());
}

TEST_F(ResidentStartupTest, TrayThatRefusesTheIconIsRetriedThenGivenUp) {
  // The notification area is not ready at first: the third add succeeds.
  winsim::FailNotifyIcon(NIM_ADD, 2);
  winsim::PushIdleStep([] { CloseResident(); });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_FALSE(winsim::MessageLoopRanDry());

  // An add the shell did but reported as failed is not made twice.
  winsim::FailNotifyIcon(NIM_ADD, 1, true);
  size_t nIcons = 0;
  winsim::PushIdleStep([&] {
    nIcons = winsim::TrayIcons().size();
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(1u, nIcons);

  // A tray that never takes it: start-up ends after a few seconds, keeping the entry.
  winsim::FailNotifyIcon(NIM_ADD, 1000);
  const uint64_t start = winsim::ClockNow();
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_LE(winsim::ClockNow() - start, 10000u);
  EXPECT_TRUE(HasRunEntry());
  EXPECT_EQ("1", TrayEnable());
  EXPECT_TRUE(winsim::Timers().empty());
  EXPECT_EQ(0u, winsim::LiveMenuCount());
}

TEST_F(ResidentStartupTest, MissingMenuEndsStartUpQuietly) {
  std::string error;
  winsim::ModuleImage image;
  image.resources = winsim::ParseRc("700 ICON \"printer_ok.ico\"\n701 ICON \"printer_warning.ico\"\n"
                                    "702 ICON \"printer_error.ico\"\n",
                                    PRW3_DEMO_RES_SOURCE_DIR, &error);
  ASSERT_TRUE(image.resources) << error;
  winsim::RegisterModule(m_driver.englishResources, image);
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  EXPECT_TRUE(winsim::TrayIcons().empty()) << "the icon added before the menu is removed again";
  EXPECT_TRUE(HasRunEntry());
  EXPECT_EQ(0u, winsim::LoadedModuleCount());
}

TEST_F(ResidentStartupTest, ShellRestartTipAndIconChoiceOutOfRange) {
  // A label longer than the tip keeps its start and ends in "...".
  const std::string longName(80, 'L');
  winsim::AddPrinter(longName, "LPT7:", "prw3test");
  m_driver = testenv::InstallDemoDriver(longName, "prw3test");
  testenv::SetRegDword(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_SELECTED, 7);
  HICON hBefore = nullptr;
  winsim::PushIdleStep([&] {
    ASSERT_EQ(1u, winsim::TrayIcons().size());
    EXPECT_EQ(longName.substr(0, 60) + "...", winsim::TrayIcons()[0].tip);
    EXPECT_EQ(IDI_TRAYICON_0, TrayIconResource()) << "a stored choice of 7 shows the first icon";
    hBefore = winsim::TrayIcons()[0].icon;
    winsim::RestartExplorer();
  });
  winsim::PushIdleStep([&] {
    ASSERT_EQ(1u, winsim::TrayIcons().size()) << "added again after the shell restarted";
    EXPECT_EQ(hBefore, winsim::TrayIcons()[0].icon) << "with the icon already held";
    CloseResident();
  });
  EXPECT_EQ(0, RunResident("/P \"" + longName + "\""));

  // In a double-byte code page the cut keeps whole characters: 29 of them after the "A",
  // where 60 bytes would split the 30th.
  winsim::SetAnsiCodePage(932);
  std::string dbcsName = "A";
  for (int i = 0; i < 40; ++i) dbcsName += "\x82\xA0";
  winsim::AddPrinter(dbcsName, "LPT8:", "prw3test");
  m_driver = testenv::InstallDemoDriver(dbcsName, "prw3test");
  winsim::PushIdleStep([&] {
    ASSERT_EQ(1u, winsim::TrayIcons().size());
    EXPECT_EQ(dbcsName.substr(0, 59) + "...", winsim::TrayIcons()[0].tip);
    CloseResident();
  });
  EXPECT_EQ(0, RunResident("/P \"" + dbcsName + "\""));
}

TEST_F(ResidentStartupTest, CommandLineTooLongIsRefusedWithALogLine) {
  EnableDebugLog();
  EXPECT_EQ(0, RunResident("/P \"" + testenv::ExistingPrinter() + "\" " + std::string(300, ' ')));
  EXPECT_EQ(nullptr, ResidentWindow());
  EXPECT_NE(std::string::npos, DebugLogText().find(" : CCommandLine : command line too long\r\n"));
}

TEST(MainFrame, ConstructionLeavesNoIconHandleUnset) {
  // A second start's icon change can reach the frame before its icons are loaded.
  alignas(CMainFrame) unsigned char storage[sizeof(CMainFrame)];
  memset(storage, 0xA5, sizeof(storage));
  CMainFrame* pFrame = new (storage) CMainFrame;
  for (HICON hIcon : pFrame->m_hIcon) EXPECT_EQ(nullptr, hIcon);
  pFrame->~CMainFrame();
}

}  // namespace
