// Starting the driver's programs from the menu: the status program through a parameter
// file or inline with declared lengths, the auxiliary programs with the identity and the
// port the spooler reports now, and the two message boxes. Then the deleted-printer check
// on ticks and clicks: a printer the spooler no longer knows takes its start-up entries
// (and our parameter files) with it and closes the resident; anything short of that
// leaves everything as it is.
#include "support/Resident.h"

namespace {

using LaunchTest = ResidentTest;

// The parameter file a "/F" command line names (in the temporary folder, up to the closing quote).
std::string ParamFile(const std::string& started) {
  const size_t nAt = started.find("/F \"") + 4;
  return testenv::ReadFile(testenv::TempDir() + started.substr(nAt, started.size() - 1 - nAt));
}

TEST_F(LaunchTest, StatusProgramGetsAParameterFileOrTheInlineForm) {
  Run("", {Command(ID_PRINTER_STATUS), Command(ID_MONITORING_PREFERENCES), [] { Tray(WM_LBUTTONDBLCLK); }});
  // The exact file named as the application, never a shorter prefix of the unquoted path.
  const std::string status = m_driver.statusProgram + "|" + m_driver.statusProgram;
  std::vector<std::string> files;
  for (const std::string& s : Started()) {
    EXPECT_EQ(0u, s.find(status + " /F \"O_P")) << s;
    files.push_back(ParamFile(s));
  }
  // The request travels inside the file; a double click is Printer Status.
  const std::string identity = "/P \"prw3test\"\r\n/D \"prw3test\"\r\n/O \"CUPS:prw3test\"\r\n/M \"PRW3DEMO\"\r\n";
  EXPECT_EQ(std::vector<std::string>({identity, identity + "/E\r\n", identity}), files);
  EXPECT_EQ("", Lines({"box"}));

  // No parameter file can be made: the inline form with declared lengths, which ends in
  // the blank of an empty /E.
  Fail("GetTempFileNameA", ERROR_ACCESS_DENIED);
  Run("", {Command(ID_PRINTER_STATUS), Command(ID_MONITORING_PREFERENCES)});
  const std::string inlineForm = status + " /P8 \"prw3test\" /O13 \"CUPS:prw3test\" /M8 \"PRW3DEMO\" ";
  EXPECT_EQ(std::vector<std::string>({inlineForm, inlineForm + "/E"}), Started());
}

TEST_F(LaunchTest, FailuresShowTheirMessageAndLeaveNoParameterFile) {
  // The status program cannot be found: no start, the Printer Status message. A tray click
  // while that message is open opens one menu.
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_STATUS_PROGRAM);
  testenv::RemoveFile(m_driver.statusProgram);
  WhileBoxOpen([] { SendMessageA(Window(), WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN); });
  Run("", {[] { Tray(WM_LBUTTONDBLCLK); }});
  EXPECT_EQ("box \nUnable to open Printer Status window for this printer.|OLMAR Printwatch 3|owned\nmenu 2 owner",
            Lines({"box", "menu", "start"}));

  // The program is there but cannot be started: the file made for it is deleted again, by
  // its full path: a file of the same name in the current folder is not ours.
  testenv::WriteFile(m_driver.statusProgram, "MZ");
  std::string decoy;
  auto name = FAULT_REPLACE(GetTempFileNameA, [&](auto real, LPCSTR pszDir, LPCSTR pszPrefix, UINT n, LPSTR psz) {
    const UINT nResult = real(pszDir, pszPrefix, n, psz);
    decoy = std::string(psz).substr(strlen(pszDir));
    testenv::WriteFile(decoy, "not ours");
    return nResult;
  });
  Fail("CreateProcessA", ERROR_ACCESS_DENIED);
  Run("", {Command(ID_MONITORING_PREFERENCES)});
  EXPECT_EQ("box \nUnable to open Monitoring Preferences window for this printer.|OLMAR Printwatch 3|owned",
            Lines({"box"}));
  EXPECT_EQ("not ours", testenv::ReadFile(decoy));
  testenv::RemoveFile(decoy);
  EXPECT_EQ("", ParamFiles());
}

