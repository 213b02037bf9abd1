// A standard user's registry: HKEY_LOCAL_MACHINE is read-only, HKEY_CURRENT_USER is not.
// Windows refuses a standard user write access to the machine's keys ("applications ...
// run by standard users ... fail due to insufficient access rights"; the redirection that
// once hid this is not done for 64-bit or manifested programs), so natively only.
#include <windows.h>

#include <gtest/gtest.h>

#include "winsim/control.h"

TEST(StandardUserNative, MachineKeysRefuseEveryWriteRightAndAdministratorScopeLiftsIt) {
  const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  ASSERT_TRUE(winsim::ImportRegText("REGEDIT4\n[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n"));
  winsim::SetAdministrator(false);
  const struct {
    REGSAM rights;
    LSTATUS expected;
  } kCases[] = {{KEY_READ, ERROR_SUCCESS},          {KEY_QUERY_VALUE, ERROR_SUCCESS},
                {KEY_SET_VALUE, ERROR_ACCESS_DENIED}, {KEY_CREATE_SUB_KEY, ERROR_ACCESS_DENIED},
                {DELETE, ERROR_ACCESS_DENIED},        {KEY_WRITE, ERROR_ACCESS_DENIED},
                {KEY_ALL_ACCESS, ERROR_ACCESS_DENIED}, {KEY_READ | WRITE_DAC, ERROR_ACCESS_DENIED}};
  for (const auto& c : kCases) {
    HKEY h = nullptr;
    EXPECT_EQ(c.expected, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, c.rights, &h)) << std::hex << c.rights;
    if (h) RegCloseKey(h);
    EXPECT_EQ(c.expected, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, c.rights, nullptr, &h, nullptr))
        << std::hex << c.rights;
    if (h) RegCloseKey(h);
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, c.rights, nullptr, &h, nullptr));
    RegCloseKey(h);
  }
  const BYTE data[] = "x";
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, data, 2));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey));
  {
    winsim::AsAdministrator installer;
    HKEY h = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &h));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "Printer", 0, REG_SZ, data, 2));
    RegCloseKey(h);
  }
  EXPECT_FALSE(winsim::IsAdministrator());
  HKEY h = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &h));
}
