// Starting the driver's programs from the menu: the status program through a parameter
// file or inline with declared lengths, the auxiliary programs with the identity, the
// two message boxes, and the exact program file even with a decoy on the path.
#include "support/ResidentHarness.h"

#include "cmdline/CommandLine.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

namespace {

const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test";

class LaunchTest : public ResidentTest {
protected:
  // Runs the resident, chooses `nCommand` from its menu, then closes it.
  void Choose(UINT nCommand, const std::string& cmdLine = "") {
    winsim::PushIdleStep([nCommand] {
      winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(nCommand));
      winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
    });
    winsim::PushIdleStep([] { CloseResident(); });
    EXPECT_EQ(0, RunResident(cmdLine.empty() ? StartupCommandLine() : cmdLine));
  }
  winsim::StartedProcess LastStarted() {
    const auto& started = winsim::StartedProcesses();
    return started.empty() ? winsim::StartedProcess{} : started.back();
  }
  // The parameter file named by a "/F" command line, read from the temporary folder.
  std::string ParamFileOf(const winsim::StartedProcess& p) {
    const size_t open = p.commandLine.find("/F \"");
    if (open == std::string::npos) return "<no /F>";
    const std::string name = p.commandLine.substr(open + 4, p.commandLine.size() - open - 5);
    return testenv::ReadFile(testenv::TempDir() + name);
  }
  std::string Printer() { return testenv::ExistingPrinter(); }
};

TEST_F(LaunchTest, PrinterStatusAndPreferencesGoThroughAParameterFile) {
  Choose(ID_PRINTER_STATUS);
  winsim::StartedProcess status = LastStarted();
  EXPECT_EQ(m_driver.statusProgram, status.applicationName) << "the exact file, not a prefix of the line";
  EXPECT_EQ(m_driver.statusProgram, status.program);
  ASSERT_EQ(0u, status.commandLine.find(m_driver.statusProgram + " /F \"O_P"));
  EXPECT_EQ("/P \"" + Printer() + "\"\r\n/D \"prw3test\"\r\n/O \"CUPS:" + Printer() + "\"\r\n/M \"PRW3DEMO\"\r\n",
            ParamFileOf(status));

  Choose(ID_MONITORING_PREFERENCES);
  EXPECT_NE(std::string::npos, ParamFileOf(LastStarted()).find("/E\r\n"));
  EXPECT_EQ(std::string::npos, LastStarted().commandLine.find("/E")) << "the request travels inside the file";

  // A double click is Printer Status too.
  winsim::PushIdleStep([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK); });
  winsim::PushIdleStep([] { CloseResident(); });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(3u, winsim::StartedProcesses().size());
  EXPECT_EQ(std::string::npos, ParamFileOf(LastStarted()).find("/E"));
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

TEST_F(LaunchTest, DecoyProgramOnAShorterPrefixIsNeverStarted) {
  testenv::WriteFile("C:\\Program.exe", "MZ");
  Choose(ID_PRINTER_STATUS);
  EXPECT_EQ(m_driver.statusProgram, LastStarted().program);

  // Without the application name the platform would have taken the decoy.
  std::string line = LastStarted().commandLine;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ("C:\\Program.exe", LastStarted().program);
}

TEST_F(LaunchTest, InlineFormWithDeclaredLengthsWhenNoParameterFileCanBeMade) {
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED);
  Choose(ID_PRINTER_STATUS);
  const std::string inlineArgs = " /P8 \"" + Printer() + "\" /O13 \"CUPS:" + Printer() + "\" /M8 \"PRW3DEMO\" ";
  EXPECT_EQ(m_driver.statusProgram + inlineArgs, LastStarted().commandLine) << "ends in the blank of an empty /E";
  Choose(ID_MONITORING_PREFERENCES);
  EXPECT_EQ(m_driver.statusProgram + inlineArgs + "/E", LastStarted().commandLine);

  // The status program reads the inline form back whole.
  CCommandLine parsed(LastStarted().commandLine.substr(m_driver.statusProgram.size() + 1).c_str());
  EXPECT_STREQ(Printer().c_str(), parsed.m_szPrinterName);
  EXPECT_STREQ("PRW3DEMO", parsed.m_szModelID);
  EXPECT_EQ(1, parsed.m_bSwitchE);
}

TEST_F(LaunchTest, PrinterKnownOnlyByItsPortSendsAnEmptyDeclaredName) {
  testenv::UninstallDemoDriver();
  m_driver = testenv::InstallDemoDriver("", "prw3test", "LPT1:");
  winsim::InjectFault("GetTempFileNameA", ERROR_ACCESS_DENIED);
  Choose(ID_PRINTER_STATUS, "/O \"LPT1:\" /D \"prw3test\"");
  EXPECT_EQ(m_driver.statusProgram + " /P0 \"\" /O5 \"LPT1:\" /M8 \"PRW3DEMO\" ", LastStarted().commandLine);
}

