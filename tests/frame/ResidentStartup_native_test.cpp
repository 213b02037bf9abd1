// Every way the resident's start-up ends: whether it stays with its icon, what it shows,
// what it removes or writes; then a running resident, second starts, remove mode, the tip.
#include "support/ResidentHarness.h"

#include "frame/MainFrame.h"
#include "shared/MonitorTable.h"
#include "support/TestWindow.h"

#include <shellapi.h>

#include <cstring>
#include <new>
#include <tuple>

namespace {

// Registers a key's slot as a starting resident does; the handle keeps the table's block
// open, so that a slot given back is seen as free rather than as a vanished block.
HANDLE RegisterKey(const std::string& key) {
  HWND hOther = nullptr;
  HANDLE hMap = nullptr;
  RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap);
  return hMap;
}

class ResidentStartupTest : public ResidentTest {
protected:
  // A target as the preferences program leaves it, with "TrayIconEnable" 0 or missing.
  void SetTargetEnable(bool bZero) {
    const std::string target = CreateTarget();
    testenv::DeleteRegValue(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE);
    if (bZero) testenv::SetRegDword(HKEY_CURRENT_USER, target, TRAY_ICON_ENABLE, 0);
  }
  // No target can be made; the INI file's [PRW3DEMO] section rewritten, or the INI file unknown.
  void NoTarget(const char* pszIni) {
    winsim::InjectFault("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
    const std::string ini = testenv::ReadFile(m_driver.iniFile), section = "[" + m_driver.modelID + "]\r\n";
    const std::string lines = "PrnDll=O_PPRN.DLL\r\n" + std::string(pszIni ? pszIni : "");
    if (pszIni) testenv::WriteFile(m_driver.iniFile, ini.substr(0, ini.find(section)) + section + lines);
    if (!pszIni) testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Profile", m_driver.modelID);
  }
  void NoResourceLibrary() { CreateTarget(), winsim::InjectFault("LoadLibraryA", ERROR_MOD_NOT_FOUND, 1); }
  // The printer known only by its port.
  void InstallPortOnly() {
    testenv::UninstallDemoDriver();
    m_driver = testenv::InstallDemoDriver("", "prw3test", "LPT1:");
  }
};

// One start per row on a fresh machine; the icon is read on the first idle turn. Every
// start ends with exit code 0 and leaves no icon nor timer.
TEST_F(ResidentStartupTest, EachWayStartUpEnds) {
  const char kNoFile[] = "Could not find specified file.|";
  const struct {
    const char* name;
    std::function<void()> arrange;
    int icon;            // the tray icon's resource while it runs, 0 when it did not stay
    bool entryKept;      // the start-up entry (and its parameter file) afterwards
    const char* enable;  // the target's "TrayIconEnable" afterwards
    const char* boxes;   // the texts of the message boxes shown
  } cases[] = {
      {"installed", [] {}, IDI_TRAYICON_0, true, "1", ""},
      {"switched off in the target", [this] { SetTargetEnable(true); }, 0, false, "0", ""},
      {"target without TrayIconEnable", [this] { SetTargetEnable(false); }, 0, false, "0", ""},
      {"resource library missing", [this] { NoResourceLibrary(); }, 0, false, "0", kNoFile},
      // Known by its port alone, the target switched off is the port's.
      {"port only, resource library missing", [this] { InstallPortOnly(), NoResourceLibrary(); }, 0, false, "0",
       kNoFile},
      {"table view fails", [] { winsim::InjectFault("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 2); }, 0, true,
       "<missing>", "Insufficient memory.|"},
      {"table cannot be made", [] { winsim::InjectFault("CreateFileMappingA", ERROR_ACCESS_DENIED, 1); }, 0, true,
       "<missing>", ""},
      {"no model id", [this] {
         testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID);
         testenv::WriteFile(m_driver.paramFile, "/P \"" + m_driver.printerName + "\"\r\n");
       }, 0, true, "<missing>", ""},
      {"menu missing", [this] { UseResources(""); }, 0, true, "1", ""},
      {"no target, INI icon 2", [this] { NoTarget("TrayIconEnable=1\r\nTrayIconSelected=2\r\n"); }, IDI_TRAYICON_0 + 2,
       true, "<missing>", ""},
      {"no target, INI switched off", [this] { NoTarget("TrayIconSelected=1\r\n"); }, 0, false, "<missing>", ""},
      // Without a target and an INI file the resident counts as on, and goes on to find
      // no resource library either.
      {"no target and no INI file", [this] { NoTarget(nullptr); }, 0, false, "<missing>", kNoFile},
      // The notification area not ready at first, reporting an add it did as failed, or never ready.
      {"tray refuses twice", [] { winsim::FailNotifyIcon(NIM_ADD, 2); }, IDI_TRAYICON_0, true, "1", ""},
      {"tray says no but adds", [] { winsim::FailNotifyIcon(NIM_ADD, 1, true); }, IDI_TRAYICON_0, true, "1", ""},
      {"tray never takes it", [] { winsim::FailNotifyIcon(NIM_ADD, 1000); }, 0, true, "1", ""},
      // A printer library locked during a driver update leaves no target: the INI file's
      // settings serve, and the next start makes the target (below).
      {"printer library fails once", [] { winsim::InjectFault("LoadLibraryA", ERROR_SHARING_VIOLATION, 1); },
       IDI_TRAYICON_0, true, "<missing>", ""},
  };
  for (const auto& c : cases) {
    ResetMachine();
    c.arrange();
    int nIcon = 0;
    EXPECT_EQ(0, RunAndClose("", {[&] { nIcon = TrayIconResource(); }})) << c.name;
    winsim::ClearFaults();
    std::string boxes;
    for (const winsim::MessageBoxRecord& box : winsim::MessageBoxes()) boxes += box.text + "|";
    EXPECT_EQ(std::make_tuple(c.icon, c.entryKept, c.entryKept, std::string(c.enable), std::string(c.boxes)),
              std::make_tuple(nIcon, HasRunEntry(), testenv::FileExists(m_driver.paramFile),
                              TargetValue(TRAY_ICON_ENABLE), boxes)) << c.name;
    EXPECT_TRUE(winsim::TrayIcons().empty() && winsim::Timers().empty()) << c.name;
  }
  EXPECT_EQ(0, RunAndClose("", {}));
  EXPECT_EQ("1", TargetValue(TRAY_ICON_ENABLE));
}

TEST_F(ResidentStartupTest, RunningResidentHoldsIconTimerAndSlotUntilClosed) {
  EnableDebugLog();
  HANDLE hMap = RegisterKey("prw3 other");
  size_t nTimers = 0;
  EXPECT_EQ(0, RunAndClose("", {[&] {
    const winsim::TrayIcon icon = winsim::TrayIcons().at(0);
    EXPECT_EQ(std::make_tuple(DWORD(NOTIFYICONDATAA_V1_SIZE), UINT(WM_TRAYNOTIFY), testenv::ExistingPrinter()),
              std::make_tuple(icon.cbSize, icon.callbackMessage, icon.tip));
    for (const winsim::TimerInfo& t : winsim::Timers())
      nTimers += t.hwnd == ResidentWindow() && t.id == DELPRN_TIMER_ID && t.elapse == 2000;
    EXPECT_EQ(ResidentWindow(), TableHolder());
    EXPECT_EQ(0u, winsim::LoadedModuleCount()) << "the resource library is freed";
  }}));
  EXPECT_EQ(1u, nTimers);
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "it ran until closed";
  EXPECT_EQ(0u, winsim::LiveMenuCount());
  EXPECT_EQ(nullptr, TableHolder()) << "the slot is given back";
  CloseHandle(hMap);
  EXPECT_FALSE(winsim::FileMappingExists(MONITOR_MAP_NAME)) << "and the block's handle closed";
  const std::string lines[] = {" : ***** LOG START ******", " : InitInstance", " : lpszCmdLine : /A \"" + m_driver.paramFile + "\"\r\n",
                                " : MainFrame.m_szModelID : " + m_driver.modelID,
                                " : MainFrame.m_szPrinterName : " + testenv::ExistingPrinter(),
                                " : MainFrame.m_szPortName : ", " : MainFrame.m_szDriverName : prw3test",
                                " : MainFrame.m_bRemove : 0", " : MainFrame.m_bInstall : 0",
                                " : MainFrame.StartUp() : Result : 1", " : WM_CLOSE", " : WM_DESTROY",
                                " : ***** LOG END ******"};
  for (const std::string& line : lines) EXPECT_TRUE(LogHas(line)) << line;
  const std::string log = testenv::ReadFile(DEBUG_LOG_PATH);
  EXPECT_EQ(std::string::npos, log.find(" : WM_", log.find(" : WM_DESTROY") + 1)) << "a message traced after the last";

  // "TrayIconEndTime" 0 or missing: no timer polls the spooler.
  for (const char* pszEndTime : {"TrayIconEndTime=0\r\n", ""}) {
    const std::string ini = testenv::ReadFile(m_driver.iniFile);
    testenv::WriteFile(m_driver.iniFile, ini.substr(0, ini.find("TrayIconEndTime")) + pszEndTime);
    size_t nRunningTimers = 99;
    EXPECT_EQ(0, RunAndClose("", {[&] { nRunningTimers = winsim::Timers().size(); }}));
    EXPECT_EQ(0u, nRunningTimers) << pszEndTime;
  }
}

TEST_F(ResidentStartupTest, NoPrinterRemovesTheEntryOnlyWithSlashABlankAndADeletedPrinter) {
  // A printer the spooler does not know, with a start-up entry and parameter file of ours.
  // "/A " in either case counts; "/A" at the very end, or no /A at all, does not; a
  // spooler that is not up or refuses the open proves no deleted printer.
  const std::string slashA = "/A \"" + m_driver.paramFile + "\"";
  const struct {
    std::string cmdLine;
    DWORD dwSpoolerError;
    bool kept;
  } cases[] = {{slashA, 0, false}, {"/a \"" + m_driver.paramFile + "\"", 0, false}, {"/P \"gone printer\" /A", 0, true},
               {"/P \"gone printer\"", 0, true}, {slashA, RPC_S_SERVER_UNAVAILABLE, true},
               {slashA, ERROR_ACCESS_DENIED, true}};
  for (const auto& c : cases) {
    testenv::WriteFile(m_driver.paramFile, "/P \"gone printer\"\r\n");
    testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, "gone printer", m_driver.runCommand);
    for (const char* pszApi : {"OpenPrinterA", "OpenPrinterW"})
      if (c.dwSpoolerError) winsim::InjectFault(pszApi, c.dwSpoolerError);
    EXPECT_EQ(0, RunResident(c.cmdLine));
    winsim::ClearFaults();
    EXPECT_EQ(c.kept, testenv::GetReg(HKEY_CURRENT_USER, kRunKey, "gone printer") != "<missing>") << c.cmdLine;
    EXPECT_EQ(c.kept, testenv::FileExists(m_driver.paramFile)) << c.cmdLine << " " << c.dwSpoolerError;
  }
  // Neither printer nor port: the entry naming the parameter file goes with the file.
  testenv::WriteFile(m_driver.paramFile, "/M \"PRW3DEMO\"\r\n");
  EXPECT_EQ(0, RunResident(slashA));
  EXPECT_FALSE(HasRunEntry() || testenv::FileExists(m_driver.paramFile));
  // A command line too long for the parser is refused whole, with a log line.
  EnableDebugLog();
  EXPECT_EQ(0, RunResident("/P \"" + testenv::ExistingPrinter() + "\" " + std::string(300, ' ')));
  EXPECT_EQ(nullptr, ResidentWindow());
  EXPECT_TRUE(LogHas(" : CCommandLine : command line too long\r\n"));
  // A printer whose driver names no model: the process ends at once, without a message
  // loop that no window would ever end.
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID);
  EXPECT_EQ(0, RunResident("/P \"" + testenv::ExistingPrinter() + "\""));
  EXPECT_FALSE(winsim::MessageLoopRanDry());
}

