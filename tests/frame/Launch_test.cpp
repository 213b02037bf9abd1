// Starting the driver's programs from the menu: the status program through a parameter
// file or inline with declared lengths, the auxiliary programs with the identity, the
// port the spooler reports now, the two message boxes, and the trace of each launch.
// Then the deleted-printer check on ticks and clicks: a printer the spooler no longer
// knows takes its start-up entries (and our parameter files) with it and closes the
// resident; anything short of that leaves everything as it is.
#include "support/Resident.h"

#include "frame/MainFrame.h"

#include <winspool.h>

#include <memory>

namespace {

class LaunchTest : public ResidentTest {
protected:
  static std::function<void()> Command(UINT nID) {
    return [nID] { Post(WM_COMMAND, nID); };
  }
  // The command lines started, in order.
  static std::vector<std::string> Started() {
    std::vector<std::string> started;
    for (const std::string& line : Journal())
      if (line.rfind("start ", 0) == 0) started.push_back(line.substr(6));
    return started;
  }
  // The parameter file a "/F" command line names, read from the temporary folder and deleted.
  static std::string TakeParamFile(std::string started) {
    started.pop_back();  // the closing quote
    const std::string path = testenv::TempDir() + started.substr(started.find("/F \"") + 4);
    const std::string bytes = testenv::ReadFile(path);
    testenv::RemoveFile(path);
    return bytes;
  }
  // From now on the spooler does not know the printer, or cannot be reached.
  void Spooler(DWORD dwError) { Fail("OpenPrinterA", dwError), Fail("OpenPrinterW", dwError); }
  static void Tick(UINT_PTR nID = 0) { Post(WM_TIMER, nID ? nID : g_pMainFrame->m_nTimerID); }
  // Runs the resident through the steps with an entry in HKLM too (by default the same, as
  // an administrator's installation makes it); whether it was still there after them.
  bool Stays(const std::string& cmdLine, std::vector<std::function<void()>> steps, const std::string& hklm = "") {
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, hklm.empty() ? m_driver.runCommand : hklm);
    Journal().clear();
    EXPECT_EQ(0, Run(cmdLine, steps));
    ReleaseHooks();
    return Lines({"closed"}) == "closed";
  }
  bool AnyRunEntry() const { return HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE); }
  void TearDown() override {
    testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey);
    ResidentTest::TearDown();
  }
};

