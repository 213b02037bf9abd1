// Starting the driver's programs from the menu: the status program through a parameter
// file or inline with declared lengths, the auxiliary programs with the identity, the
// port the spooler reports now, the two message boxes, and the trace of each launch.
#include "support/ResidentHarness.h"

#include "frame/MainFrame.h"

namespace {

class LaunchTest : public ResidentTest {
protected:
  // A step that chooses `nCommand` from the resident's menu.
  static std::function<void()> Choose(UINT nCommand) {
    return [nCommand] { OpenMenu(winsim::MenuScript().Choose(nCommand)); };
  }
  // Runs the resident through `steps`; the processes started meanwhile.
  std::vector<winsim::StartedProcess> Launch(std::initializer_list<std::function<void()>> steps) {
    const size_t nBefore = winsim::StartedProcesses().size();
    EXPECT_EQ(0, RunAndClose("", steps));
    return {winsim::StartedProcesses().begin() + static_cast<long>(nBefore), winsim::StartedProcesses().end()};
  }
  // The parameter file named by a "/F" command line, read from the temporary folder.
  static std::string ParamFileOf(const winsim::StartedProcess& p) {
    const size_t open = p.commandLine.find("/F \"");
    if (open == std::string::npos) return "<no /F>";
    return testenv::ReadFile(testenv::TempDir() + p.commandLine.substr(open + 4, p.commandLine.size() - open - 5));
  }
  const std::string m_printer = testenv::ExistingPrinter();
};

TEST_F(LaunchTest, StatusProgramGetsAParameterFileOrTheInlineForm) {
  EnableDebugLog();
  testenv::WriteFile("C:\\Program.exe", "MZ");  // a decoy on a shorter prefix of the path
  auto started = Launch({Choose(ID_PRINTER_STATUS), Choose(ID_MONITORING_PREFERENCES),
                         [] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK); }});
  ASSERT_EQ(3u, started.size());
  for (const winsim::StartedProcess& p : started) {
    EXPECT_EQ(m_driver.statusProgram, p.program) << "the exact file, never C:\\Program.exe";
    EXPECT_EQ(0u, p.commandLine.find(m_driver.statusProgram + " /F \"O_P")) << p.commandLine;
  }
  const std::string identity =
      "/P \"" + m_printer + "\"\r\n/D \"prw3test\"\r\n/O \"CUPS:" + m_printer + "\"\r\n/M \"PRW3DEMO\"\r\n";
  EXPECT_EQ(identity, ParamFileOf(started[0]));
  EXPECT_EQ(identity + "/E\r\n", ParamFileOf(started[1])) << "the request travels inside the file";
  EXPECT_EQ(identity, ParamFileOf(started[2])) << "a double click is Printer Status";
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  for (const std::string& line : {std::string(" : CMainFrame::StartPRWExe : Parameter file\r\n"),
                                  " : CMainFrame::StartPRWExe : port name : CUPS:" + m_printer + "\r\n",
                                  " : CMainFrame::StartPRWExe : command line : " + started[0].commandLine + "\r\n",
                                  " : CMainFrame::StartExe : lpszCmdLine : " + started[0].commandLine + "\r\n"})
    EXPECT_TRUE(LogHas(line)) << line;

  // No parameter file can be made: the inline form with declared lengths, which ends in
  // the blank of an empty /E.
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED);
  started = Launch({Choose(ID_PRINTER_STATUS), Choose(ID_MONITORING_PREFERENCES)});
  const std::string inlineArgs = " /P8 \"" + m_printer + "\" /O13 \"CUPS:" + m_printer + "\" /M8 \"PRW3DEMO\" ";
  ASSERT_EQ(2u, started.size());
  EXPECT_EQ(m_driver.statusProgram + inlineArgs, started[0].commandLine);
  EXPECT_EQ(m_driver.statusProgram + inlineArgs + "/E", started[1].commandLine);
}

