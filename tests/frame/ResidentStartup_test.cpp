// Every way the resident's start-up ends: whether it stays with its icon, what it shows,
// what it removes or writes; then a full run with its log, second starts, remove mode, the
// port-only printer, the icon choice, and the tip.
#include "support/Resident.h"

#include "base/StrUtil.h"
#include "shared/MonitorTable.h"
#include "targets/TargetRegistry.h"
#include "tools/ResidentControl.h"

#include <new>
#include <regex>
#include <sstream>

namespace {

const char kNo[] = "<missing>";
const char kIcon0[] = "icon add 0 prw3test\nclosed\nicon delete 0 prw3test";
const char kFlash[] = "icon add 0 prw3test\nicon delete 0 prw3test";
const char kModify0[] = "icon modify 0 prw3test\nclosed\nicon delete 0 prw3test";
const char kIcon2[] = "icon add 2 prw3test\nclosed\nicon delete 2 prw3test";
const char kNoFile[] = "box Could not find specified file.|OLMAR Printwatch 3|owned";
const char kNoMemory[] = "box Insufficient memory.|OLMAR Printwatch 3|unowned";

class ResidentStartupTest : public ResidentTest {
protected:
  // The printer's target: made as a first start makes it, or found (empty when none).
  std::string CreateTarget() const {
    char szPath[MAX_PATH] = {0};
    int nNameKind = 0;
    GetTargetKey(m_driver.printerName.c_str(), m_driver.portName.c_str(), m_driver.modelID.c_str(), &nNameKind, szPath);
    return szPath;
  }
  std::string TargetKey() const {
    char szPath[MAX_PATH] = {0};
    FindTargetKey(m_driver.printerKey.c_str(), m_driver.printerName.empty(), szPath);
    return szPath;
  }
  // The window the shared table holds in the printer's tray slot. RegisterKey claims a
  // key's slot as a starting resident does and returns the handle, which keeps the block
  // open, so that a slot given back shows as free rather than as a vanished block.
  HWND TableHolder() const { return residentctl::TableWindow(m_driver.printerKey); }
  static HANDLE RegisterKey(const std::string& key) {
    HWND hOther = nullptr;
    HANDLE hMap = nullptr;
    RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap);
    return hMap;
  }
  // What the user saw: icons and message boxes, and "closed" if the resident ran until closed.
  static std::string Seen() { return Lines({"icon", "box", "closed"}); }
  // The model's INI section from the key named on, rewritten.
  void Ini(const char* pszFrom, const std::string& lines) {
    const std::string ini = testenv::ReadFile(m_driver.iniFile);
    testenv::WriteFile(m_driver.iniFile, ini.substr(0, ini.find(pszFrom)) + lines);
  }
  // No target can be made; the INI file's model section rewritten.
  void NoTarget(const char* pszIni) {
    Ini("PrnDll", pszIni);
    KEEP_REPLACE(RegCreateKeyExA, [](auto real, HKEY hKey, LPCSTR pszKey, auto... rest) -> LSTATUS {
      return strstr(pszKey, "Target") ? ERROR_ACCESS_DENIED : real(hKey, pszKey, rest...);
    });
  }
  void PortOnly(const char* pszPort = "LPT1:") {
    TearDown();
    m_driver = testenv::InstallDemoDriver("", "prw3test", pszPort);
  }
  std::string Quoted() const { return "\"" + m_driver.paramFile + "\""; }
};

