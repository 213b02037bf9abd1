// Every way the resident's start-up ends: whether it stays with its icon, what it shows,
// what it removes or writes; then second starts, remove mode, the tip, the shell.
#include "support/ResidentHarness.h"

#include "base/Scoped.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "shared/MonitorTable.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

#include <shellapi.h>

#include <cstring>
#include <new>

namespace {

const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test";

class ResidentStartupTest : public ResidentTest {
protected:
  // The INI file's [PRW3DEMO] section rewritten; the file's other sections stay.
  void SetIniSection(const std::string& lines) {
    std::string ini = testenv::ReadFile(m_driver.iniFile);
    ini = ini.substr(0, ini.find("[" + m_driver.modelID + "]")) + "[" + m_driver.modelID + "]\r\n" + lines;
    testenv::WriteFile(m_driver.iniFile, ini);
  }
  // A target as the preferences program leaves it, with "TrayIconEnable" as given.
  void SetTargetEnable(const char* pszEnable) {
    const std::string target = CreateTarget();
    testenv::DeleteRegValue(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE);
    if (pszEnable) testenv::SetRegDword(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE, std::stoul(pszEnable));
  }
};

// One start per row on a fresh machine. The icon is read on the first idle turn; a
// resident that stayed is then closed. Every start ends with exit code 0.
struct StartCase {
  const char* name;
  std::function<void()> arrange;
  int icon;            // the tray icon's resource while it runs, 0 when it did not stay
  bool entryKept;      // the start-up entry (and its parameter file) afterwards
  const char* enable;  // the target's "TrayIconEnable" afterwards
  const char* box;     // the one message box shown, "" for none
};

TEST_F(ResidentStartupTest, EachWayStartUpEnds) {
  const StartCase cases[] = {
      {"installed", [] {}, IDI_TRAYICON_0, true, "1", ""},
      {"switched off in the target", [this] { SetTargetEnable("0"); }, 0, false, "0", ""},
      {"target without TrayIconEnable", [this] { SetTargetEnable(nullptr); }, 0, false, "0",
       ""},
      {"resource library missing",
       [this] {
         CreateTarget();
         winsim::InjectFault("LoadLibraryA", ERROR_MOD_NOT_FOUND, 1);
       },
       0, false, "0", "Could not find specified file."},
      {"table view fails", [] { winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 2); },
       0, true, "<missing>", "Insufficient memory."},
      {"table cannot be made",
       [] { winsim::InjectFault("CreateFileMappingA", ERROR_ACCESS_DENIED, 1); }, 0, true,
       "<missing>", ""},
      {"no model id",
       [this] {
         testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID);
         testenv::WriteFile(m_driver.paramFile, "/P \"" + m_driver.printerName + "\"\r\n");
       },
       0, true, "<missing>", ""},
      {"menu missing",
       [this] {
         std::string error;
         winsim::ModuleImage image;
         image.resources = winsim::ParseRc("700 ICON \"printer_ok.ico\"\n701 ICON \"printer_warning.ico\"\n"
                                           "702 ICON \"printer_error.ico\"\n",
                                           PRW3_DEMO_RES_SOURCE_DIR, &error);
         winsim::RegisterModule(m_driver.englishResources, image);
       },
       0, true, "1", ""},
      // A printer library locked during a driver update leaves no target: the INI file's
      // settings serve, and the next start makes the target.
      {"printer library fails once", [] { winsim::InjectFault("LoadLibraryA", ERROR_SHARING_VIOLATION, 1); },
       IDI_TRAYICON_0, true, "<missing>", ""},
      {"no target can be made, INI icon 2",
       [this] {
         winsim::InjectFault("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
         SetIniSection("PrnDll=O_PPRN.DLL\r\nTrayIconEnable=1\r\nTrayIconSelected=2\r\n");
       },
       IDI_TRAYICON_0 + 2, true, "<missing>", ""},
      {"no target, INI switched off",
       [this] {
         winsim::InjectFault("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
         SetIniSection("PrnDll=O_PPRN.DLL\r\nTrayIconSelected=1\r\n");
       },
       0, false, "<missing>", ""},
      // Without a target and an INI file the resident counts as on, and goes on to find
      // no resource library either.
      {"no target and no INI file",
       [this] {
         winsim::InjectFault("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
         testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Profile", m_driver.modelID);
       },
       0, false, "<missing>", "Could not find specified file."},
  };
  for (const StartCase& c : cases) {
    ResetMachine();
    c.arrange();
    int nIcon = 0;
    winsim::PushIdleStep([&] {
      nIcon = TrayIconResource();
      CloseResident();
    });
    EXPECT_EQ(0, RunResident("")) << c.name;
    winsim::ClearFaults();
    EXPECT_EQ(c.icon, nIcon) << c.name;
    EXPECT_EQ(c.entryKept, HasRunEntry()) << c.name;
    EXPECT_EQ(c.entryKept, testenv::FileExists(m_driver.paramFile)) << c.name;
    EXPECT_EQ(c.enable, TargetValue(TRAY_ICON_ENABLE)) << c.name;
    const auto boxes = winsim::MessageBoxes();
    EXPECT_EQ(c.box, boxes.empty() ? "" : boxes[0].text) << c.name;
    EXPECT_LE(boxes.size(), 1u) << c.name;
    // Nothing of a start that did not stay is left but what it was meant to leave.
    EXPECT_TRUE(winsim::TrayIcons().empty()) << c.name;
    EXPECT_EQ(0u, winsim::LiveMenuCount()) << c.name;
    EXPECT_EQ(0u, winsim::LoadedModuleCount()) << c.name;
    EXPECT_EQ(0u, winsim::KernelHandleCount()) << c.name;
  }
  // The start after the failed printer library made the target, with the library's defaults.
  ResetMachine();
  winsim::InjectFault("LoadLibraryA", ERROR_SHARING_VIOLATION, 1);
  EXPECT_EQ(0, RunAndClose("", {}));
  EXPECT_EQ(0, RunAndClose("", {}));
  EXPECT_EQ("1", TargetValue(TRAY_ICON_ENABLE));
}

TEST_F(ResidentStartupTest, RunningResidentHoldsIconMenuTimerAndSlotUntilClosed) {
  EnableDebugLog();
  size_t nTimers = 0;
  EXPECT_EQ(0, RunAndClose("", {[&] {
                              ASSERT_EQ(1u, winsim::TrayIcons().size());
                              const winsim::TrayIcon icon = winsim::TrayIcons()[0];
                              EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), icon.cbSize);
                              EXPECT_EQ(WM_TRAYNOTIFY, icon.callbackMessage);
                              EXPECT_EQ(testenv::ExistingPrinter(), icon.tip);
                              for (const winsim::TimerInfo& t : winsim::Timers())
                                if (t.hwnd == ResidentWindow() && t.id == DELPRN_TIMER_ID && t.elapse == 2000) ++nTimers;
                              EXPECT_EQ(ResidentWindow(), TableHolder());
                              EXPECT_EQ(0u, winsim::LoadedModuleCount()) << "the resource library is freed";
                            }}));
  EXPECT_EQ(1u, nTimers);
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "it ran until closed";
  EXPECT_TRUE(winsim::TrayIcons().empty());
  EXPECT_TRUE(winsim::Timers().empty());
  EXPECT_EQ(0u, winsim::LiveMenuCount());
  EXPECT_FALSE(winsim::FileMappingExists(MONITOR_MAP_NAME)) << "the slot and the block's handle are given up";
  EXPECT_EQ(0u, winsim::MutexOwnership(MONITOR_MUTEX_NAME));
  const std::string log = DebugLogText();
  for (const char* pszLine : {" : ***** LOG START ******", " : InitInstance", " : MainFrame.StartUp() : Result : 1",
                              " : WM_CLOSE", " : WM_DESTROY", " : ***** LOG END ******"})
    EXPECT_NE(std::string::npos, log.find(pszLine)) << pszLine;