TEST_F(ResidentStartupTest, SecondStartAndRemoveModeReachTheRunningResident) {
  // A second start makes the first re-read its icon choice and ends; one in remove mode
  // closes it.
  const std::string byName = "/P \"" + m_driver.printerKey + "\"", remove = "/R " + byName;
  int nSecond = -1, nRemover = -1, nIconAfter = 0;
  EXPECT_EQ(0, RunAndClose("", {[&] {
    testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 2);
    nSecond = RunResident(byName);
  }, [&] { nIconAfter = TrayIconResource(); }}));
  EXPECT_EQ(0, nSecond);
  EXPECT_EQ(IDI_TRAYICON_0 + 2, nIconAfter);
  winsim::PushIdleStep([&] { nRemover = RunResident(remove); });
  EXPECT_EQ(0, RunResident(""));
  EXPECT_EQ(0, nRemover);
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "the first resident ended by WM_CLOSE";

  // With no resident running, remove mode takes its own slot and gives it back; it shows
  // and removes nothing.
  HANDLE hMap = RegisterKey("prw3 other");
  EXPECT_EQ(0, RunResident(remove));
  EXPECT_EQ(nullptr, TableHolder());
  EXPECT_TRUE(winsim::TrayIcons().empty() && winsim::MessageBoxes().empty() && HasRunEntry());

  // A resident died without removing itself, and its handle now names another program's
  // window: remove mode must not close that window, and a start takes the slot.
  HWND hForeign = testenv::CreateTestWindow();
  HANDLE hMap2 = RegisterKey(m_driver.printerKey);
  SetMonitorWindow(m_driver.printerKey.c_str(), "", hForeign, MONITOR_KIND_TRAY);
  EXPECT_EQ(0, RunResident(remove));
  winsim::PumpMessages();
  bool bTookSlot = false;
  EXPECT_EQ(0, RunAndClose("", {[&] { bTookSlot = TableHolder() == ResidentWindow(); }}));
  EXPECT_TRUE(bTookSlot && IsWindow(hForeign));
  CloseHandle(hMap2);
  CloseHandle(hMap);
  EXPECT_FALSE(winsim::FileMappingExists(MONITOR_MAP_NAME)) << "no start left a handle to the block open";
}

