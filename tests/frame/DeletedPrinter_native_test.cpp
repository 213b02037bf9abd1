// The deleted-printer check on timer ticks and tray clicks: a printer the spooler no
// longer knows takes its start-up entries (and our parameter files) with it and closes
// the resident; anything short of that leaves everything as it is.
#include "support/ResidentHarness.h"

namespace {

class DeletedPrinterTest : public ResidentTest {
protected:
  // Runs the resident through `steps` with an entry in HKLM too (by default the same, as
  // an administrator's installation makes it); whether it was still there after them.
  // The resident runs with an administrator's rights unless told otherwise.
  bool Stays(const std::string& cmdLine, std::initializer_list<std::function<void()>> steps, std::string hklm = "",
             bool bAdministrator = true) {
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, hklm.empty() ? m_driver.runCommand : hklm);
    winsim::SetAdministrator(bAdministrator);
    bool bStayed = false;
    for (const std::function<void()>& step : steps) winsim::PushIdleStep(step);
    EXPECT_EQ(0, RunAndClose(cmdLine, {[&] { bStayed = ResidentWindow() != nullptr; }}));
    return bStayed;
  }
  static void DeletePrinter() { winsim::RemovePrinter(testenv::ExistingPrinter()); }
  static void Tick() { winsim::AdvanceClock(2000); }
};

TEST_F(DeletedPrinterTest, TickOrClickAfterDeletionRemovesTheEntriesAndClosesTheResident) {
  EnableDebugLog();
  EXPECT_FALSE(Stays("", {Tick, [] { DeletePrinter(); Tick(); }}));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
  EXPECT_TRUE(winsim::Timers().empty() && winsim::TrayIcons().empty());
  for (const std::string& line : {" : CMainFrame::ChkDelPrn : Printer Open Success : " + testenv::ExistingPrinter(),
                                  " : CMainFrame::ChkDelPrn : Printer Open Failed : " + testenv::ExistingPrinter(),
                                  std::string(" : Delete Reg HKCU\\run\r\n"),
                                  std::string(" : Delete Reg HKLM\\run\r\n")})
    EXPECT_TRUE(LogHas(line)) << line;

  // A double click after the deletion starts no Printer Status and closes all the same.
  ResetMachine();
  EXPECT_FALSE(Stays("", {[] {
                       DeletePrinter();
                       winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK);
                     }}));
  EXPECT_TRUE(winsim::StartedProcesses().empty());
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE));

  // Another program's entry under the same name names its own file; an entry whose
  // program path is quoted too names no file between its outer quotes.
  ResetMachine();
  CreateDirectoryA("C:\\Other", nullptr);
  testenv::WriteFile("C:\\Other\\config.ini", "x");
  testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey,
                        "\"C:\\PRW3\\prw3tray.exe\" /A \"" + m_driver.paramFile + "\"");
  EXPECT_FALSE(Stays("/P \"" + testenv::ExistingPrinter() + "\"", {[] { DeletePrinter(); Tick(); }},
                     "C:\\Other\\tool.exe \"C:\\Other\\config.ini\""));
  EXPECT_TRUE(testenv::FileExists("C:\\Other\\config.ini") && testenv::FileExists(m_driver.paramFile));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE)) << "the values go all the same";

  // A standard user's resident cannot open the machine's Run key for writing: its own
  // entry and file go, the machine's entry stays, and it closes all the same.
  ResetMachine();
  EXPECT_FALSE(Stays("", {[] { DeletePrinter(); Tick(); }}, "", false));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER));
  EXPECT_TRUE(HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
}

TEST_F(DeletedPrinterTest, NothingChangesWithoutProofThatThePrinterIsGone) {
  // The spooler down: the timer runs on, and Printer Status starts all the same.
  EXPECT_TRUE(Stays("", {[] {
                      for (const char* pszApi : {"OpenPrinterA", "OpenPrinterW"})
                        winsim::InjectFault(pszApi, RPC_S_SERVER_UNAVAILABLE);
                      Tick();
                      winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK);
                    },
                    [] { EXPECT_EQ(1u, winsim::Timers().size()); }}));
  winsim::ClearFaults();
  EXPECT_EQ(1u, winsim::StartedProcesses().size());
  // In install mode neither a tick nor a right click checks: the menu opens all the same.
  EXPECT_TRUE(Stays(m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1) + " /I", {[] {
                      DeletePrinter();
                      Tick();
                      OpenMenu(winsim::MenuScript().Cancel());
                    }}));
  EXPECT_EQ(1u, winsim::TrackPopupMenuCalls().size());
  // Another timer's tick.
  winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test");
  EXPECT_TRUE(Stays("", {[] {
                      DeletePrinter();
                      PostMessageA(ResidentWindow(), WM_TIMER, DELPRN_TIMER_ID + 5, 0);
                    }}));
  EXPECT_TRUE(HasRunEntry(HKEY_CURRENT_USER) && HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(testenv::FileExists(m_driver.paramFile));
}

}  // namespace
