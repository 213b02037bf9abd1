// The deleted-printer check on timer ticks and tray clicks: a printer the spooler no
// longer knows takes its start-up entries (and our parameter files) with it and closes
// the resident; anything short of that leaves everything as it is.
#include "support/ResidentHarness.h"

#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

class DeletedPrinterTest : public ResidentTest {
protected:
  void SetUp() override {
    ResidentTest::SetUp();
    // The same entry in HKLM, as an administrator's installation would make it.
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
  }
  static void DeletePrinter() { winsim::RemovePrinter(testenv::ExistingPrinter()); }
  // The next period of the deleted-printer timer passes.
  static void Tick() { winsim::AdvanceClock(2000); }
  // Runs the resident through `steps`; whether it was still there after them.
  bool Stays(const std::string& cmdLine, std::initializer_list<std::function<void()>> steps) {
    bool bStayed = false;
    for (const std::function<void()>& step : steps) winsim::PushIdleStep(step);
    winsim::PushIdleStep([&] {
      bStayed = ResidentWindow() != nullptr;
      CloseResident();
    });
    EXPECT_EQ(0, RunResident(cmdLine));
    return bStayed;
  }
};

TEST_F(DeletedPrinterTest, TickOrClickAfterDeletionRemovesTheEntriesAndClosesTheResident) {
  EnableDebugLog();
  EXPECT_FALSE(Stays("", {Tick, [] {
                            DeletePrinter();
                            Tick();
                          }}));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER));
  EXPECT_FALSE(HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
  EXPECT_TRUE(winsim::Timers().empty());
  EXPECT_TRUE(winsim::TrayIcons().empty());
  const std::string log = DebugLogText();
  for (const std::string& line : {" : CMainFrame::ChkDelPrn : Printer Open Success : " + testenv::ExistingPrinter(),
                                  " : CMainFrame::ChkDelPrn : Printer Open Failed : " + testenv::ExistingPrinter(),
                                  std::string(" : Delete Reg HKCU\\run\r\n"), std::string(" : Delete Reg HKLM\\run\r\n")})
    EXPECT_NE(std::string::npos, log.find(line)) << line;

  // A double click after the deletion starts no Printer Status and closes all the same.
  ResetMachine();
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
  EXPECT_FALSE(Stays("", {[] {
                            DeletePrinter();
                            winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK);
                          }}));
  EXPECT_TRUE(winsim::StartedProcesses().empty());
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER));
  EXPECT_FALSE(HasRunEntry(HKEY_LOCAL_MACHINE));
}

TEST_F(DeletedPrinterTest, OnlyOurParameterFileIsDeleted) {
  // Another program's entry under the same name names its own file; an entry whose
  // program path is quoted too names no file between its outer quotes.
  CreateDirectoryA("C:\\Other", nullptr);
  testenv::WriteFile("C:\\Other\\config.ini", "x");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, "C:\\Other\\tool.exe \"C:\\Other\\config.ini\"");
  testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey,
                        "\"C:\\PRW3\\prw3tray.exe\" /A \"" + m_driver.paramFile + "\"");
  EXPECT_FALSE(Stays("/P \"" + testenv::ExistingPrinter() + "\"", {[] {
                       DeletePrinter();
                       Tick();
                     }}));
  EXPECT_TRUE(testenv::FileExists("C:\\Other\\config.ini"));
  EXPECT_TRUE(testenv::FileExists(m_driver.paramFile));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER));
  EXPECT_FALSE(HasRunEntry(HKEY_LOCAL_MACHINE)) << "the values go all the same";
}

TEST_F(DeletedPrinterTest, NothingChangesWithoutProofThatThePrinterIsGone) {
  // The spooler down, install mode, or another timer's tick.
  EXPECT_TRUE(Stays("", {[] {
                          winsim::InjectFault("OpenPrinterA", RPC_S_SERVER_UNAVAILABLE);
                          winsim::InjectFault("OpenPrinterW", RPC_S_SERVER_UNAVAILABLE);
                          Tick();
                          winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK);
                        },
                        [] {
                          winsim::ClearFaults();
                          EXPECT_EQ(1u, winsim::Timers().size()) << "the timer runs on";
                        }}));
  EXPECT_EQ(1u, winsim::StartedProcesses().size()) << "Printer Status started all the same";
  EXPECT_TRUE(Stays(StartupCommandLine() + " /I", {[] {
                              DeletePrinter();
                              Tick();
                              winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
                            }}));
  winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test");
  EXPECT_TRUE(Stays("", {[] {
                          DeletePrinter();
                          PostMessageA(ResidentWindow(), WM_TIMER, DELPRN_TIMER_ID + 5, 0);
                        }}));
  EXPECT_TRUE(HasRunEntry(HKEY_CURRENT_USER));
  EXPECT_TRUE(HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(testenv::FileExists(m_driver.paramFile));
}

}  // namespace
