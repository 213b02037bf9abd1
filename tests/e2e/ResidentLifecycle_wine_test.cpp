// The real resident under Wine from start to end: it shows its icon in Wine's tray and
// holds its slot in the shared table, a second start makes it re-read its icon, a start
// with /R closes it, and once its printer is deleted it removes its start-up entries and
// ends by itself.
#include "e2e/E2eTest.h"

#include "shared/MonitorTable.h"

namespace e2e {
namespace {

const std::vector<std::string> GREEN = {"green"};
const std::vector<std::string> RED = {"red"};
const int RED_ICON = 2;
const DWORD TIMER_PERIOD_MS = 2000;  // the demo model's TrayIconEndTime

// Keeps the shared table alive while the test looks at it: the block goes with its last
// handle, and a freed slot must be seen as freed, not as a vanished block.
class CTableObserver {
public:
  CTableObserver() : m_hMap(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME)) {}
  ~CTableObserver() {
    if (m_hMap) CloseHandle(m_hMap);
  }
  CTableObserver(const CTableObserver&) = delete;
  CTableObserver& operator=(const CTableObserver&) = delete;
  bool IsOpen() const { return m_hMap != nullptr; }

private:
  HANDLE m_hMap;
};

class ResidentLifecycleTest : public E2eTest, public testing::WithParamInterface<std::string> {};

TEST_P(ResidentLifecycleTest, ShowsIconHoldsSlotReReadsIconAndClosesOnRemove) {
  const std::string printer = GetParam();
  if (printer != testenv::ExistingPrinter()) {
    ASSERT_NO_FATAL_FAILURE(AddPrinter(printer));
  }
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());

  CResidentProcess first;
  ASSERT_TRUE(first.Start(StartupArgs(driver)));
  HWND hWnd = WaitUntilServing(first, printer);
  ASSERT_NE(nullptr, hWnd) << "no window in the printer's slot; exit code " << first.Wait(0);
  CTableObserver table;
  ASSERT_TRUE(table.IsOpen());
  EXPECT_EQ(GREEN, WaitForTrayColors(GREEN)) << "icon 700";

  // The preferences program picks the red icon; a second start tells the first.
  const std::string target = TargetKeyOf(printer);
  ASSERT_FALSE(target.empty()) << "the resident made the printer's target";
  testenv::SetRegDword(HKEY_CURRENT_USER, target, TRAY_ICON_SELECTED, RED_ICON);
  CResidentProcess second;
  ASSERT_TRUE(second.Start(StartupArgs(driver)));
  EXPECT_EQ(0, second.Wait(END_TIMEOUT_MS));
  EXPECT_EQ(RED, WaitForTrayColors(RED)) << "icon 702 after the re-read";
  EXPECT_TRUE(first.IsRunning());
  EXPECT_EQ(hWnd, residentctl::TableWindow(printer)) << "the first keeps its slot";

  CResidentProcess remove;
  ASSERT_TRUE(remove.Start("/R " + StartupArgs(driver)));
  EXPECT_EQ(0, remove.Wait(END_TIMEOUT_MS));
  EXPECT_EQ(0, first.Wait(END_TIMEOUT_MS));
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_EQ(nullptr, residentctl::TableWindow(printer)) << "the slot is empty";
  EXPECT_EQ(std::vector<std::string>(), WaitForTrayColors({})) << "the icon is gone";
  EXPECT_NE("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer)) << "closed, it keeps its entry";
}

INSTANTIATE_TEST_SUITE_P(Printers, ResidentLifecycleTest, testing::Values("prw3test", "Office Printer"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param == "prw3test" ? std::string("CupsQueue") : std::string("NameWithBlank");
                         });

class DeletedPrinterE2eTest : public E2eTest {};

TEST_F(DeletedPrinterE2eTest, NextTickRemovesStartupEntriesAndEnds) {
  const std::string printer = "prw3 doomed";
  ASSERT_NO_FATAL_FAILURE(AddPrinter(printer));
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  // The same entry for all users, naming a parameter file of its own.
  const std::string machineFile = driver.installDir + "\\O_PDOOM.TMP";
  testenv::WriteFile(machineFile, "/P \"" + printer + "\"\r\n");
  m_files.push_back(machineFile);
  m_hklmRunValues.push_back(printer);
  testenv::SetRegString(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer,
                        driver.runCommand.substr(0, driver.runCommand.find('"')) + "\"" + machineFile + "\"");

  CResidentProcess resident;
  ASSERT_TRUE(resident.Start(StartupArgs(driver)));
  HWND hWnd = WaitUntilServing(resident, printer);
  ASSERT_NE(nullptr, hWnd) << "exit code " << resident.Wait(0);
  EXPECT_EQ(GREEN, WaitForTrayColors(GREEN));

  ASSERT_TRUE(DeletePrinterByName(printer));
  const DWORD deleted = GetTickCount();
  EXPECT_EQ(0, resident.Wait(END_TIMEOUT_MS)) << "ended by the timer";
  const DWORD elapsed = GetTickCount() - deleted;
  EXPECT_LT(elapsed, TIMER_PERIOD_MS + 1000) << "at the next tick, not a later one";
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_CURRENT_USER, REG_RUN_KEY, printer));
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_LOCAL_MACHINE, REG_RUN_KEY, printer));
  EXPECT_FALSE(testenv::FileExists(driver.paramFile));
  EXPECT_FALSE(testenv::FileExists(machineFile));
  EXPECT_EQ(std::vector<std::string>(), WaitForTrayColors({}));
}

}  // namespace
}  // namespace e2e