TEST_F(ResidentStartupTest, EachWayStartUpEnds) {
  const char* const kAll = "HKCU file";
  const auto off = [this] { testenv::SetRegDword(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_ENABLE, 0); };
  const auto noEnable = [this] { testenv::DeleteRegValue(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_ENABLE); };
  const auto noModelID = [this] {
    testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID);
    testenv::WriteFile(m_driver.paramFile, "/P \"prw3test\"\r\n");
  };
  // The INI file unknown.
  const auto noIni = [this] { testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, m_driver.modelID); };
  // The printer library locked, as during a driver update.
  const auto locked = [this] {
    const HANDLE hFile =
        CreateFileA(m_driver.printerLibrary.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Keep(std::shared_ptr<void>(hFile, CloseHandle));
  };
  // Both resource libraries, whichever language the user's is.
  const auto noResources = [this] {
    for (const std::string& file : {m_driver.englishResources, m_driver.germanResources}) testenv::RemoveFile(file);
  };
  const auto damaged = [this] {
    for (const std::string& file : {m_driver.englishResources, m_driver.germanResources})
      testenv::WriteFile(file, std::string(4096, 'Z'));
  };
  // Another user's entry: the machine's, naming the same parameter file; none of the user's.
  const auto hklmOnly = [this] {
    testenv::DeleteRegValue(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey);
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
  };
  const auto gone = [this] { Spooler(ERROR_INVALID_PRINTER_NAME); };
  const auto enabled = [this] { return testenv::GetReg(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_ENABLE); };
  // The user's entry names no file.
  const auto noFile = [this] { testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey, "C:\\a.exe"); };
  // Another program's file made under the parameter file's name while the message shows.
  const auto remade = [this] { WhileBoxOpen([this] { testenv::WriteFile(m_driver.paramFile, "another's"); }); };
  // The command line ("" the start-up entry's; "@" the quoted parameter file); what it saw;
  // what is left of the start-up entries and the parameter file (see Left); the target's
  // "TrayIconEnable" afterwards.
  const std::tuple<const char*, Steps, const char*, const char*, const char*, const char*> cases[] = {
      {"installed", {}, "", kIcon0, kAll, "1"},
      {"off", {off}, "", "", "", "0"},
      {"no TrayIconEnable", {noEnable}, "", "", "", "0"},
      // Another user's clean-up: the machine's entry and its file serve everyone.
      {"off, HKLM entry", {off, hklmOnly}, "", "", "HKLM file", "0"},
      {"no resources", {noResources}, "", kNoFile, "", "0"},
      // Known by its port alone, the target switched off is the port's.
      {"port only, no resources", {[this] { PortOnly(); }, noResources}, "", kNoFile, "", "0"},
      // There but not loadable for now (replaced during a driver update): this start ends,
      // and nothing is switched off.
      {"damaged resources", {damaged}, "", "", kAll, "1"},
      // A /F file is consumed once: a file made under its name meanwhile is another's.
      {"/F file remade", {noResources, remade}, "/F @", kNoFile, "file", "0"},
      // The block made, the view of its first entry fails.
      {"view fails", {[this] { Fail("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 2); }}, "", kNoMemory, kAll, kNo},
      {"no table", {[this] { Fail("CreateFileMappingA", ERROR_ACCESS_DENIED); }}, "", "", kAll, kNo},
      {"no model id", {noModelID}, "", "", kAll, kNo},
      // Without its menu the resident ends, its icon shown for a moment.
      {"no menu", {[this] { Fail("LoadMenuA", ERROR_RESOURCE_NAME_NOT_FOUND); }}, "", kFlash, kAll, "1"},
      {"INI icon 2", {[this] { NoTarget("TrayIconEnable=1\r\nTrayIconSelected=2\r\n"); }}, "", kIcon2, kAll, kNo},
      {"INI off", {[this] { NoTarget("TrayIconSelected=1\r\n"); }}, "", "", "", kNo},
      // Without a target, the INI file's settings serve; without either, it counts as on, and then finds no resource
      // library.
      {"no INI", {[this] { NoTarget(""); }, noIni}, "", kNoFile, "", kNo},
      // At log-on the notification area may not be ready yet, may report an add it made
      // as failed, or may never come.
      {"shell after 3 s", {[] { ShellTakes([](DWORD) { return Slept() >= 3000; }); }}, "", kIcon0, kAll, "1"},
      {"add refused", {[] { ShellTakes([](DWORD dw) { return dw != NIM_ADD; }); }}, "", kModify0, kAll, "1"},
      {"no shell", {[] { ShellTakes([](DWORD) { return false; }); }}, "", "", kAll, "1"},
      // A printer the spooler says does not exist takes its entry and file with it when
      // started with "/A " in either case; not with "/A" at the very end, or no /A at all.
      {"gone", {gone}, "", "", "", kNo},
      {"gone, /a", {gone}, "/a @", "", "", kNo},
      {"gone, /A at the end", {gone}, "/P \"prw3test\" /A", "", kAll, kNo},
      {"gone, no /A", {gone}, "/P \"prw3test\"", "", kAll, kNo},
      // Only a value of the user's that names the file takes the file with it.
      {"gone, HKLM entry", {gone, hklmOnly}, "", "", "HKLM file", kNo},
      {"gone, no file named", {gone, noFile}, "", "", "file", kNo},
      // Remove mode cleans up nothing of its own.
      {"gone, remove mode", {gone}, "/R /A @", "", kAll, kNo},
      // A spooler that is not up or refuses the open proves no deleted printer.
      {"spooler down", {[this] { Spooler(RPC_S_SERVER_UNAVAILABLE); }}, "", "", kAll, kNo},
      {"open refused", {[this] { Spooler(ERROR_ACCESS_DENIED); }}, "", "", kAll, kNo},
      // Neither printer nor port: the entry naming the parameter file goes with the file.
      {"no printer", {[this] { testenv::WriteFile(m_driver.paramFile, "/M \"PRW3DEMO\"\r\n"); }}, "", "", "", kNo},
      // A printer library locked during a driver update leaves no target: the INI file's
      // settings serve, and the next start makes the target (below).
      {"library locked", {locked}, "", kIcon0, kAll, kNo},
  };
  for (const auto& [name, arrange, form, seen, left, enable] : cases) {
    Reinstall();
    for (const auto& step : arrange) step();
    SCOPED_TRACE(name);
    Run(std::regex_replace(form, std::regex("@"), Quoted()));
    EXPECT_EQ(seen, Seen());
    EXPECT_EQ(left, Left());
    EXPECT_EQ(enable, enabled());
    // The wait for the notification area is bounded.
    EXPECT_LE(Slept(), 10000u);
  }
  Run("");
  EXPECT_EQ("1", enabled());
}

TEST_F(ResidentStartupTest, AFullRunFromStartToDeletedPrinterAndItsLog) {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, REG_DEBUG_VALUE, 1);
  // A stored choice one past the three icons shows the first; after a shell restart the
  // icon comes back as it was.
  testenv::SetRegDword(HKEY_CURRENT_USER, CreateTarget(), TRAY_ICON_SELECTED, 3);
  HANDLE hMap = RegisterKey("prw3 other");
  std::string restarts;
  auto restart = FAULT_REPLACE(RegisterApplicationRestart, [&](auto, PCWSTR pszCmd, DWORD dwFlags) {
    restarts += std::string(pszCmd, pszCmd + wcslen(pszCmd)) + " " + std::to_string(dwFlags);
    return S_OK;
  });
  // The table holds the resident, whose resource library is freed once the menu is built.
  // The Restart Manager asks whether it may close, and the session end is called off.
  const auto running = [&] {
    EXPECT_EQ(Window(), TableHolder());
    EXPECT_EQ(nullptr, GetModuleHandleA(m_driver.englishResources.c_str()));
    SendMessageA(Window(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(TRUE, SendMessageA(Window(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP));
    SendMessageA(Window(), WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP);
  };
  // Then Printer Status and an auxiliary program from the menu, a tick, and the printer
  // deleted before the next tick.
  Run("", {running, Command(ID_PRINTER_STATUS), Command(920), Tick, Deleted(Tick)});
  EXPECT_EQ("icon add 0 prw3test\ntimer 2 2000\nicon add 0 prw3test\nkill 2\nicon delete 0 prw3test",
            Lines({"icon", "timer", "kill", "closed"}));
  // The slot is given back, and the block's handle closed.
  EXPECT_EQ(nullptr, TableHolder());
  CloseHandle(hMap);
  EXPECT_FALSE(BlockExists());
  // Restarted with the start-up entry's line, not after a crash, a hang or a reboot.
  EXPECT_EQ("/A " + Quoted() + " 11", restarts);

  // The next start's line is too long for the parser: refused whole, it names no printer.
  const std::string tooLong = "/A " + Quoted() + std::string(300, ' ');
  const std::vector<std::string> started = Started();
  ASSERT_EQ(2u, started.size());
  const std::string status = started[0].substr(started[0].find('|') + 1);
  const std::string aux = started[1].substr(1);
  Run(tooLong);
  const std::vector<std::string> expected = {
      "***** LOG START ******",
      "InitInstance",
      "lpszCmdLine : /A " + Quoted(),
      "MainFrame.m_szModelID : PRW3DEMO",
      "MainFrame.m_szPrinterName : prw3test",
      "MainFrame.m_szPortName : CUPS:prw3test",
      "MainFrame.m_szDriverName : prw3test",
      "MainFrame.m_bRemove : 0",
      "MainFrame.m_bInstall : 0",
      "MainFrame.StartUp() : Result : 1",
      "WM_QUERYENDSESSION",
      "WM_ENDSESSION",
      "CMainFrame::StartPRWExe",
      "CMainFrame::StartPRWExe : printer name : prw3test",
      "CMainFrame::StartPRWExe : port name : CUPS:prw3test",
      "CMainFrame::StartPRWExe : model id : PRW3DEMO",
      "CMainFrame::StartPRWExe : Parameter file",
      "CMainFrame::StartPRWExe : command line : " + status,
      "CMainFrame::StartExe : lpszCmdLine : " + status,
      "CMainFrame::OnAux : id : 920",
      "CMainFrame::OnAux : printer name : prw3test",
      "CMainFrame::OnAux : port name : CUPS:prw3test",
      "CMainFrame::OnAux : model id : PRW3DEMO",
      "CMainFrame::OnAux : driver name : prw3test",
      "CMainFrame::OnAux : command line : " + aux,
      "CMainFrame::StartExe : lpszCmdLine : " + aux,
      "CMainFrame::ChkDelPrn : Printer Open Success : prw3test",
      "CMainFrame::ChkDelPrn : Printer Open Failed : prw3test",
      "Delete Reg HKCU\\run",
      "Delete Reg HKLM\\run",
      "WM_CLOSE",
      "WM_DESTROY",
      "***** LOG END ******",
      "***** LOG START ******",
      "InitInstance",
      "lpszCmdLine : " + tooLong,
      "CCommandLine : command line too long",
      "DeleteStartupReg",
      "***** LOG END ******",
  };
  // Each line without its tick column and its "\r".
  std::istringstream log(testenv::ReadFile(DEBUG_LOG_PATH));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);)
    lines.push_back(std::regex_replace(line, std::regex("^ *-?\\d+ : |\r$"), ""));
  EXPECT_EQ(expected, lines);

  // "TrayIconEndTime" 0 or missing: no timer polls the spooler. Starts other than the
  // start-up entry's are not restarted.
  restarts.clear();
  for (const char* pszEndTime : {"TrayIconEndTime=0\r\n", ""}) {
    Ini("TrayIconEndTime", pszEndTime);
    Run("/P \"prw3test\"");
    EXPECT_EQ("icon add 0 prw3test\nclosed", Lines({"icon add", "timer", "closed"})) << pszEndTime;
  }
  EXPECT_EQ("", restarts);
}

TEST_F(ResidentStartupTest, SecondStartsRemoveModeAndAStartWithoutItsWindow) {
  // A second start makes the first re-read its icon choice and ends; one in remove mode
  // closes it through the table, even once the spooler no longer knows the printer, and
  // never asks the spooler. The first ends by the remover's close.
  const std::string remove = "/R /P \"prw3test\"";
  const auto second = [this] {
    testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, 2);
    Run("/P \"prw3test\"");
  };
  const auto remover = [&] {
    Spooler(ERROR_INVALID_PRINTER_NAME);
    fault::CHook asked("OpenPrinterA");
    Run(remove);
    EXPECT_EQ(0u, asked.Calls());
  };
  Run("", {second, remover});
  EXPECT_EQ("icon add 0 prw3test\nicon modify 2 prw3test\nicon delete 2 prw3test", Seen());

  // With no resident running, remove mode claims no slot; it shows and removes nothing.
  HANDLE hMap = RegisterKey("prw3 other");
  Run(remove);
  EXPECT_EQ(nullptr, TableHolder());
  EXPECT_EQ("", Seen());
  EXPECT_EQ("HKCU file", Left());

  // A resident died without removing itself, and its handle now names another program's
  // window: remove mode must not close that window, and a start takes the slot.
  HWND hForeign = testenv::CreateTestWindow();
  HANDLE hPeerMap = nullptr;
  const auto deadPeer = [&] {
    hPeerMap = RegisterKey("prw3test");
    SetMonitorWindow("prw3test", "", hForeign, MONITOR_KIND_TRAY);
  };
  deadPeer();
  Run(remove);
  for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
  Run("", {[&] { EXPECT_EQ(Window(), TableHolder()); }});
  EXPECT_TRUE(IsWindow(hForeign));
  CloseHandle(hPeerMap);

  // Without its window a start gives its slot back at once: a resident starting at that
  // moment (here, at the registry read after the claim) keeps the slot it takes; else no
  // slot is left behind.
  hPeerMap = nullptr;
  Fail("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
  KEEP_REPLACE(RegOpenKeyExA, [&](auto real, auto... args) {
    if (!hPeerMap && residentctl::TraySlots().size() == 2) deadPeer();
    return real(args...);
  });
  Run("");
  if (!hPeerMap) {
    EXPECT_EQ(nullptr, TableHolder());
    deadPeer();
  }
  EXPECT_EQ(hForeign, TableHolder());
  DestroyWindow(hForeign);
  CloseHandle(hPeerMap);
  CloseHandle(hMap);
  // No start left a handle to the block open.
  EXPECT_FALSE(BlockExists());
}

// Run at 96 DPI and, by scripts/test, again at 144. The icon the shell gets has the
// notification area's size, at start-up and after the shell restarts, and follows a new
// small-icon size; the icon it replaces goes only once the shell holds the new one.
TEST_F(ResidentStartupTest, TrayIconAtTheDisplayScale) {
  // The notification area's icon size at this scale, as the platform gives it.
  const std::string kScaled =
      std::to_string(GetSystemMetrics(SM_CXSMICON)) + "x" + std::to_string(GetSystemMetrics(SM_CYSMICON));
  // An icon's width and height, "gone" once it was destroyed.
  const auto size = [](HICON hIcon) -> std::string {
    ICONINFO info = {};
    if (!GetIconInfo(hIcon, &info)) return "gone";
    BITMAP bm = {};
    GetObjectA(info.hbmColor, sizeof(bm), &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight);
  };
  std::vector<std::string> seen;
  HICON hRestarted = nullptr;
  const auto restart = [&] {
    const HICON hFirst = IconShown();
    seen.push_back(size(hFirst));
    SendMessageA(Window(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    hRestarted = IconShown();
    seen.push_back(size(hRestarted));
    seen.push_back(size(hFirst));
  };
  // The small-icon size becomes 32: a shell that refuses the new icon keeps the old.
  const auto resized = [&] {
    KEEP_REPLACE(GetSystemMetrics,
                 [](auto real, int n) { return n == SM_CXSMICON || n == SM_CYSMICON ? 32 : real(n); });
    ShellTakes([](DWORD dwMessage) { return dwMessage != NIM_MODIFY; });
    SendMessageA(Window(), WM_SETTINGCHANGE, 0, 0);
    seen.push_back(size(IconShown()));
    ShellTakes(nullptr);
    SendMessageA(Window(), WM_SETTINGCHANGE, 0, 0);
    seen.push_back(size(IconShown()));
    seen.push_back(size(hRestarted));
  };
  Run("", {restart, resized});
  EXPECT_EQ(std::vector<std::string>({kScaled, kScaled, "gone", kScaled, "32x32", "gone"}), seen);
}

TEST_F(ResidentStartupTest, PortOnlyPrinterIsKeyedAndShownByThePortUntilTheSessionEnds) {
  // A menu reads "&" as an access key's mark: item 900 doubles it, the tip keeps it. The
  // table holds the resident under the port; the session's end ends it and takes the
  // port's slot back; its target is the port name's.
  PortOnly("R&D:");
  HANDLE hMap = RegisterKey("prw3 other");
  const auto held = [&] {
    EXPECT_EQ(Window(), TableHolder());
    SendMessageA(Window(), WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
  };
  Run("/O \"R&D:\" /D \"prw3test\"", {[] { Tray(WM_RBUTTONDOWN); }, held});
  EXPECT_EQ(0u, MenuShown().find("\"R&&D:\" 900 default, ")) << MenuShown();
  EXPECT_EQ("icon add 0 R&D:\nicon delete 0 R&D:", Seen());
  EXPECT_EQ(nullptr, TableHolder());
  EXPECT_NE("", TargetKey());
  CloseHandle(hMap);
}

TEST_F(ResidentStartupTest, WithoutATargetAnIconChangeKeepsTheIniFilesChoice) {
  // Asked by a second start: the root of the user's hive is no target.
  const DWORD dwOne = 1;
  RegSetKeyValueA(HKEY_CURRENT_USER, nullptr, TRAY_ICON_SELECTED, REG_DWORD, &dwOne, sizeof(dwOne));
  NoTarget("TrayIconEnable=1\r\nTrayIconSelected=2\r\n");
  Run("", {[] { SendMessageA(Window(), WM_TRAYICONCHANGE, 0, 0); }});
  RegDeleteKeyValueA(HKEY_CURRENT_USER, nullptr, TRAY_ICON_SELECTED);
  EXPECT_EQ(kIcon2, Seen());
}

TEST(MainFrame, BeforeItsIconIsAddedAFrameAsksNothingOfTheShellAndItsTipEndsInDotsWithoutSplittingACharacter) {
  // A second start's icon change, a shell restart or a shut-down can reach a frame whose
  // start-up ended, or still shows a message box, before the icon was added.
  alignas(CMainFrame) unsigned char storage[sizeof(CMainFrame)];
  memset(storage, 0xA5, sizeof(storage));
  std::vector<HICON> icons;
  std::string tip;
  auto shell = FAULT_REPLACE(Shell_NotifyIconA, [&](auto, DWORD, NOTIFYICONDATAA* pData) {
    icons.push_back(pData->hIcon);
    tip.assign(pData->szTip, strnlen(pData->szTip, sizeof(pData->szTip)));
    return TRUE;
  });
  CMainFrame* pFrame = new (storage) CMainFrame;
  EXPECT_EQ(0, pFrame->OnTaskbarCreated());
  pFrame->ShutDown();
  EXPECT_TRUE(icons.empty());
  pFrame->SetTrayIcon(TRAYICON_COUNT - 1, 0);
  EXPECT_EQ(std::vector<HICON>({nullptr}), icons);

  // A long label keeps its start.
  UINT nCodePage = 1252;
  auto acp = FAULT_REPLACE(GetACP, [&](auto) { return nCodePage; });
  auto lead = FAULT_REPLACE(IsDBCSLeadByte, [&](auto, BYTE c) { return nCodePage == 932 && IsDBCSLeadByteEx(932, c); });
  // Forty characters of two bytes (double-byte, UTF-8) or three (UTF-8, led by 0xE0) after one of one byte.
  const auto repeat = [](const char* pszChar) {
    std::string label = "A";
    for (int i = 0; i < 40; ++i) label += pszChar;
    return label;
  };
  // 63 bytes fit; beyond, the bytes kept and "...", cut before a character that 60 bytes
  // would split (a double-byte one, or a UTF-8 one of two, three or four bytes).
  const std::tuple<UINT, std::string, size_t> cases[] = {
      {1252, std::string(63, 'f'), 63},
      {1252, std::string(64, 'L'), 60},
      {932, repeat("\x82\xA0"), 59},
      {CP_UTF8, repeat("\xC3\xA9"), 59},
      {CP_UTF8, repeat("\xE0\xA4\x85"), 58},
      {CP_UTF8, std::string(59, 'u') + "\xF0\x9F\x96\xA8" + std::string(9, 'u'), 59}};
  for (const auto& [nPage, label, nKept] : cases) {
    nCodePage = nPage;
    CopyStr(pFrame->m_szPrinterName, label.c_str());
    pFrame->SetTrayIcon(0, 0);
    EXPECT_EQ(nKept < label.size() ? label.substr(0, nKept) + "..." : label, tip) << nPage << " " << label.size();
  }
  pFrame->~CMainFrame();
}

}  // namespace