  // "TrayIconEndTime" 0 or missing: no timer polls the spooler.
  for (const char* pszEndTime : {"TrayIconEndTime=0\r\n", ""}) {
    std::string ini = testenv::ReadFile(m_driver.iniFile);
    testenv::WriteFile(m_driver.iniFile, ini.substr(0, ini.find("TrayIconEndTime")) + pszEndTime);
    size_t nRunningTimers = 99;
    EXPECT_EQ(0, RunAndClose("", {[&] { nRunningTimers = winsim::Timers().size(); }}));
    EXPECT_EQ(0u, nRunningTimers) << pszEndTime;
  }
}

TEST_F(ResidentStartupTest, NoPrinterRemovesTheEntryOnlyWithSlashABlankAndADeletedPrinter) {
  // A printer the spooler does not know, with a start-up entry and parameter file of ours.
  auto arrangeGone = [&] {
    testenv::WriteFile(m_driver.paramFile, "/P \"gone printer\"\r\n");
    testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, "gone printer", m_driver.runCommand);
  };
  auto goneKept = [&] {
    return testenv::GetReg(HKEY_CURRENT_USER, kRunKey, "gone printer") != "<missing>" &&
           testenv::FileExists(m_driver.paramFile);
  };
  const std::string slashA = "/A \"" + m_driver.paramFile + "\"";
  arrangeGone();
  EXPECT_EQ(0, RunResident(slashA));
  EXPECT_FALSE(goneKept());

  // "/a " in lower case counts; "/A" at the very end, or no /A at all, does not; a
  // spooler that is not up or refuses the open proves no deleted printer.
  const struct {
    std::string cmdLine;
    DWORD dwSpoolerError;
    bool kept;
  } cases[] = {{"/a \"" + m_driver.paramFile + "\"", 0, false},
               {"/P \"gone printer\" /A", 0, true},
               {"/P \"gone printer\"", 0, true},
               {slashA, RPC_S_SERVER_UNAVAILABLE, true},
               {slashA, ERROR_ACCESS_DENIED, true}};
  for (const auto& c : cases) {
    arrangeGone();
    if (c.dwSpoolerError) {
      winsim::InjectFault("OpenPrinterA", c.dwSpoolerError);
      winsim::InjectFault("OpenPrinterW", c.dwSpoolerError);
    }
    EXPECT_EQ(0, RunResident(c.cmdLine));
    winsim::ClearFaults();
    EXPECT_EQ(c.kept, goneKept()) << c.cmdLine << " " << c.dwSpoolerError;
  }

  // Neither printer nor port: the entry naming the parameter file goes with the file.
  testenv::WriteFile(m_driver.paramFile, "/M \"PRW3DEMO\"\r\n");
  EXPECT_EQ(0, RunResident(slashA));
  EXPECT_FALSE(HasRunEntry());
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));

  // A command line too long for the parser is refused whole, with a log line.
  EnableDebugLog();
  EXPECT_EQ(0, RunResident("/P \"" + testenv::ExistingPrinter() + "\" " + std::string(300, ' ')));
  EXPECT_EQ(nullptr, ResidentWindow());
  EXPECT_NE(std::string::npos, DebugLogText().find(" : CCommandLine : command line too long\r\n"));
}

