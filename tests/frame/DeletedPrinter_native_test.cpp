// The deleted-printer check on timer ticks and tray clicks: a printer the spooler no
// longer knows takes its start-up entries (and our parameter files) with it and closes
// the resident; anything short of that leaves everything as it is.
#include "support/ResidentHarness.h"

#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

namespace {

class DeletedPrinterTest : public ResidentTest {
protected:
  void SetUp() override {
    ResidentTest::SetUp();
    // The same entry in HKLM, as an administrator's installation would make it.
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, m_driver.runCommand);
  }
  bool HasEntry(HKEY hive) { return testenv::GetReg(hive, kRunKey, m_driver.printerKey) != "<missing>"; }
  // The printer disappears from the spooler; the next timer period passes.
  static void DeletePrinterAndTick() {
    winsim::RemovePrinter(testenv::ExistingPrinter());
    winsim::AdvanceClock(2000);
  }
};

TEST_F(DeletedPrinterTest, TimerTickAfterDeletionRemovesEntriesAndClosesTheResident) {
  winsim::PushIdleStep(DeletePrinterAndTick);
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "closed by the check, not by running dry";
  EXPECT_FALSE(HasEntry(HKEY_CURRENT_USER));
  EXPECT_FALSE(HasEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
  EXPECT_TRUE(winsim::Timers().empty());
  EXPECT_TRUE(winsim::TrayIcons().empty());
}

TEST_F(DeletedPrinterTest, OnlyOurParameterFileIsDeleted) {
  // Another program's entry under the same name names its own file.
  CreateDirectoryA("C:\\Other", nullptr);
  testenv::WriteFile("C:\\Other\\config.ini", "x");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, "C:\\Other\\tool.exe \"C:\\Other\\config.ini\"");
  // A program path in quotes too: the text between the outer quotes names no file.
  testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey,
                        "\"C:\\PRW3\\prw3tray.exe\" /A \"" + m_driver.paramFile + "\"");
  winsim::PushIdleStep(DeletePrinterAndTick);
  EXPECT_EQ(0, RunResident("/P \"" + testenv::ExistingPrinter() + "\""));
  EXPECT_TRUE(testenv::FileExists("C:\\Other\\config.ini"));
  EXPECT_TRUE(testenv::FileExists(m_driver.paramFile));
  EXPECT_FALSE(HasEntry(HKEY_CURRENT_USER));
  EXPECT_FALSE(HasEntry(HKEY_LOCAL_MACHINE)) << "the value goes all the same";
}

TEST_F(DeletedPrinterTest, SpoolerDownChangesNothingAndTheResidentStays) {
  EnableDebugLog();
  winsim::PushIdleStep([] {
    winsim::InjectFault("OpenPrinterA", RPC_S_SERVER_UNAVAILABLE);
    winsim::InjectFault("OpenPrinterW", RPC_S_SERVER_UNAVAILABLE);
    winsim::AdvanceClock(2000);
  });
  bool bStayed = false;
  winsim::PushIdleStep([&] {
    winsim::ClearFaults();
    bStayed = ResidentWindow() != nullptr && winsim::Timers().size() == 1 && winsim::TrayIcons().size() == 1;
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_TRUE(bStayed);
  EXPECT_TRUE(HasEntry(HKEY_CURRENT_USER));
  EXPECT_TRUE(HasEntry(HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(testenv::FileExists(m_driver.paramFile));
  const std::string log = DebugLogText();
  EXPECT_NE(std::string::npos, log.find("CMainFrame::ChkDelPrn : Printer Open Failed : " + testenv::ExistingPrinter()));
  EXPECT_EQ(std::string::npos, log.find("Delete Reg HKCU\\run"));
}

TEST_F(DeletedPrinterTest, InstallModeAndForeignTimersNeverCheck) {
  bool bStayed = false;
  winsim::PushIdleStep([] {
    PostMessageA(ResidentWindow(), WM_TIMER, 7, 0);
    PostMessageA(ResidentWindow(), WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
    DeletePrinterAndTick();
  });
  winsim::PushIdleStep([&] {
    bStayed = ResidentWindow() != nullptr;
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine() + " /I"));
  EXPECT_TRUE(bStayed);
  EXPECT_TRUE(HasEntry(HKEY_CURRENT_USER));
  EXPECT_TRUE(HasEntry(HKEY_LOCAL_MACHINE));

  // A foreign timer id is ignored even when the printer is gone.
  winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test");
  winsim::PushIdleStep([] {
    winsim::RemovePrinter(testenv::ExistingPrinter());
    PostMessageA(ResidentWindow(), WM_TIMER, 7, 0);
  });
  winsim::PushIdleStep([&] {
    bStayed = ResidentWindow() != nullptr;
    CloseResident();
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_TRUE(bStayed);
  EXPECT_TRUE(HasEntry(HKEY_CURRENT_USER));
}

TEST_F(DeletedPrinterTest, DoubleClickAfterDeletionOpensNoStatusAndCloses) {
  winsim::PushIdleStep([] {
    winsim::RemovePrinter(testenv::ExistingPrinter());
    PostMessageA(ResidentWindow(), WM_TRAYNOTIFY, 0, WM_LBUTTONDBLCLK);
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_TRUE(winsim::StartedProcesses().empty());
  EXPECT_FALSE(HasEntry(HKEY_CURRENT_USER));
  EXPECT_FALSE(HasEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(winsim::MessageLoopRanDry());
}

}  // namespace
