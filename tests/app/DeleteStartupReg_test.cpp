// Removing a printer's start-up entry from HKCU's Run key: by the printer's name, or,
// for a printer without one, the first value whose data names its parameter file.
#include "app/InitInstance.h"

#include "support/TestRegistry.h"

#include <gtest/gtest.h>

namespace {

const char kRun[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

class DeleteStartupRegTest : public testing::Test {
protected:
  void Set(const std::string& name, const std::string& data) {
    testenv::SetRegString(HKEY_CURRENT_USER, kRun, name, data);
    m_names.push_back(name);
  }
  bool Has(const std::string& name) { return testenv::GetReg(HKEY_CURRENT_USER, kRun, name) != "<missing>"; }
  void TearDown() override {
    for (const std::string& name : m_names) testenv::DeleteRegValue(HKEY_CURRENT_USER, kRun, name);
  }
  std::vector<std::string> m_names;
};

TEST_F(DeleteStartupRegTest, ByNameOrByTheFirstValueNamingTheParameterFile) {
  Set("prw3 Office Printer", "C:\\PRW3\\prw3tray.exe /A \"C:\\PRW3\\O_P1A.TMP\"");
  Set("prw3 Other Printer", "C:\\PRW3\\prw3tray.exe /A \"C:\\PRW3\\O_P2B.TMP\"");
  DeleteStartupReg("PRW3 office printer", "C:\\PRW3\\O_P2B.TMP");
  EXPECT_FALSE(Has("prw3 Office Printer")) << "the value named after the printer, in any letter case";
  EXPECT_TRUE(Has("prw3 Other Printer")) << "the file name is not looked at when the printer has a name";

  // No printer name: the first value whose data holds the file name, and only that one.
  Set("prw3 Port 1", "C:\\PRW3\\prw3tray.exe /A \"C:\\PRW3\\O_P3C.TMP\"");
  Set("prw3 Port 2", "C:\\PRW3\\prw3tray.exe /A \"C:\\PRW3\\O_P3C.TMP\"");
  Set("prw3 Long", std::string(300, 'x') + "O_P3C.TMP");
  DeleteStartupReg("", "O_P3C.TMP");
  EXPECT_NE(Has("prw3 Port 1"), Has("prw3 Port 2"));
  EXPECT_TRUE(Has("prw3 Long")) << "data beyond 260 bytes cannot be read and is passed over";
  EXPECT_TRUE(Has("prw3 Other Printer"));

  // The search is case-sensitive; with no name and no file nothing is deleted.
  DeleteStartupReg("", "o_p2b.tmp");
  DeleteStartupReg("", "");
  EXPECT_TRUE(Has("prw3 Other Printer"));
}

}  // namespace
