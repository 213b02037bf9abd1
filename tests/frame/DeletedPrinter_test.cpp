// The deleted-printer check on timer ticks and tray clicks: a printer the spooler no
// longer knows takes its start-up entries (and our parameter files) with it and closes
// the resident; anything short of that leaves everything as it is.
#include "support/Resident.h"

#include "frame/MainFrame.h"

namespace {

class DeletedPrinterTest : public ResidentTest {
protected:
  // Runs the resident through the steps with an entry in HKLM too (by default the same, as
  // an administrator's installation makes it); whether it was still there after them.
  bool Stays(const std::string& cmdLine, std::vector<std::function<void()>> steps, const std::string& hklm = "") {
    testenv::SetRegString(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey, hklm.empty() ? m_driver.runCommand : hklm);
    Journal().clear();
    EXPECT_EQ(0, Run(cmdLine, steps));
    ReleaseHooks();
    return Lines({"closed"}) == "closed";
  }
  // From now on the spooler does not know the printer, or cannot be reached.
  void Spooler(DWORD dwError) { Fail("OpenPrinterA", dwError), Fail("OpenPrinterW", dwError); }
  static void Tick(UINT_PTR nID = 0) { Post(WM_TIMER, nID ? nID : g_pMainFrame->m_nTimerID); }
  void TearDown() override {
    testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, m_driver.printerKey);
    ResidentTest::TearDown();
  }
};

TEST_F(DeletedPrinterTest, TickOrClickAfterDeletionRemovesTheEntriesAndClosesTheResident) {
  EnableDebugLog();
  EXPECT_FALSE(Stays("", {[] { Tick(); }, [this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(); }}));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
  EXPECT_EQ("timer 2 2000\nkill 2", Lines({"timer", "kill"}));
  for (const std::string& line : {" : CMainFrame::ChkDelPrn : Printer Open Success : prw3test\r\n",
                                  " : CMainFrame::ChkDelPrn : Printer Open Failed : prw3test\r\n",
                                  " : Delete Reg HKCU\\run\r\n", " : Delete Reg HKLM\\run\r\n"})
    EXPECT_TRUE(LogHas(line)) << line;

  // A double click after the deletion starts no Printer Status and closes all the same.
  Reinstall();
  EXPECT_FALSE(Stays("", {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tray(WM_LBUTTONDBLCLK); }}));
  EXPECT_EQ("", Lines({"start"}));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE));

  // Another program's entry under the same name names its own file; an entry whose
  // program path is quoted too names no file between its outer quotes.
  Reinstall();
  CreateDirectoryA("C:\\Other", nullptr);
  testenv::WriteFile("C:\\Other\\config.ini", "x");
  testenv::SetRegString(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey,
                        "\"C:\\PRW3\\prw3tray.exe\" /A \"" + m_driver.paramFile + "\"");
  EXPECT_FALSE(Stays("/P \"prw3test\"", {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(); }},
                     "C:\\Other\\tool.exe \"C:\\Other\\config.ini\""));
  EXPECT_TRUE(testenv::FileExists("C:\\Other\\config.ini") && testenv::FileExists(m_driver.paramFile));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER) || HasRunEntry(HKEY_LOCAL_MACHINE)) << "the values go all the same";
  testenv::RemoveFile("C:\\Other\\config.ini");
  RemoveDirectoryA("C:\\Other");

  // A standard user's resident cannot open the machine's Run key for writing (Wine's user
  // is an administrator): its own entry and file go, the machine's entry stays, and it
  // closes all the same.
  Reinstall();
  auto standardUser = FAULT_REPLACE(RegOpenKeyExA, [](auto real, HKEY hKey, LPCSTR psz, DWORD o, REGSAM sam, PHKEY p) {
    const REGSAM samWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE | WRITE_DAC | WRITE_OWNER;
    return hKey == HKEY_LOCAL_MACHINE && (sam & samWrite) ? LSTATUS(ERROR_ACCESS_DENIED) : real(hKey, psz, o, sam, p);
  });
  EXPECT_FALSE(Stays("", {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(); }}));
  EXPECT_FALSE(HasRunEntry(HKEY_CURRENT_USER));
  EXPECT_TRUE(HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_driver.paramFile));
}

TEST_F(DeletedPrinterTest, NothingChangesWithoutProofThatThePrinterIsGone) {
  // The spooler down: the timer runs on, and Printer Status starts all the same.
  EXPECT_TRUE(Stays("", {[this] { Spooler(RPC_S_SERVER_UNAVAILABLE), Tick(), Tray(WM_LBUTTONDBLCLK); },
                         [] { EXPECT_EQ(DELPRN_TIMER_ID, g_pMainFrame->m_nTimerID); }}));
  EXPECT_NE("", Lines({"start"}));
  // In install mode neither a tick nor a right click checks: the menu opens all the same.
  EXPECT_TRUE(Stays(m_driver.runCommand.substr(m_driver.runCommand.find(' ') + 1) + " /I",
                    {[this] { Spooler(ERROR_INVALID_PRINTER_NAME), Tick(), Tray(WM_RBUTTONDOWN); }}));
  EXPECT_EQ("menu 2 owner", Lines({"menu"}));
  // Another timer's tick.
  EXPECT_TRUE(Stays("", {[] { Tick(DELPRN_TIMER_ID + 5); }}));
  EXPECT_TRUE(HasRunEntry(HKEY_CURRENT_USER) && HasRunEntry(HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(testenv::FileExists(m_driver.paramFile));
}

}  // namespace
