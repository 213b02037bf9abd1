// Every way the resident's start-up ends: whether it stays with its icon, what it shows,
// what it removes or writes; then a running resident to the session's end, second starts,
// remove mode, the port-only printer, the icon choice, and the tip.
#include "support/Resident.h"

#include "base/StrUtil.h"
#include "frame/MainFrame.h"
#include "shared/MonitorTable.h"
#include "tools/ResidentControl.h"

#include <new>

namespace {

const char kIcon0[] = "icon add 0 prw3test\nicon delete 0 prw3test";
const char kNoFile[] = "box Could not find specified file.|OLMAR Printwatch 3|owned";

class ResidentStartupTest : public ResidentTest {
protected:
  // What the user saw: icons, message boxes and the waits for the notification area.
  static std::string Seen() { return Lines({"icon", "box", "sleep"}); }
  // No target can be made; the INI file's model section rewritten, or the INI file unknown.
  void NoTarget(const char* pszIni) {
    const std::string ini = testenv::ReadFile(m_driver.iniFile), section = "[" + m_driver.modelID + "]\r\n";
    pszIni ? testenv::WriteFile(m_driver.iniFile, ini.substr(0, ini.find(section)) + section + pszIni)
           : testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, m_driver.modelID);
    Fail("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
  }
  void NoResourceLibrary() { CreateTarget(), Fail("LoadLibraryA", ERROR_MOD_NOT_FOUND, 1); }
  void PortOnly() { TearDown(), m_driver = testenv::InstallDemoDriver("", "prw3test", "LPT1:"); }
  std::function<void()> Failing(const char* pszApi, DWORD dwError, unsigned nAt = fault::kEveryCall) {
    return [=] { Fail(pszApi, dwError, nAt); };
  }
};

TEST_F(ResidentStartupTest, EachWayStartUpEnds) {
  const char* const kMissing = "<missing>";
  // What it saw; whether the start-up entry and its parameter file stay; the target's
  // "TrayIconEnable" afterwards.
  const std::tuple<const char*, std::function<void()>, const char*, bool, const char*> cases[] = {
      {"installed", [] {}, kIcon0, true, "1"},
      {"target off",
       [this] { testenv::SetRegDword(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_ENABLE, 0); },
       "",
       false,
       "0"},
      {"target without TrayIconEnable",
       [this] { testenv::DeleteRegValue(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_ENABLE); },
       "",
       false,
       "0"},
      {"resource library missing", [this] { NoResourceLibrary(); }, kNoFile, false, "0"},
      // Known by its port alone, the target switched off is the port's.
      {"port only, resource library missing", [this] { PortOnly(), NoResourceLibrary(); }, kNoFile, false, "0"},
      {"table view fails",
       Failing("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 2),
       "box Insufficient memory.|OLMAR Printwatch 3|unowned",
       true,
       kMissing},
      {"table cannot be made", Failing("CreateFileMappingA", ERROR_ACCESS_DENIED), "", true, kMissing},
      {"no model id",
       [this] {
         testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID);
         testenv::WriteFile(m_driver.paramFile, "/P \"prw3test\"\r\n");
       },
       "",
       true,
       kMissing},
      {"menu missing", Failing("LoadMenuA", ERROR_RESOURCE_NAME_NOT_FOUND), kIcon0, true, "1"},
      {"no target, INI icon 2",
       [this] { NoTarget("TrayIconEnable=1\r\nTrayIconSelected=2\r\n"); },
       "icon add 2 prw3test\nicon delete 2 prw3test",
       true,
       kMissing},
      {"no target, INI off", [this] { NoTarget("TrayIconSelected=1\r\n"); }, "", false, kMissing},
      // Without a target and an INI file it counts as on, and then finds no resource library.
      {"no target and no INI file", [this] { NoTarget(nullptr); }, kNoFile, false, kMissing},
      // The notification area not ready at first, refusing an add, or never ready.
      {"tray refuses twice",
       [this] { Fail("Shell_NotifyIconA", ERROR_TIMEOUT, 1), Fail("Shell_NotifyIconA", 0, 2); },
       "sleep 1000\nicon add 0 prw3test\nicon delete 0 prw3test",
       true,
       "1"},
      {"tray says no to the add",
       Failing("Shell_NotifyIconA", ERROR_TIMEOUT, 1),
       "icon modify 0 prw3test\nicon delete 0 prw3test",
       true,
       "1"},
      {"tray never takes it",
       Failing("Shell_NotifyIconA", ERROR_TIMEOUT),
       "sleep 1000\nsleep 1000\nsleep 1000\nsleep 1000",
       true,
       "1"},
      // A printer library locked during a driver update leaves no target: the INI file's
      // settings serve, and the next start makes the target (below).
      {"printer library fails once", Failing("LoadLibraryA", ERROR_SHARING_VIOLATION, 1), kIcon0, true, kMissing},
  };
  for (const auto& [name, arrange, seen, entryKept, enable] : cases) {
    Reinstall();
    arrange();
    EXPECT_EQ(0, Run("")) << name;
    ReleaseHooks();
    EXPECT_EQ(seen, Seen()) << name;
    EXPECT_EQ(entryKept ? 2 : 0, HasRunEntry() + testenv::FileExists(m_driver.paramFile)) << name << ": entry, file";
    EXPECT_EQ(enable, TargetValue(TRAY_ICON_ENABLE)) << name;
  }
  EXPECT_EQ(0, Run(""));
  EXPECT_EQ("1", TargetValue(TRAY_ICON_ENABLE));
}

TEST_F(ResidentStartupTest, RunningResidentHoldsIconTimerAndSlotThroughAShellRestartUntilTheSessionEnds) {
  EnableDebugLog();
  // A stored choice one past the three icons shows the first; after a shell restart the
  // icon comes back as it was.
  testenv::SetRegDword(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_SELECTED, 3);
  HANDLE hMap = RegisterKey("prw3 other");
  std::vector<std::string> restarts;
  auto restart = FAULT_REPLACE(RegisterApplicationRestart, [&](auto, PCWSTR pszCmd, DWORD dwFlags) {
    return restarts.push_back(std::string(pszCmd, pszCmd + wcslen(pszCmd)) + " " + std::to_string(dwFlags)), S_OK;
  });
  HMODULE hResources = nullptr;
  // As the Restart Manager asks: may it close, then it closes; a session end called off
  // changes nothing.
  EXPECT_EQ(0,
            Run("",
                {[&] {
                   EXPECT_EQ(Window(), TableHolder());
                   hResources = GetModuleHandleA(m_driver.englishResources.c_str());
                   SendMessageA(Window(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
                   EXPECT_EQ(TRUE, SendMessageA(Window(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP));
                   SendMessageA(Window(), WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP);
                 },
                 [] { SendMessageA(Window(), WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP); }}));
  EXPECT_EQ("icon add 0 prw3test\ntimer 2 2000\nicon add 0 prw3test\nicon delete 0 prw3test",
            Lines({"icon", "timer", "closed"}))
      << "it ended by itself";
  EXPECT_EQ(nullptr, hResources) << "the resource library is freed once the menu is built";
  EXPECT_EQ(nullptr, TableHolder()) << "the slot is given back";
  CloseHandle(hMap);
  EXPECT_FALSE(BlockExists()) << "and the block's handle closed";
  const std::string log = testenv::ReadFile(DEBUG_LOG_PATH);
  size_t pos = 0;
  for (const std::string& line : std::initializer_list<std::string>{"***** LOG START ******",
                                                                    "InitInstance",
                                                                    "lpszCmdLine : /A \"" + m_driver.paramFile + "\"",
                                                                    "MainFrame.m_szModelID : PRW3DEMO",
                                                                    "MainFrame.m_szPrinterName : prw3test",
                                                                    "MainFrame.m_szPortName : CUPS:prw3test",
                                                                    "MainFrame.m_szDriverName : prw3test",
                                                                    "MainFrame.m_bRemove : 0",
                                                                    "MainFrame.m_bInstall : 0",
                                                                    "MainFrame.StartUp() : Result : 1",
                                                                    "WM_QUERYENDSESSION",
                                                                    "WM_ENDSESSION",
                                                                    "WM_ENDSESSION",
                                                                    "WM_CLOSE",
                                                                    "WM_DESTROY",
                                                                    "***** LOG END ******"})
    ASSERT_NE(std::string::npos, pos = log.find(" : " + line + "\r\n", pos)) << line << " in order in\n" << log;
  EXPECT_EQ(std::string::npos, log.find(" : WM_", log.find(" : WM_DESTROY") + 1)) << "a message traced after the last";

  // "TrayIconEndTime" 0 or missing: no timer polls the spooler. Starts other than the
  // start-up entry's are not restarted.
  for (const char* pszEndTime : {"TrayIconEndTime=0\r\n", ""}) {
    const std::string ini = testenv::ReadFile(m_driver.iniFile);
    testenv::WriteFile(m_driver.iniFile, ini.substr(0, ini.find("TrayIconEndTime")) + pszEndTime);
    Journal().clear();
    EXPECT_EQ(0, Run("/P \"prw3test\""));
    EXPECT_EQ("", Lines({"timer"})) << pszEndTime;
  }
  // Restarted with the start-up entry's line, not after a crash, a hang or a reboot.
  EXPECT_EQ(std::vector<std::string>({"/A \"" + m_driver.paramFile + "\" 11"}), restarts);
}

TEST_F(ResidentStartupTest, NoPrinterRemovesTheEntryOnlyWithSlashABlankAndADeletedPrinter) {
  // A printer the spooler does not know, with a start-up entry and parameter file of ours.
  // "/A " in either case counts; "/A" at the very end, or no /A at all, does not; a
  // spooler that is not up or refuses the open proves no deleted printer.
  EnableDebugLog();
  const std::string slashA = "/A \"" + m_driver.paramFile + "\"";
  const std::tuple<std::string, DWORD, bool> cases[] = {{slashA, 0, false},
                                                        {"/a \"" + m_driver.paramFile + "\"", 0, false},
                                                        {"/P \"gone printer\" /A", 0, true},
                                                        {"/P \"gone printer\"", 0, true},
                                                        {slashA, RPC_S_SERVER_UNAVAILABLE, true},
                                                        {slashA, ERROR_ACCESS_DENIED, true}};
  for (const auto& [cmdLine, dwSpoolerError, kept] : cases) {
    testenv::WriteFile(m_driver.paramFile, "/P \"gone printer\"\r\n");
    testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, "gone printer", m_driver.runCommand);
    if (dwSpoolerError) Fail("OpenPrinterA", dwSpoolerError), Fail("OpenPrinterW", dwSpoolerError);
    EXPECT_EQ(0, Run(cmdLine));
    ReleaseHooks();
    EXPECT_EQ(kept, testenv::GetReg(HKEY_CURRENT_USER, kRunKey, "gone printer") != "<missing>") << cmdLine;
    EXPECT_EQ(kept, testenv::FileExists(m_driver.paramFile)) << cmdLine << " " << dwSpoolerError;
  }
  testenv::DeleteRegValue(HKEY_CURRENT_USER, kRunKey, "gone printer");
  // Neither printer nor port: the entry naming the parameter file goes with the file.
  testenv::WriteFile(m_driver.paramFile, "/M \"PRW3DEMO\"\r\n");
  EXPECT_EQ(0, Run(slashA));
  EXPECT_FALSE(HasRunEntry() || testenv::FileExists(m_driver.paramFile));
  EXPECT_TRUE(LogHas(" : DeleteStartupReg\r\n"));
  // A command line too long for the parser is refused whole, with a log line; a printer
  // whose driver names no model ends the process at once, without a message loop that no
  // window would ever end (the harness fails a loop without a window).
  EXPECT_EQ(0, Run("/P \"prw3test\" " + std::string(300, ' ')));
  EXPECT_TRUE(LogHas(" : CCommandLine : command line too long\r\n"));
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID);
  EXPECT_EQ(0, Run("/P \"prw3test\""));
  EXPECT_EQ("", Seen());
}

TEST_F(ResidentStartupTest, SecondStartsRemoveModeAndAStartWithoutItsWindow) {
  // A second start makes the first re-read its icon choice and ends; one in remove mode
  // closes it.
  const std::string remove = "/R /P \"prw3test\"";
  EXPECT_EQ(0,
            Run("",
                {[&] {
                   testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 2);
                   EXPECT_EQ(0, Run("/P \"prw3test\""));
                 },
                 [&] { EXPECT_EQ(0, Run(remove)); }}));
  EXPECT_EQ("icon add 0 prw3test\nicon modify 2 prw3test\nicon delete 2 prw3test", Lines({"icon", "closed"}))
      << "the first ended by the remover's close";

  // With no resident running, remove mode takes its own slot and gives it back; it shows
  // and removes nothing.
  HANDLE hMap = RegisterKey("prw3 other");
  Journal().clear();
  EXPECT_EQ(0, Run(remove));
  EXPECT_EQ(nullptr, TableHolder());
  EXPECT_TRUE(Seen().empty() && HasRunEntry());

  // A resident died without removing itself, and its handle now names another program's
  // window: remove mode must not close that window, and a start takes the slot.
  HWND hForeign = testenv::CreateTestWindow();
  HANDLE hPeerMap = RegisterKey("prw3test");
  SetMonitorWindow("prw3test", "", hForeign, MONITOR_KIND_TRAY);
  EXPECT_EQ(0, Run(remove));
  for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
  EXPECT_EQ(0, Run("", {[&] { EXPECT_EQ(Window(), TableHolder()); }}));
  EXPECT_TRUE(IsWindow(hForeign));
  CloseHandle(hPeerMap);

  // Without its window a start gives its slot back at once: a resident starting at that
  // moment (here, at the registry read after the claim) keeps the slot it takes.
  hPeerMap = nullptr;
  Fail("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
  Keep(std::make_shared<fault::CReplace<decltype(&RegOpenKeyExA)>>(
      "RegOpenKeyExA", [&](auto real, HKEY hKey, LPCSTR psz, DWORD o, REGSAM sam, PHKEY p) {
        if (!hPeerMap && residentctl::TraySlots().size() == 2)
          hPeerMap = RegisterKey("prw3test"), SetMonitorWindow("prw3test", "", hForeign, MONITOR_KIND_TRAY);
        return real(hKey, psz, o, sam, p);
      }));
  EXPECT_EQ(0, Run(""));
  ReleaseHooks();
  if (!hPeerMap) hPeerMap = RegisterKey("prw3test"), SetMonitorWindow("prw3test", "", hForeign, MONITOR_KIND_TRAY);
  EXPECT_EQ(hForeign, TableHolder());
  DestroyWindow(hForeign);
  CloseHandle(hPeerMap);
  CloseHandle(hMap);
  EXPECT_FALSE(BlockExists()) << "no start left a handle to the block open";
}

TEST_F(ResidentStartupTest, PrinterKnownOnlyByItsPortIsKeyedAndShownByThePort) {
  PortOnly();
  HANDLE hMap = RegisterKey("prw3 other");
  EXPECT_EQ(0, Run("/O \"LPT1:\" /D \"prw3test\"", {[&] {
                     EXPECT_EQ(Window(), TableHolder()) << "the table holds the resident under the port";
                     EXPECT_EQ(0u, MenuItems().find("\"LPT1:\" 900 default\n"));
                   }}));
  EXPECT_EQ("icon add 0 LPT1:\nicon delete 0 LPT1:", Seen());
  EXPECT_EQ(nullptr, TableHolder()) << "shut-down took the port's slot back";
  EXPECT_NE("", TargetKey()) << "a port-name target";
  CloseHandle(hMap);
}

TEST_F(ResidentStartupTest, WithoutATargetAnIconChangeKeepsTheIniFilesChoice) {
  // Asked by a second start: the root of the user's hive is no target.
  testenv::SetRegDword(HKEY_CURRENT_USER, "", TRAY_ICON_SELECTED, 1);
  NoTarget("TrayIconEnable=1\r\nTrayIconSelected=2\r\n");
  EXPECT_EQ(0, Run("", {[] { SendMessageA(Window(), WM_TRAYICONCHANGE, 0, 0); }}));
  testenv::DeleteRegValue(HKEY_CURRENT_USER, "", TRAY_ICON_SELECTED);
  EXPECT_EQ("icon add 2 prw3test\nicon delete 2 prw3test", Seen());
}

TEST(TrayTip, LongLabelKeepsItsStartAndEndsInDotsWithoutSplittingACharacter) {
  CMainFrame frame;
  frame.m_hWnd = testenv::CreateTestWindow();
  std::string tip;
  auto shell = FAULT_REPLACE(Shell_NotifyIconA, [&](auto, DWORD, NOTIFYICONDATAA* pData) {
    return tip.assign(pData->szTip, strnlen(pData->szTip, sizeof(pData->szTip))), TRUE;
  });
  UINT nCodePage = 1252;
  auto acp = FAULT_REPLACE(GetACP, [&](auto) { return nCodePage; });
  auto lead = FAULT_REPLACE(IsDBCSLeadByte, [&](auto, BYTE c) { return nCodePage == 932 && IsDBCSLeadByteEx(932, c); });
  std::string dbcs = "A", utf8 = "A", utf8Wide = "AB", utf8E0 = "A";
  for (int i = 0; i < 40; ++i)
    dbcs += "\x82\xA0", utf8 += "\xC3\xA9", utf8Wide += "\xE2\x82\xAC", utf8E0 += "\xE0\xA4\x85";
  // 63 characters fit; beyond, 60 bytes and "...", cut before a character that 60 bytes
  // would split (a double-byte one, or a UTF-8 one of two, three or four bytes).
  const std::tuple<UINT, std::string, std::string> cases[] = {
      {1252, std::string(63, 'f'), std::string(63, 'f')},
      {1252, std::string(64, 'L'), std::string(60, 'L') + "..."},
      {1252, std::string(259, 'L'), std::string(60, 'L') + "..."},
      {932, dbcs, dbcs.substr(0, 59) + "..."},
      {CP_UTF8, utf8, utf8.substr(0, 59) + "..."},
      {CP_UTF8, utf8Wide, utf8Wide.substr(0, 59) + "..."},
      {CP_UTF8, utf8E0, utf8E0.substr(0, 58) + "..."},
      {CP_UTF8, std::string(59, 'u') + "\xF0\x9F\x96\xA8" + std::string(9, 'u'), std::string(59, 'u') + "..."}};
  for (const auto& [nPage, label, expected] : cases) {
    nCodePage = nPage;
    CopyStr(frame.m_szPrinterName, label.c_str());
    frame.SetTrayIcon(0, 0);
    EXPECT_EQ(expected, tip) << nPage << " " << label.size();
  }
  DestroyWindow(frame.m_hWnd);
}

TEST(MainFrame, ConstructionLeavesNoIconOrTrayRecordUnset) {
  // A second start's icon change, a shell restart or a shut-down can reach a frame whose
  // start-up ended before the icon was added.
  alignas(CMainFrame) unsigned char storage[sizeof(CMainFrame)];
  memset(storage, 0xA5, sizeof(storage));
  fault::CHook shell("Shell_NotifyIconA");
  CMainFrame* pFrame = new (storage) CMainFrame;
  for (HICON hIcon : pFrame->m_hIcon) EXPECT_EQ(nullptr, hIcon);
  EXPECT_EQ(0, pFrame->OnTaskbarCreated());
  pFrame->ShutDown();
  EXPECT_EQ(0u, shell.Calls());
  pFrame->~CMainFrame();
}

}  // namespace
