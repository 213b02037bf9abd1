// Starting the driver's programs from the menu: the status program through a parameter
// file or inline with declared lengths, the auxiliary programs with the identity, the
// port the spooler reports now, the two message boxes, and the trace of each launch.
#include "support/ResidentHarness.h"

#include "cmdline/CommandLine.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

class LaunchTest : public ResidentTest {
protected:
  // A step that chooses `nCommand` from the resident's menu.
  static std::function<void()> Choose(UINT nCommand) {
    return [nCommand] { OpenMenu(winsim::MenuScript().Choose(nCommand)); };
  }
  // Runs the resident and takes `steps`; the processes started meanwhile.
  std::vector<winsim::StartedProcess> Launch(std::initializer_list<std::function<void()>> steps,
                                             const std::string& cmdLine = "") {
    const size_t nBefore = winsim::StartedProcesses().size();
    EXPECT_EQ(0, RunAndClose(cmdLine, steps));
    const auto& all = winsim::StartedProcesses();
    return std::vector<winsim::StartedProcess>(all.begin() + static_cast<long>(nBefore), all.end());
  }
  // The parameter file named by a "/F" command line, read from the temporary folder.
  static std::string ParamFileOf(const winsim::StartedProcess& p) {
    const size_t open = p.commandLine.find("/F \"");
    if (open == std::string::npos) return "<no /F>";
    return testenv::ReadFile(testenv::TempDir() + p.commandLine.substr(open + 4, p.commandLine.size() - open - 5));
  }
  static std::string Printer() { return testenv::ExistingPrinter(); }
};

TEST_F(LaunchTest, StatusProgramGetsAParameterFileOrTheInlineForm) {
  EnableDebugLog();
  testenv::WriteFile("C:\\Program.exe", "MZ");  // a decoy on a shorter prefix of the path
  auto started = Launch({Choose(ID_PRINTER_STATUS), Choose(ID_MONITORING_PREFERENCES), [] {
                           winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK);
                         }});
  ASSERT_EQ(3u, started.size());
  for (const winsim::StartedProcess& p : started) {
    EXPECT_EQ(m_driver.statusProgram, p.program) << "the exact file, never C:\\Program.exe";
    EXPECT_EQ(0u, p.commandLine.find(m_driver.statusProgram + " /F \"O_P")) << p.commandLine;
  }
  const std::string identity =
      "/P \"" + Printer() + "\"\r\n/D \"prw3test\"\r\n/O \"CUPS:" + Printer() + "\"\r\n/M \"PRW3DEMO\"\r\n";
  EXPECT_EQ(identity, ParamFileOf(started[0]));
  EXPECT_EQ(identity + "/E\r\n", ParamFileOf(started[1])) << "the request travels inside the file";
  EXPECT_EQ(identity, ParamFileOf(started[2])) << "a double click is Printer Status";
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  const std::string log = DebugLogText();
  for (const std::string& line : {std::string(" : CMainFrame::StartPRWExe\r\n"),
                                  std::string(" : CMainFrame::StartPRWExe : Parameter file\r\n"),
                                  " : CMainFrame::StartPRWExe : port name : CUPS:" + Printer() + "\r\n",
                                  " : CMainFrame::StartPRWExe : command line : " + started[0].commandLine + "\r\n",
                                  " : CMainFrame::StartExe : lpszCmdLine : " + started[0].commandLine + "\r\n"})
    EXPECT_NE(std::string::npos, log.find(line)) << line;

  // No parameter file can be made: the inline form with declared lengths, which ends in
  // the blank of an empty /E, and which the status program reads back whole.
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED);
  started = Launch({Choose(ID_PRINTER_STATUS), Choose(ID_MONITORING_PREFERENCES)});
  const std::string inlineArgs = " /P8 \"" + Printer() + "\" /O13 \"CUPS:" + Printer() + "\" /M8 \"PRW3DEMO\" ";
  ASSERT_EQ(2u, started.size());
  EXPECT_EQ(m_driver.statusProgram + inlineArgs, started[0].commandLine);
  EXPECT_EQ(m_driver.statusProgram + inlineArgs + "/E", started[1].commandLine);
  CCommandLine parsed(started[1].commandLine.substr(m_driver.statusProgram.size() + 1).c_str());
  EXPECT_STREQ(Printer().c_str(), parsed.m_szPrinterName);
  EXPECT_EQ(1, parsed.m_bSwitchE);

  // A printer known only by its port sends an empty declared name.
  winsim::ClearFaults();
  testenv::UninstallDemoDriver();
  m_driver = testenv::InstallDemoDriver("", "prw3test", "LPT1:");
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED);
  started = Launch({Choose(ID_PRINTER_STATUS)}, "/O \"LPT1:\" /D \"prw3test\"");
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ(m_driver.statusProgram + " /P0 \"\" /O5 \"LPT1:\" /M8 \"PRW3DEMO\" ", started[0].commandLine);
}