TEST_F(LaunchTest, FailuresShowTheirMessageAndLeaveNoParameterFile) {
  // The status program cannot be found: no start, the Printer Status message. A tray click
  // while that message is open opens one menu; a click inside that menu's loop no second one.
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_STATUS_PROGRAM);
  DeleteFileA(m_driver.statusProgram.c_str());
  winsim::MenuScript inner;
  inner.Run([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN); }).Cancel();
  winsim::ScriptMessageBox(IDOK, {[&] { OpenMenu(inner); }});
  EXPECT_TRUE(Launch({[] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK); }}).empty());
  EXPECT_EQ(1u, winsim::TrackPopupMenuCalls().size());
  EXPECT_EQ(0u, winsim::LiveMenuCount());
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  const winsim::MessageBoxRecord box = winsim::MessageBoxes()[0];
  EXPECT_EQ("\nUnable to open Printer Status window for this printer.|OLMAR Printwatch 3",
            box.text + "|" + box.caption);
  EXPECT_TRUE(box.style == MB_OK && box.owner);

  // The program is there but cannot be started: the file made for it is deleted again,
  // by its full path: a file of the same name in the program's folder is not ours.
  testenv::WriteFile(m_driver.statusProgram, "MZ");
  winsim::InjectFault("CreateProcessA", ERROR_ACCESS_DENIED);
  testenv::WriteFile("C:\\O_P4242.TMP", "not ours");
  Launch({[] { winsim::SetTickCount(0x4242); }, Choose(ID_MONITORING_PREFERENCES)});  // the file is O_P4242.TMP
  EXPECT_EQ("\nUnable to open Monitoring Preferences window for this printer.", winsim::MessageBoxes().at(1).text);
  WIN32_FIND_DATAA data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data));
  EXPECT_EQ("not ours", testenv::ReadFile("C:\\O_P4242.TMP"));
}

TEST_F(LaunchTest, LaunchesSendAndKeepThePortTheSpoolerReportsNow) {
  EnableDebugLog();
  auto movePrinter = [](const std::string& ports) {
    return [ports] {
      winsim::RemovePrinter(testenv::ExistingPrinter());
      winsim::AddPrinter(testenv::ExistingPrinter(), ports, "prw3test");
    };
  };
  std::string pooled = "LPT4:";
  for (int n = 5; pooled.size() < 300; ++n) pooled += ",LPT" + std::to_string(n) + ":";
  std::string portHeld;
  auto started = Launch({
      Choose(920), [] { for (WPARAM id : {931, 999, 1000}) PostMessageA(ResidentWindow(), WM_COMMAND, id, 0); },
      movePrinter("LPT2:"), Choose(ID_PRINTER_STATUS), movePrinter("LPT3:"), Choose(921),
      // A pooled printer's port list too long to hold, or a failing spooler, keeps the port held.
      movePrinter(pooled), Choose(925),
      [] {
        for (const char* pszApi : {"OpenPrinterA", "OpenPrinterW"})
          winsim::InjectFault(pszApi, RPC_S_SERVER_UNAVAILABLE);
      },
      Choose(920), [&] { portHeld = g_pMainFrame->m_szPortName; }});
  ASSERT_EQ(5u, started.size());
  EXPECT_EQ("\"" + m_driver.auxProgram + "\" /testpage /P \"" + m_printer +
                "\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:" + m_printer + "\"",
            started[0].commandLine);
  EXPECT_EQ("", started[0].applicationName);
  EXPECT_EQ(m_driver.auxProgram, started[0].program);
  EXPECT_NE(std::string::npos, ParamFileOf(started[1]).find("/O \"LPT2:\""));
  for (size_t i = 2; i < 5; ++i) EXPECT_NE(std::string::npos, started[i].commandLine.find("/O \"LPT3:\"")) << i;
  EXPECT_EQ("LPT3:", portHeld);
  // Commands up to 999 reach the auxiliary handler, even without a command of their own.
  EXPECT_FALSE(LogHas(" : CMainFrame::OnAux : id : 1000"));
  for (const std::string& line : {std::string(" : CMainFrame::OnAux : id : 931\r\n"),
                                  std::string(" : CMainFrame::OnAux : id : 999\r\n"),
                                  std::string(" : CMainFrame::OnAux : port name : LPT3:\r\n"),
                                  " : CMainFrame::OnAux : command line : " + started[0].commandLine + "\r\n"})
    EXPECT_TRUE(LogHas(line)) << line;
}

}  // namespace
