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
  for (REGSAM rights : std::initializer_list<REGSAM>{KEY_READ, KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY,
                                                     DELETE, KEY_WRITE, KEY_ALL_ACCESS, KEY_READ | WRITE_DAC}) {
    const LSTATUS expected = (rights & ~KEY_READ) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;  // reading only
    HKEY h = nullptr;
    EXPECT_EQ(expected, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, rights, &h)) << std::hex << rights;
    RegCloseKey(h);
    EXPECT_EQ(expected, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, rights, nullptr, &h, nullptr))
        << std::hex << rights;
    RegCloseKey(h);
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, rights, nullptr, &h, nullptr));
    RegCloseKey(h);
  }
  const BYTE data[] = "x";
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, data, 2)) << "the hive's root";
  HKEY h = nullptr;
  {
    winsim::AsAdministrator installer;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &h));
    RegCloseKey(h);
  }
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &h)) << "scope ended";
}