TEST_F(LaunchTest, LaunchesSendThePortTheSpoolerReportsNowOrTheLastOneItReported) {
  // Commands up to 999 start auxiliary programs, even without an item of their own; one
  // whose command is empty starts nothing.
  const char* const commands[][2] = {{"931", ""}, {"999", "C:\\nine.exe"}, {"1000", "C:\\ten.exe"}};
  for (const auto& c : commands) testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, c[0], c[1]);
  std::string pooled = "LPT4:";
  for (int n = 5; pooled.size() < 300; ++n) pooled += ",LPT" + std::to_string(n) + ":";
  // The ports the spooler reports from a step on.
  std::string ports;
  auto spooler = FAULT_REPLACE(GetPrinterA, [&](auto real, HANDLE h, DWORD level, LPBYTE p, DWORD cb, LPDWORD pcb) {
    const BOOL bRead = real(h, level, p, cb, pcb);
    if (bRead && p && !ports.empty()) reinterpret_cast<PRINTER_INFO_2A*>(p)->pPortName = &ports[0];
    return bRead;
  });
  // A step: the spooler reports the ports given from now on.
  const auto port = [&](const std::string& now) { return [&, now] { ports = now; }; };
  // A pooled printer's port list too long to hold, or a failing spooler, keeps the port held.
  const auto down = [this] { Spooler(RPC_S_SERVER_UNAVAILABLE); };
  Run("", {Command(920), Command(931), Command(999), Command(1000), port("LPT2:"), Command(ID_PRINTER_STATUS)});
  const std::vector<std::string> started = Started();
  ASSERT_EQ(3u, started.size());
  EXPECT_EQ(
      "|\"" + m_driver.auxProgram + "\" /testpage /P \"prw3test\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:prw3test\"",
      started[0]);
  EXPECT_EQ(0u, started[1].find("|C:\\nine.exe /P \"prw3test\""));
  EXPECT_NE(std::string::npos, ParamFile(started[2]).find("/O \"LPT2:\""));
  Run("", {port("LPT3:"), Command(921), port(pooled), Command(925), down, Command(920)});
  EXPECT_EQ(3u, Started().size());
  for (const std::string& line : Started()) EXPECT_NE(std::string::npos, line.find("/O \"LPT3:\"")) << line;
}

TEST_F(LaunchTest, OnlyADeletedPrinterTakesItsEntriesAndTheResidentWithIt) {
  const std::string params = testenv::ReadFile(m_driver.paramFile);
  const std::string otherFile = testenv::TempDir() + "config.ini";
  std::string slashed = m_driver.runCommand;
  slashed.replace(slashed.rfind('\\'), 1, "/");
  const std::string quoted = "\"C:\\PRW3\\prw3tray.exe\" /A \"" + m_driver.paramFile + "\"";
  const std::string other = "C:\\Other\\tool.exe \"" + otherFile + "\"";
  const std::string& own = m_driver.runCommand;
  const std::string unclosed = own.substr(0, own.size() - 1);
  const auto click = [] { Tray(WM_LBUTTONDBLCLK); };
  // A standard user's resident can open the machine's keys only for reading (Wine's user
  // is an administrator).
  const auto standardUser = [this] {
    KEEP_REPLACE(RegOpenKeyExA, [](auto real, HKEY hKey, LPCSTR psz, DWORD o, REGSAM sam, PHKEY p) {
      return hKey == HKEY_LOCAL_MACHINE && (sam & ~KEY_READ) ? ERROR_ACCESS_DENIED : real(hKey, psz, o, sam, p);
    });
  };
  // The entries in HKCU and HKLM (as an administrator's installation makes them), the
  // switch added to the start-up entry's line, the steps; the programs started, what the
  // resident did; what is left of the entries and our parameter file (see Left). The other
  // program's file always stays.
  const char* const kAll = "HKCU HKLM file";
  const std::tuple<std::string, std::string, const char*, Steps, size_t, const char*, const char*> cases[] = {
      // Ticks until the printer is deleted; a file named after a forward slash is ours all the same.
      {slashed, slashed, "", {Tick, Deleted(Tick)}, 0, "kill 2", ""},
      // A double click after the deletion starts no Printer Status.
      {own, own, "", {Deleted(click)}, 0, "kill 2", ""},
      // Another program's entry under the same name names its own file; an entry whose
      // program path is quoted too names no file between its outer quotes, nor does one
      // whose only quote is never closed. The values go all the same.
      {quoted, other, "", {Deleted(Tick)}, 0, "kill 2", "file"},
      {unclosed, unclosed, "", {Deleted(Tick)}, 0, "kill 2", "file"},
      // Its own entry and file go, the machine's entry stays, and it closes all the same.
      {own, own, "", {standardUser, Deleted(Tick)}, 0, "kill 2", "HKLM"},
      // The spooler down: Printer Status starts all the same, and the timer runs on.
      {own, own, "", {[this] { Spooler(RPC_S_SERVER_UNAVAILABLE); }, Tick, click, Deleted(Tick)}, 1, "kill 2", ""},
      // In install mode neither a tick nor a right click checks: the menu opens.
      {own, own, " /I", {Deleted(Tick), [] { Tray(WM_RBUTTONDOWN); }}, 0, "menu 2 owner\nclosed\nkill 2", kAll},
      // Another timer's tick does not check.
      {own, own, "", {Deleted([] { Post(WM_TIMER, DELPRN_TIMER_ID + 5); })}, 0, "closed\nkill 2", kAll},
  };
  for (const auto& [hkcu, hklm, pszSwitch, steps, nStarted, pszDid, pszLeft] : cases) {
    SCOPED_TRACE(hkcu + " " + hklm + pszSwitch);
    testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey, hkcu);
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, hklm);
    testenv::WriteFile(m_driver.paramFile, params);
    testenv::WriteFile(otherFile, "x");
    Run(own.substr(own.find(' ') + 1) + pszSwitch, steps);
    EXPECT_EQ(nStarted, Started().size());
    EXPECT_EQ(pszDid, Lines({"menu", "closed", "kill"}));
    EXPECT_EQ(pszLeft, Left());
    EXPECT_TRUE(testenv::FileExists(otherFile));
  }
  testenv::RemoveFile(otherFile);
}

}  // namespace