TEST_F(ResidentStartupTest, SecondStartAndRemoveModeReachTheRunningResident) {
  // A second start makes the first re-read its icon choice and ends.
  int nSecond = -1, nIconAfter = 0;
  EXPECT_EQ(0, RunAndClose("", {[&] {
                                  testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 2);
                                  nSecond = RunSecondResident("/P \"" + m_driver.printerKey + "\"");
                                },
                                [&] { nIconAfter = TrayIconResource(); }}));
  EXPECT_EQ(0, nSecond);
  EXPECT_EQ(IDI_TRAYICON_0 + 2, nIconAfter);

  // A start in remove mode closes it.
  int nRemover = -1;
  winsim::PushIdleStep([&] { nRemover = RunSecondResident("/R /P \"" + m_driver.printerKey + "\""); });
  EXPECT_EQ(0, RunResident(""));
  EXPECT_EQ(0, nRemover);
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "the first resident ended by WM_CLOSE";

  // With no resident running, remove mode takes its own slot and gives it back (another
  // key's registration keeps the block for the look).
  HWND hOther = nullptr;
  HANDLE hMap = nullptr;
  RegisterMonitorWindow("prw3 other", "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap);
  EXPECT_EQ(0, RunResident("/R /P \"" + m_driver.printerKey + "\""));
  EXPECT_EQ(nullptr, TableHolder());
  CloseHandle(hMap);
  EXPECT_TRUE(winsim::TrayIcons().empty());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  EXPECT_TRUE(HasRunEntry());
}

TEST_F(ResidentStartupTest, ForeignWindowLeftInTheTableIsNeitherClosedNorKept) {
  // A resident died without removing itself, and its handle now names another program's
  // window: a start in remove mode must not close that window, and a start takes the slot.
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "ForeignClass";
  RegisterClassA(&wc);
  HWND hForeign = CreateWindowExA(0, "ForeignClass", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                  nullptr);
  HWND hOther = nullptr;
  HANDLE hMap = nullptr;
  RegisterMonitorWindow(m_driver.printerKey.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap);
  SetMonitorWindow(m_driver.printerKey.c_str(), "", hForeign, MONITOR_KIND_TRAY);

  EXPECT_EQ(0, RunResident("/R /P \"" + m_driver.printerKey + "\""));
  winsim::PumpMessages();
  EXPECT_TRUE(IsWindow(hForeign));
  bool bTookSlot = false;
  EXPECT_EQ(0, RunAndClose("", {[&] { bTookSlot = TableHolder() == ResidentWindow(); }}));
  EXPECT_TRUE(bTookSlot);
  EXPECT_TRUE(IsWindow(hForeign));
  CloseHandle(hMap);
}

