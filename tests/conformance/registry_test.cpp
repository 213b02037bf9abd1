// Conformance: a registry handle allows only what it was opened for, on both platforms,
// so that a key opened for reading and then written fails natively too.
#include <windows.h>

#include <gtest/gtest.h>

TEST(RegistryConformance, AHandleAllowsOnlyWhatItWasOpenedFor) {
  const char kKey[] = "Software\\prw3test-conformance";
  HKEY hKey = nullptr, hReader = nullptr, hSetter = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
  DWORD value = 7, cb = sizeof(value);
  auto* pData = reinterpret_cast<BYTE*>(&value);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "v", 0, REG_DWORD, pData, 4));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &hReader));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &hSetter));

  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(hReader, "v", nullptr, nullptr, pData, &cb));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(hReader, "v", 0, REG_DWORD, pData, 4));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(hReader, "v"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(hSetter, "v", nullptr, nullptr, pData, &cb));
  char szName[16];
  DWORD cch = sizeof(szName);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegEnumKeyExA(hSetter, 0, szName, &cch, nullptr, nullptr, nullptr, nullptr));
  for (HKEY h : {hReader, hSetter, hKey}) RegCloseKey(h);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, kKey));
}