TEST_F(ResidentStartupTest, PrinterKnownOnlyByItsPortIsKeyedAndShownByThePort) {
  InstallPortOnly();
  HANDLE hMap = RegisterKey("prw3 other");
  std::string dump, tip;
  HWND hHolder = nullptr;
  EXPECT_EQ(0, RunAndClose("/O \"LPT1:\" /D \"prw3test\"", {[&] {
    tip = winsim::TrayIcons().at(0).tip;
    hHolder = TableHolder();
    dump = OpenMenu(winsim::MenuScript().Cancel());
  }}));
  EXPECT_EQ("LPT1:", tip);
  EXPECT_NE(nullptr, hHolder) << "the table holds the resident under the port";
  EXPECT_EQ(0u, dump.find("\"LPT1:\" 900 default\n"));
  EXPECT_EQ(nullptr, TableHolder()) << "shut-down took the port's slot back";
  EXPECT_NE("", TargetKey()) << "a port-name target";
  CloseHandle(hMap);
}

TEST_F(ResidentStartupTest, PeerHoldingTheTableMutexDelaysStartUpOnceAndNeverBlocksIt) {
  // The peer's handle keeps the mutex alive, so a resident that kept it owned shows.
  HANDLE hPeer = CreateMutexA(nullptr, FALSE, MONITOR_MUTEX_NAME);
  for (winsim::MutexHolder holder : {winsim::MutexHolder::kHung, winsim::MutexHolder::kEnded}) {
    winsim::HoldMutexElsewhere(MONITOR_MUTEX_NAME, holder);
    const uint64_t start = winsim::ClockNow();
    uint64_t waited = 0;
    HWND hHolder = nullptr;
    EXPECT_EQ(0, RunAndClose("", {[&] { waited = winsim::ClockNow() - start, hHolder = TableHolder(); }}));
    EXPECT_NE(nullptr, hHolder);
    EXPECT_EQ(holder == winsim::MutexHolder::kHung ? MONITOR_LOCK_TIMEOUT_MS : 0u, waited);
    EXPECT_EQ(0u, winsim::MutexOwnership(MONITOR_MUTEX_NAME)) << "released on every way out";
    winsim::HoldMutexElsewhere(MONITOR_MUTEX_NAME, winsim::MutexHolder::kNone);
  }
  CloseHandle(hPeer);
}