TEST_F(ResidentStartupTest, PrinterKnownOnlyByItsPortIsKeyedByThePort) {
  testenv::UninstallDemoDriver();
  m_driver = testenv::InstallDemoDriver("", "prw3test", "LPT1:");
  std::string dump;
  HWND hHolder = nullptr;
  std::string tip;
  EXPECT_EQ(0, RunAndClose("/O \"LPT1:\" /D \"prw3test\"", {[&] {
                             tip = winsim::TrayIcons().empty() ? "" : winsim::TrayIcons()[0].tip;
                             hHolder = TableHolder();
                             dump = OpenMenu(winsim::MenuScript().Cancel());
                           }}));
  EXPECT_EQ("LPT1:", tip);
  EXPECT_NE(nullptr, hHolder) << "the table holds the resident under the port";
  EXPECT_EQ(0u, dump.find("\"LPT1:\" 900 default\n"));
  EXPECT_EQ(nullptr, TableHolder()) << "shut-down took the port's slot back";
  EXPECT_NE("", TargetKey()) << "a port-name target";
}

TEST_F(ResidentStartupTest, PeerHoldingTheTableMutexDelaysStartUpOnceAndNeverBlocksIt) {
  for (winsim::MutexHolder holder :
       {winsim::MutexHolder::kNone, winsim::MutexHolder::kHung, winsim::MutexHolder::kEnded}) {
    winsim::HoldMutexElsewhere(MONITOR_MUTEX_NAME, holder);
    const uint64_t start = winsim::ClockNow();
    uint64_t waited = 0;
    HWND hHolder = nullptr;
    EXPECT_EQ(0, RunAndClose("", {[&] {
                                waited = winsim::ClockNow() - start;
                                hHolder = TableHolder();
                              }}));
    EXPECT_NE(nullptr, hHolder);
    EXPECT_EQ(holder == winsim::MutexHolder::kHung ? MONITOR_LOCK_TIMEOUT_MS : 0u, waited);
    EXPECT_EQ(0u, winsim::MutexOwnership(MONITOR_MUTEX_NAME)) << "released on every way out";
    winsim::HoldMutexElsewhere(MONITOR_MUTEX_NAME, winsim::MutexHolder::kNone);
  }
}

TEST_F(ResidentStartupTest, TrayThatRefusesTheIconIsRetriedThenGivenUp) {
  // The notification area is not ready at first: the third add succeeds.
  winsim::FailNotifyIcon(NIM_ADD, 2);
  EXPECT_EQ(0, RunAndClose("", {}));
  EXPECT_FALSE(winsim::MessageLoopRanDry());

  // An add the shell did but reported as failed is not made twice.
  winsim::FailNotifyIcon(NIM_ADD, 1, true);
  size_t nIcons = 0;
  EXPECT_EQ(0, RunAndClose("", {[&] { nIcons = winsim::TrayIcons().size(); }}));
  EXPECT_EQ(1u, nIcons);

  // A tray that never takes it: start-up ends after a few seconds, keeping the entry.
  winsim::FailNotifyIcon(NIM_ADD, 1000);
  const uint64_t start = winsim::ClockNow();
  EXPECT_EQ(0, RunResident(""));
  EXPECT_LE(winsim::ClockNow() - start, 10000u);
  EXPECT_TRUE(HasRunEntry());
  EXPECT_TRUE(winsim::Timers().empty());
}

TEST_F(ResidentStartupTest, ShellRestartTipAndIconChoiceOutOfRange) {
  // A label longer than the tip keeps its start and ends in "..."; in a double-byte code
  // page the cut keeps whole characters (29 after the "A", where 60 bytes would split one).
  std::string dbcsName = "A";
  for (int i = 0; i < 40; ++i) dbcsName += "\x82\xA0";
  const std::string longName(80, 'L');
  for (const std::string& name : {longName, dbcsName}) {
    winsim::SetAnsiCodePage(name == dbcsName ? 932 : 1252);
    winsim::AddPrinter(name, "LPT7:", "prw3test");
    m_driver = testenv::InstallDemoDriver(name, "prw3test");
    std::string tip;
    EXPECT_EQ(0, RunAndClose("/P \"" + name + "\"", {[&] {
                               ASSERT_EQ(1u, winsim::TrayIcons().size());
                               tip = winsim::TrayIcons()[0].tip;
                             }}));
    EXPECT_EQ(name.substr(0, name == dbcsName ? 59 : 60) + "...", tip);
  }

  // A stored choice of 7 shows the first icon; after a shell restart the icon comes back
  // with the icon already held.
  testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 7);
  HICON hBefore = nullptr;
  EXPECT_EQ(0, RunAndClose("/P \"" + dbcsName + "\"", {[&] {
                             EXPECT_EQ(IDI_TRAYICON_0, TrayIconResource());
                             hBefore = winsim::TrayIcons()[0].icon;
                             winsim::RestartExplorer();
                           },
                           [&] {
                             ASSERT_EQ(1u, winsim::TrayIcons().size());
                             EXPECT_EQ(hBefore, winsim::TrayIcons()[0].icon);
                           }}));
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
