// The start-up entry the installer writes, run as the system runs it at log-on: its data
// as one command line, whose start (the install folder's blank-free short name) picks the
// resident installed beside the driver's files. scripts/demo starts the resident so.
#include "e2e/E2eTest.h"

#include <utility>

namespace e2e {
namespace {

// Removes the installed copy of the resident once every process using it has ended.
class CInstalledFile {
public:
  explicit CInstalledFile(std::string path) : m_path(std::move(path)) {}
  ~CInstalledFile() { DeleteFileA(m_path.c_str()); }
  CInstalledFile(const CInstalledFile&) = delete;
  CInstalledFile& operator=(const CInstalledFile&) = delete;
  const std::string& Path() const { return m_path; }

private:
  std::string m_path;
};

class StartupEntryTest : public E2eTest {};

TEST_F(StartupEntryTest, RunValueStartsTheInstalledResidentAndItsRemoveFormClosesIt) {
  const std::string printer = testenv::ExistingPrinter();
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(printer, printer);
  ASSERT_FALSE(HasFailure());
  const CInstalledFile installed(driver.installDir + "\\" + testenv::DemoPackageParam("RESIDENT_EXE"));
  ASSERT_TRUE(CopyFileA(ResidentProgram().c_str(), installed.Path().c_str(), FALSE)) << GetLastError();
  const std::string program = driver.runCommand.substr(0, driver.runCommand.find(" /A \""));
  ASSERT_NE(driver.runCommand, program) << "the entry hands over its parameter file with /A";
  EXPECT_EQ(std::string::npos, program.find(' ')) << "unquoted, the program's path must be blank-free";

  CResidentProcess resident;
  ASSERT_TRUE(resident.StartCommandLine(driver.runCommand)) << driver.runCommand << ": error " << GetLastError();
  HWND hWnd = WaitUntilServing(resident, printer);
  ASSERT_NE(nullptr, hWnd) << driver.runCommand << ": exit code " << resident.Wait(0);
  EXPECT_EQ(std::vector<std::string>{"green"}, WaitForTrayColors({"green"}));
  EXPECT_TRUE(testenv::FileExists(driver.paramFile)) << "an /A file is kept for the next log-on";

  CResidentProcess remover;
  ASSERT_TRUE(remover.StartCommandLine(driver.runCommand + " /R"));
  EXPECT_EQ(0, remover.Wait(END_TIMEOUT_MS));
  EXPECT_EQ(0, resident.Wait(END_TIMEOUT_MS));
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_EQ(nullptr, residentctl::TableWindow(printer));
}

}  // namespace
}  // namespace e2e