TEST_F(LaunchTest, FailuresShowTheirMessageAndLeaveNoParameterFile) {
  // The status program cannot be found: no start, the Printer Status message.
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\prw3test", REG_STATUS_PROGRAM);
  DeleteFileA(m_driver.statusProgram.c_str());
  EXPECT_TRUE(Launch({Choose(ID_PRINTER_STATUS)}).empty());
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ("\nUnable to open Printer Status window for this printer.", winsim::MessageBoxes()[0].text);
  EXPECT_EQ("OLMAR Printwatch 3", winsim::MessageBoxes()[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK), winsim::MessageBoxes()[0].style);
  EXPECT_NE(nullptr, winsim::MessageBoxes()[0].owner);

  // The program is there but cannot be started: the file made for it is deleted again,
  // by its full path: a file of the same name in the program's folder is not ours.
  testenv::WriteFile(m_driver.statusProgram, "MZ");
  winsim::InjectFault("CreateProcessA", ERROR_ACCESS_DENIED);
  testenv::WriteFile("C:\\O_P4242.TMP", "not ours");
  Launch({[] { winsim::SetTickCount(0x4242); }, Choose(ID_MONITORING_PREFERENCES)});  // the file is O_P4242.TMP
  ASSERT_EQ(2u, winsim::MessageBoxes().size());
  EXPECT_EQ("\nUnable to open Monitoring Preferences window for this printer.", winsim::MessageBoxes()[1].text);
  WIN32_FIND_DATAA data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data));
  EXPECT_EQ("not ours", testenv::ReadFile("C:\\O_P4242.TMP"));
}

TEST_F(LaunchTest, AuxiliaryProgramsGetTheIdentityAndThePortTheSpoolerReportsNow) {
  EnableDebugLog();
  std::string portHeld[3];
  auto holdPort = [&](int i) { return [&, i] { portHeld[i] = g_pMainFrame->m_szPortName; }; };
  auto started = Launch({
      Choose(920), [] { PostMessageA(ResidentWindow(), WM_COMMAND, 930 + 1, 0); },  // 931 has no command
      // The spooler fails: the port held is sent and kept.
      [] {
        winsim::InjectFault("OpenPrinterA", RPC_S_SERVER_UNAVAILABLE);
        winsim::InjectFault("OpenPrinterW", RPC_S_SERVER_UNAVAILABLE);
      },
      Choose(ID_PRINTER_STATUS), holdPort(0),
      // The printer moved to another port: launches send and keep the new one.
      [] {
        winsim::ClearFaults();
        winsim::RemovePrinter(testenv::ExistingPrinter());
        winsim::AddPrinter(testenv::ExistingPrinter(), "LPT2:", "prw3test");
      },
      Choose(921), holdPort(1),
      // A pooled printer's port list too long to hold keeps the port we had.
      [] {
        std::string ports = "LPT3:";
        for (int n = 4; ports.size() < 300; ++n) ports += ",LPT" + std::to_string(n) + ":";
        winsim::RemovePrinter(testenv::ExistingPrinter());
        winsim::AddPrinter(testenv::ExistingPrinter(), ports.c_str(), "prw3test");
      },
      Choose(925), holdPort(2)});
  ASSERT_EQ(4u, started.size());
  const std::string tool = "\"" + m_driver.auxProgram + "\"";
  EXPECT_EQ(tool + " /testpage /P \"" + Printer() + "\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:" + Printer() + "\"",
            started[0].commandLine);
  EXPECT_EQ("", started[0].applicationName);
  EXPECT_EQ(m_driver.auxProgram, started[0].program);
  EXPECT_EQ("CUPS:" + Printer(), portHeld[0]);
  EXPECT_NE(std::string::npos, ParamFileOf(started[1]).find("/O \"CUPS:" + Printer() + "\""));
  EXPECT_NE(std::string::npos, started[2].commandLine.find("/O \"LPT2:\""));
  EXPECT_NE(std::string::npos, started[3].commandLine.find("/O \"LPT2:\""));
  EXPECT_EQ("LPT2:", portHeld[1]);
  EXPECT_EQ("LPT2:", portHeld[2]);
  const std::string log = DebugLogText();
  EXPECT_NE(std::string::npos, log.find(" : CMainFrame::OnAux : id : 931\r\n"));
  EXPECT_NE(std::string::npos, log.find(" : CMainFrame::OnAux : command line : " + started[0].commandLine + "\r\n"));
}

}  // namespace