TEST_F(LaunchTest, StatusProgramGetsAParameterFileOrTheInlineForm) {
  EnableDebugLog();
  EXPECT_EQ(0,
            Run("", {Command(ID_PRINTER_STATUS), Command(ID_MONITORING_PREFERENCES), [] { Tray(WM_LBUTTONDBLCLK); }}));
  std::vector<std::string> started = Started();
  ASSERT_EQ(3u, started.size());
  // The exact file named as the application, never a shorter prefix of the unquoted path.
  const std::string head = m_driver.statusProgram + "|" + m_driver.statusProgram + " /F \"O_P";
  for (const std::string& s : started) EXPECT_EQ(0u, s.find(head)) << s;
  const std::string identity = "/P \"prw3test\"\r\n/D \"prw3test\"\r\n/O \"CUPS:prw3test\"\r\n/M \"PRW3DEMO\"\r\n";
  EXPECT_EQ(identity, TakeParamFile(started[0]));
  EXPECT_EQ(identity + "/E\r\n", TakeParamFile(started[1])) << "the request travels inside the file";
  EXPECT_EQ(identity, TakeParamFile(started[2])) << "a double click is Printer Status";
  EXPECT_EQ("", Lines({"box"}));
  const std::string cmdLine = started[0].substr(started[0].find('|') + 1);
  for (const std::string& line : {std::string(" : CMainFrame::StartPRWExe : Parameter file\r\n"),
                                  std::string(" : CMainFrame::StartPRWExe : port name : CUPS:prw3test\r\n"),
                                  " : CMainFrame::StartPRWExe : command line : " + cmdLine + "\r\n",
                                  " : CMainFrame::StartExe : lpszCmdLine : " + cmdLine + "\r\n"})
    EXPECT_TRUE(LogHas(line)) << line;

  // No parameter file can be made: the inline form with declared lengths, which ends in
  // the blank of an empty /E.
  Journal().clear();
  Fail("GetTempFileNameA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, Run("", {Command(ID_PRINTER_STATUS), Command(ID_MONITORING_PREFERENCES)}));
  const std::string inlineForm = m_driver.statusProgram + "|" + m_driver.statusProgram +
                                 " /P8 \"prw3test\" /O13 \"CUPS:prw3test\" /M8 \"PRW3DEMO\" ";
  EXPECT_EQ(std::vector<std::string>({inlineForm, inlineForm + "/E"}), Started());
}

TEST_F(LaunchTest, FailuresShowTheirMessageAndLeaveNoParameterFile) {
  // The status program cannot be found: no start, the Printer Status message. A tray click
  // while that message is open opens one menu.
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_STATUS_PROGRAM);
  testenv::RemoveFile(m_driver.statusProgram);
  WhileBoxOpen([] { SendMessageA(Window(), WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN); });
  EXPECT_EQ(0, Run("", {[] { Tray(WM_LBUTTONDBLCLK); }}));
  EXPECT_EQ("box \nUnable to open Printer Status window for this printer.|OLMAR Printwatch 3|owned\nmenu 2 owner",
            Lines({"box", "menu", "start"}));

  // The program is there but cannot be started: the file made for it is deleted again, by
  // its full path: a file of the same name in the current folder is not ours.
  testenv::WriteFile(m_driver.statusProgram, "MZ");
  Journal().clear();
  std::string decoy;
  auto name = FAULT_REPLACE(GetTempFileNameA, [&](auto real, LPCSTR pszDir, LPCSTR pszPrefix, UINT n, LPSTR psz) {
    const UINT nResult = real(pszDir, pszPrefix, n, psz);
    testenv::WriteFile(decoy = std::string(psz).substr(strlen(pszDir)), "not ours");
    return nResult;
  });
  Fail("CreateProcessA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, Run("", {Command(ID_MONITORING_PREFERENCES)}));
  EXPECT_EQ("box \nUnable to open Monitoring Preferences window for this printer.|OLMAR Printwatch 3|owned",
            Lines({"box"}));
  EXPECT_EQ("not ours", testenv::ReadFile(decoy));
  testenv::RemoveFile(decoy);
  EXPECT_EQ("", ParamFiles());
}

TEST_F(LaunchTest, LaunchesSendAndKeepThePortTheSpoolerReportsNow) {
  EnableDebugLog();
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "931", "");
  std::string pooled = "LPT4:";
  for (int n = 5; pooled.size() < 300; ++n) pooled += ",LPT" + std::to_string(n) + ":";
  std::string ports, portHeld;  // the ports the spooler reports from a step on
  auto spooler = FAULT_REPLACE(GetPrinterA, [&](auto real, HANDLE h, DWORD level, LPBYTE p, DWORD cb, LPDWORD pcb) {
    const BOOL bRead = real(h, level, p, cb, pcb);
    if (bRead && p && !ports.empty()) reinterpret_cast<PRINTER_INFO_2A*>(p)->pPortName = &ports[0];
    return bRead;
  });
  const auto portsNow = [&](const std::string& now) { return [&, now] { ports = now; }; };
  // A pooled printer's port list too long to hold, or a failing spooler, keeps the port held.
  EXPECT_EQ(0,
            Run("",
                {Command(920),
                 Command(931),
                 Command(999),
                 Command(1000),
                 portsNow("LPT2:"),
                 Command(ID_PRINTER_STATUS),
                 portsNow("LPT3:"),
                 Command(921),
                 portsNow(pooled),
                 Command(925),
                 [this] { Spooler(RPC_S_SERVER_UNAVAILABLE); },
                 Command(920),
                 [&] { portHeld = g_pMainFrame->m_szPortName; }}));
  std::vector<std::string> started = Started();
  ASSERT_EQ(5u, started.size());
  EXPECT_EQ(
      "|\"" + m_driver.auxProgram + "\" /testpage /P \"prw3test\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:prw3test\"",
      started[0]);
  EXPECT_NE(std::string::npos, TakeParamFile(started[1]).find("/O \"LPT2:\""));
  for (size_t i = 2; i < 5; ++i) EXPECT_NE(std::string::npos, started[i].find("/O \"LPT3:\"")) << i;
  EXPECT_EQ("LPT3:", portHeld);
  // Commands up to 999 reach the auxiliary handler, even without a command of their own;
  // one whose command is empty starts nothing and traces nothing beyond its id.
  const std::string log = testenv::ReadFile(DEBUG_LOG_PATH);
  EXPECT_EQ(std::string::npos, log.find(" : CMainFrame::OnAux : id : 1000"));
  for (const char* pszId : {"931", "999"}) {
    const size_t pos = log.find(std::string(" : CMainFrame::OnAux : id : ") + pszId + "\r\n");
    ASSERT_NE(std::string::npos, pos) << pszId;
    EXPECT_EQ(log.find(" : CMainFrame::OnAux : id : ", pos + 1), log.find(" : CMainFrame::OnAux : ", pos + 1)) << pszId;
  }
  for (const std::string& line : {" : CMainFrame::OnAux : printer name : " + m_driver.printerName + "\r\n",
                                  std::string(" : CMainFrame::OnAux : port name : LPT3:\r\n"),
                                  " : CMainFrame::OnAux : model id : " + m_driver.modelID + "\r\n",
                                  " : CMainFrame::OnAux : driver name : " + m_driver.driverName + "\r\n",
                                  " : CMainFrame::OnAux : command line : " + started[0].substr(1) + "\r\n"})
    EXPECT_TRUE(LogHas(line)) << line;
}