TEST_F(LaunchTest, FailuresShowTheirMessageAndLeaveNoParameterFile) {
  // The status program cannot be found: no start, the Printer Status message.
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, REG_STATUS_PROGRAM);
  DeleteFileA(m_driver.statusProgram.c_str());
  Choose(ID_PRINTER_STATUS);
  EXPECT_TRUE(winsim::StartedProcesses().empty());
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ("\nUnable to open Printer Status window for this printer.", winsim::MessageBoxes()[0].text);
  EXPECT_EQ("OLMAR Printwatch 3", winsim::MessageBoxes()[0].caption);
  EXPECT_NE(nullptr, winsim::MessageBoxes()[0].owner);

  // The program is there but cannot be started: the file made for it is deleted again,
  // by its full path: a file of the same name in the program's folder is not ours.
  testenv::WriteFile(m_driver.statusProgram, "MZ");
  winsim::InjectFault("CreateProcessA", ERROR_ACCESS_DENIED);
  testenv::WriteFile("C:\\O_P4242.TMP", "not ours");
  winsim::PushIdleStep([] { winsim::SetTickCount(0x4242); });  // names the file O_P4242.TMP
  Choose(ID_MONITORING_PREFERENCES);
  ASSERT_EQ(2u, winsim::MessageBoxes().size());
  EXPECT_EQ("\nUnable to open Monitoring Preferences window for this printer.", winsim::MessageBoxes()[1].text);
  WIN32_FIND_DATAA data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((testenv::TempDir() + "O_P*.TMP").c_str(), &data));
  EXPECT_EQ("not ours", testenv::ReadFile("C:\\O_P4242.TMP"));
}

TEST_F(LaunchTest, PooledPrinterWhosePortListIsTooLongKeepsThePortWeHad) {
  std::string ports = "LPT1:";
  for (int n = 2; ports.size() < 300; ++n) ports += ",LPT" + std::to_string(n) + ":";
  winsim::RemovePrinter(Printer());
  winsim::AddPrinter(Printer(), ports.c_str(), "prw3test");
  winsim::PushIdleStep([] {
    winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(ID_PRINTER_STATUS));
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  });
  winsim::PushIdleStep([] {
    winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(920));
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  });
  std::string portHeld;
  winsim::PushIdleStep([&] {
    portHeld = g_pMainFrame->m_szPortName;
    CloseResident();
  });
  EXPECT_EQ(0, RunResident("/P \"" + Printer() + "\" /O \"LPT2:\""));
  const auto& started = winsim::StartedProcesses();
  ASSERT_EQ(2u, started.size());
  EXPECT_NE(std::string::npos, ParamFileOf(started[0]).find("/O \"LPT2:\"\r\n"));
  EXPECT_NE(std::string::npos, started[1].commandLine.find("/O \"LPT2:\""));
  EXPECT_EQ("LPT2:", portHeld);
}

TEST_F(LaunchTest, AuxiliaryProgramsGetTheIdentityAndAMovedPortIsFollowed) {
  Choose(920);
  const std::string tool = "\"" + m_driver.auxProgram + "\"";
  EXPECT_EQ(tool + " /testpage /P \"" + Printer() + "\" /M \"PRW3DEMO\" /D \"prw3test\" /O \"CUPS:" + Printer() + "\"",
            LastStarted().commandLine);
  EXPECT_EQ("", LastStarted().applicationName);
  EXPECT_EQ(m_driver.auxProgram, LastStarted().program);

  // A command with no registry value starts nothing.
  winsim::PushIdleStep([] { PostMessageA(ResidentWindow(), WM_COMMAND, 930 + 1, 0); });
  winsim::PushIdleStep([] { CloseResident(); });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(1u, winsim::StartedProcesses().size());

  // The printer moved to another port since start-up: launches send and keep the new one.
  winsim::PushIdleStep([] {
    winsim::RemovePrinter(testenv::ExistingPrinter());
    winsim::AddPrinter(testenv::ExistingPrinter(), "LPT2:", "prw3test");
    winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(ID_PRINTER_STATUS));
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  });
  winsim::PushIdleStep([] {
    winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(921));
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  });
  winsim::PushIdleStep([] { CloseResident(); });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  const auto& started = winsim::StartedProcesses();
  ASSERT_EQ(3u, started.size());
  EXPECT_NE(std::string::npos, ParamFileOf(started[1]).find("/O \"LPT2:\""));
  EXPECT_NE(std::string::npos, started[2].commandLine.find("/O \"LPT2:\""));
}

}  // namespace