TEST_F(ResidentStartupTest, TipCutAndIconChoiceOutOfRangeAndShellRestart) {
  // A label longer than the tip keeps its start and ends in "..."; in a double-byte code
  // page the cut keeps whole characters (29 after the "A", where 60 bytes would split one).
  std::string dbcsName = "A";
  for (int i = 0; i < 40; ++i) dbcsName += "\x82\xA0";
  for (const std::string& name : {std::string(80, 'L'), dbcsName}) {
    winsim::SetAnsiCodePage(name == dbcsName ? 932 : 1252);
    winsim::AddPrinter(name, "LPT7:", "prw3test");
    m_driver = testenv::InstallDemoDriver(name, "prw3test");
    std::string tip;
    EXPECT_EQ(0, RunAndClose("/P \"" + name + "\"", {[&] { tip = winsim::TrayIcons().at(0).tip; }}));
    EXPECT_EQ(name.substr(0, name == dbcsName ? 59 : 60) + "...", tip);
  }
  // A stored choice one past the three icons shows the first; after a shell restart the
  // icon comes back with the icon already held.
  testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 3);
  HICON hBefore = nullptr;
  EXPECT_EQ(0, RunAndClose("/P \"" + dbcsName + "\"", {[&] {
    EXPECT_EQ(IDI_TRAYICON_0, TrayIconResource());
    hBefore = winsim::TrayIcons()[0].icon;
    winsim::RestartExplorer();
  }, [&] { EXPECT_EQ(hBefore, winsim::TrayIcons().at(0).icon); }}));
}

TEST(MainFrame, ConstructionLeavesNoIconOrTrayRecordUnset) {
  // A second start's icon change, a shell restart or a shut-down can reach a frame whose
  // start-up ended before the icon was added.
  alignas(CMainFrame) unsigned char storage[sizeof(CMainFrame)];
  memset(storage, 0xA5, sizeof(storage));
  CMainFrame* pFrame = new (storage) CMainFrame;
  for (HICON hIcon : pFrame->m_hIcon) EXPECT_EQ(nullptr, hIcon);
  EXPECT_EQ(0, pFrame->OnTaskbarCreated());
  pFrame->ShutDown();
  EXPECT_EQ(0u, winsim::CallCount("Shell_NotifyIconA"));
  pFrame->~CMainFrame();
}

}  // namespace