TEST_F(LaunchTest, TickOrClickAfterDeletionRemovesTheEntriesAndClosesTheResident) {
  EnableDebugLog();
  // The parameter file named with a forward slash before it is ours all the same.
  std::string slashed = m_driver.runCommand;
  testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey, slashed.replace(slashed.rfind('\\'), 1, "/"));
  EXPECT_FALSE(Stays("", {[] { Tick(); }, [this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(); }}, slashed));
  EXPECT_FALSE(AnyRunEntry() || testenv::FileExists(m_driver.paramFile));
  EXPECT_EQ("timer 2 2000\nkill 2", Lines({"timer", "kill"}));
  for (const std::string& line : {" : CMainFrame::ChkDelPrn : Printer Open Success : prw3test\r\n",
                                  " : CMainFrame::ChkDelPrn : Printer Open Failed : prw3test\r\n",
                                  " : Delete Reg HKCU\\run\r\n",
                                  " : Delete Reg HKLM\\run\r\n"})
    EXPECT_TRUE(LogHas(line)) << line;

  // A double click after the deletion starts no Printer Status and closes all the same.
  Reinstall();
  EXPECT_FALSE(Stays("", {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tray(WM_LBUTTONDBLCLK); }}));
  EXPECT_EQ("", Lines({"start"}));
  EXPECT_FALSE(AnyRunEntry());

  // Another program's entry under the same name names its own file; an entry whose
  // program path is quoted too names no file between its outer quotes.
  Reinstall();
  const std::string otherFile = testenv::TempDir() + "config.ini";
  testenv::WriteFile(otherFile, "x");
  testenv::SetRegString(
      HKEY_CURRENT_USER, kRunKey, m_driver.printerKey, "\"C:\\PRW3\\prw3tray.exe\" /A \"" + m_driver.paramFile + "\"");
  EXPECT_FALSE(Stays("/P \"prw3test\"",
                     {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(); }},
                     "C:\\Other\\tool.exe \"" + otherFile + "\""));
  EXPECT_TRUE(testenv::FileExists(otherFile) && testenv::FileExists(m_driver.paramFile));
  EXPECT_FALSE(AnyRunEntry()) << "the values go all the same";
  testenv::RemoveFile(otherFile);

  // A standard user's resident cannot open the machine's Run key for writing (Wine's user
  // is an administrator): its own entry and file go, the machine's entry stays, and it
  // closes all the same.
  Reinstall();
  auto standardUser = FAULT_REPLACE(RegOpenKeyExA, [](auto real, HKEY hKey, LPCSTR psz, DWORD o, REGSAM sam, PHKEY p) {
    const REGSAM samWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE | WRITE_DAC | WRITE_OWNER;
    return hKey == HKEY_LOCAL_MACHINE && (sam & samWrite) ? LSTATUS(ERROR_ACCESS_DENIED) : real(hKey, psz, o, sam, p);
  });
  EXPECT_FALSE(Stays("", {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(); }}));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || testenv::FileExists(m_driver.paramFile));
  EXPECT_TRUE(HasRunEntry(HKEY_LOCAL_MACHINE));
}

TEST_F(LaunchTest, NothingChangesWithoutProofThatThePrinterIsGone) {
  // The spooler down: the timer runs on, and Printer Status starts all the same.
  EXPECT_TRUE(Stays("",
                    {[this] { Spooler(RPC_S_SERVER_UNAVAILABLE), Tick(), Tray(WM_LBUTTONDBLCLK); },
                     [] { EXPECT_EQ(DELPRN_TIMER_ID, g_pMainFrame->m_nTimerID); }}));
  EXPECT_NE("", Lines({"start"}));
  // In install mode neither a tick nor a right click checks: the menu opens all the same.
  EXPECT_TRUE(Stays(m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1) + " /I",
                    {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(), Tray(WM_RBUTTONDOWN); }}));
  EXPECT_EQ("menu 2 owner", Lines({"menu"}));
  // Another timer's tick.
  EXPECT_TRUE(Stays("", {[] { Tick(DELPRN_TIMER_ID + 5); }}));
  EXPECT_TRUE(HasRunEntry(HKEY_CURRENT_USER) && HasRunEntry(HKEY_LOCAL_MACHINE) &&
              testenv::FileExists(m_driver.paramFile));
}

}  // namespace
