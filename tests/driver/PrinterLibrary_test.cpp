// The demo driver's printer library, loaded and called the way the resident calls it
// after making a target: it gives the target of the printer (by name, or by port for a
// printer without a name) the tray defaults, and reports a target it cannot find.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/TestRegistry.h"

namespace {

std::string Target(const char* family, int n) {
  char name[32];
  snprintf(name, sizeof(name), "\\P%016d", n);
  return family + std::string(name);
}
// The two defaults of a target ("<missing>" where absent).
std::string Defaults(const std::string& key) {
  return testenv::GetReg(HKEY_CURRENT_USER, key, TRAY_ICON_ENABLE) + " " +
         testenv::GetReg(HKEY_CURRENT_USER, key, TRAY_ICON_SELECTED);
}

TEST(PrinterLibrary, WritesTheDefaultsIntoThePrintersTargetOnly) {
  const testenv::DemoDriver driver = testenv::InstallDemoDriver("PrnLib Printer", "prw3test");
  HMODULE library = LoadLibraryA(driver.printerLibrary.c_str());
  ASSERT_NE(nullptr, library) << driver.printerLibrary << ": error " << GetLastError();
  const auto setDefaults = reinterpret_cast<PFN_PrSetRegDefaultValue>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, PR_SET_REG_DEFAULT_VALUE)));
  ASSERT_NE(nullptr, setDefaults);
  auto call = [&](const char* printer, const char* port) {
    return setDefaults(printer, "prw3test", port, "PRW3DEMO", 0, 0, 0);
  };
  EXPECT_NE(0, call("Office Printer", "")) << "no family key";
  EXPECT_NE(0, call("", "")) << "no name at all";

  const std::string other = Target(REG_VQL_TARGET_KEY, 0), mine = Target(REG_VQL_TARGET_KEY, 1);
  const std::string samePortName = Target(REG_VQN_TARGET_KEY, 0), byPort = Target(REG_VQN_TARGET_KEY, 3);
  testenv::SetRegString(HKEY_CURRENT_USER, other, REG_TARGET_NAME, "Office Printer 2");
  EXPECT_NE(0, call("Office Printer", "")) << "only a whole name matches";
  testenv::SetRegString(HKEY_CURRENT_USER, mine, REG_TARGET_NAME, "office PRINTER");
  testenv::SetRegDword(HKEY_CURRENT_USER, mine, TRAY_ICON_SELECTED, 2);
  testenv::SetRegString(HKEY_CURRENT_USER, samePortName, REG_TARGET_NAME, "Office Printer");
  EXPECT_EQ(0, call("Office Printer", "LPT1:"));
  EXPECT_EQ("1 0", Defaults(mine));
  EXPECT_EQ("<missing> <missing>", Defaults(other));
  EXPECT_EQ("<missing> <missing>", Defaults(samePortName));

  // A printer without a name is found by its port, among the port targets only.
  testenv::SetRegString(HKEY_CURRENT_USER, byPort, REG_TARGET_NAME, "LPT1:");
  testenv::SetRegString(HKEY_CURRENT_USER, Target(REG_VQL_TARGET_KEY, 2), REG_TARGET_NAME, "LPT1:");
  EXPECT_EQ(0, call("", "lpt1:"));
  EXPECT_EQ("1 0", Defaults(byPort));
  EXPECT_EQ("<missing> <missing>", Defaults(Target(REG_VQL_TARGET_KEY, 2)));
  FreeLibrary(library);
  testenv::UninstallDemoDriver();
}

}  // namespace
