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

const char kDriver[] = "prw3test";

std::string Target(const char* family, int n) {
  char name[32];
  snprintf(name, sizeof(name), "\\P%016d", n);
  return family + std::string(name);
}

// A DWORD value as its number; anything else says what it is.
std::string Dword(const std::string& key, const char* name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "no key";
  DWORD type = 0, value = 0, size = sizeof(value);
  LONG result = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(h);
  if (result != ERROR_SUCCESS) return "missing";
  if (type != REG_DWORD || size != sizeof(value)) return "type " + std::to_string(type);
  return std::to_string(value);
}

class PrinterLibraryTest : public testing::Test {
protected:
  void SetUp() override {
    testenv::DemoDriver driver = testenv::InstallDemoDriver("PrnLib Printer", kDriver);
    m_hLibrary = LoadLibraryA(driver.printerLibrary.c_str());
    ASSERT_NE(nullptr, m_hLibrary) << driver.printerLibrary << ": error " << GetLastError();
    FARPROC proc = GetProcAddress(m_hLibrary, PR_SET_REG_DEFAULT_VALUE);
    ASSERT_NE(nullptr, proc) << "error " << GetLastError();
    m_pfnSetDefaults = reinterpret_cast<PFN_PrSetRegDefaultValue>(reinterpret_cast<void (*)()>(proc));
  }
  void TearDown() override {
    if (m_hLibrary) FreeLibrary(m_hLibrary);
    testenv::UninstallDemoDriver();
  }
  int SetDefaults(const char* printer, const char* port) {
    return m_pfnSetDefaults(printer, kDriver, port, "PRW3DEMO", 0, 0, 0);
  }

  HMODULE m_hLibrary = nullptr;
  PFN_PrSetRegDefaultValue m_pfnSetDefaults = nullptr;
};

TEST_F(PrinterLibraryTest, WritesTheDefaultsIntoThePrintersTarget) {
  const std::string other = Target(REG_VQL_TARGET_KEY, 0);
  const std::string mine = Target(REG_VQL_TARGET_KEY, 1);
  const std::string samePortName = Target(REG_VQN_TARGET_KEY, 0);
  testenv::SetRegString(HKEY_CURRENT_USER, other, REG_TARGET_NAME, "Office Printer 2");
  testenv::SetRegString(HKEY_CURRENT_USER, mine, REG_TARGET_NAME, "office PRINTER");
  testenv::SetRegDword(HKEY_CURRENT_USER, mine, TRAY_ICON_SELECTED, 2);
  testenv::SetRegString(HKEY_CURRENT_USER, samePortName, REG_TARGET_NAME, "Office Printer");

  EXPECT_EQ(0, SetDefaults("Office Printer", "LPT1:"));
  EXPECT_EQ("1", Dword(mine, TRAY_ICON_ENABLE));
  EXPECT_EQ("0", Dword(mine, TRAY_ICON_SELECTED));
  for (const std::string& key : {other, samePortName}) {
    EXPECT_EQ("missing", Dword(key, TRAY_ICON_ENABLE)) << key;
    EXPECT_EQ("missing", Dword(key, TRAY_ICON_SELECTED)) << key;
  }
}

TEST_F(PrinterLibraryTest, APrinterWithoutNameIsFoundByPort) {
  const std::string byName = Target(REG_VQL_TARGET_KEY, 0);
  const std::string byPort = Target(REG_VQN_TARGET_KEY, 3);
  testenv::SetRegString(HKEY_CURRENT_USER, byName, REG_TARGET_NAME, "LPT1:");
  testenv::SetRegString(HKEY_CURRENT_USER, Target(REG_VQN_TARGET_KEY, 0), REG_TARGET_NAME, "LPT2:");
  testenv::SetRegString(HKEY_CURRENT_USER, byPort, REG_TARGET_NAME, "LPT1:");

  EXPECT_EQ(0, SetDefaults("", "lpt1:"));
  EXPECT_EQ("1", Dword(byPort, TRAY_ICON_ENABLE));
  EXPECT_EQ("0", Dword(byPort, TRAY_ICON_SELECTED));
  EXPECT_EQ("missing", Dword(byName, TRAY_ICON_ENABLE));
}

TEST_F(PrinterLibraryTest, NoTargetIsAnErrorAndWritesNothing) {
  EXPECT_NE(0, SetDefaults("Office Printer", "")) << "no family key";
  EXPECT_NE(0, SetDefaults("", "")) << "no name at all";

  const std::string other = Target(REG_VQL_TARGET_KEY, 0);
  testenv::SetRegString(HKEY_CURRENT_USER, other, REG_TARGET_NAME, "Office Printer 2");
  EXPECT_NE(0, SetDefaults("Office Printer", ""));
  EXPECT_NE(0, SetDefaults(nullptr, "Office Printer")) << "a port name looks among the port targets";
  EXPECT_EQ("missing", Dword(other, TRAY_ICON_ENABLE));
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_CURRENT_USER, Target(REG_VQL_TARGET_KEY, 1)));
  EXPECT_FALSE(testenv::RegKeyExists(HKEY_CURRENT_USER, REG_VQN_TARGET_KEY));
}

}  // namespace
