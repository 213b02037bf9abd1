// winsim's registry controls: .reg import, denied access as for a user without
// administrative rights, open-handle counting and fault injection.
#include <windows.h>

#include <gtest/gtest.h>

#include "winsim/control.h"

#include <string>

namespace {

const char kRun[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A value's bytes as RegQueryValueExA returns them, with its type.
std::string Value(HKEY hive, const char* path, const char* name, DWORD* type = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char data[64];
  DWORD cb = sizeof data;
  LSTATUS e = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &cb);
  RegCloseKey(key);
  return e == ERROR_SUCCESS ? std::string(data, cb) : "<missing>";
}
// A string with its terminator, as REG_SZ data.
std::string Sz(const std::string& s) { return s + '\0'; }

TEST(RegistryControls, ImportsRegText) {
  std::string error;
  ASSERT_TRUE(winsim::ImportRegText(R"(REGEDIT4

; comment
[HKEY_LOCAL_MACHINE\SOFTWARE\OLMAR\PRW3\Driver\Demo Printer]
"ModelID"="M100"
"InstallPath"="C:\\Drivers\\Demo \"q\""
@="default"
"Flags"=dword:0000002a
"Paths"=hex(7):61,00,62,00,\
  00
"Gone"="soon"
"Gone"=-
[HKCU\Scratch\Deep]
[-HKEY_CURRENT_USER\Scratch]
)",
                                    &error))
      << error;
  const char driver[] = "software\\olmar\\prw3\\driver\\DEMO PRINTER";
  DWORD type = 0;
  EXPECT_EQ(Sz("M100"), Value(HKEY_LOCAL_MACHINE, driver, "modelid", &type));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(Sz("C:\\Drivers\\Demo \"q\""), Value(HKEY_LOCAL_MACHINE, driver, "InstallPath"));
  EXPECT_EQ(Sz("default"), Value(HKEY_LOCAL_MACHINE, driver, ""));
  EXPECT_EQ(42u, winsim::ReadRegDword(HKEY_LOCAL_MACHINE, driver, "Flags"));
  EXPECT_EQ(Sz(std::string("a\0b\0", 4)), Value(HKEY_LOCAL_MACHINE, driver, "Paths", &type));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  EXPECT_EQ("<missing>", Value(HKEY_LOCAL_MACHINE, driver, "Gone"));
  EXPECT_FALSE(winsim::KeyExists(HKEY_CURRENT_USER, "Scratch"));

  // Version 5 files hold string types in UTF-16; the hive holds the ANSI form.
  ASSERT_TRUE(winsim::ImportRegText("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K]\r\n"
                                    "\"Exp\"=hex(2):25,00,54,00,25,00,ac,20,00,00\r\n"));
  EXPECT_EQ(Sz("%T%\x80"), Value(HKEY_CURRENT_USER, "K", "Exp"));
}

TEST(RegistryControls, ImportErrorsNameTheLine) {
  const char* cases[][2] = {
      {"[HKEY_CURRENT_USER\\K]\n", "line 1: expected REGEDIT4"},
      {"REGEDIT4\n\"v\"=\"x\"\n", "line 2: value outside a key section"},
      {"REGEDIT4\n[HKEY_USERS\\K]\n", "line 2: unsupported root key HKEY_USERS"},
      {"REGEDIT4\n[HKCU\\K]\n\"v\"=\"a\\nb\"\n", "line 3: unknown escape"},
      {"REGEDIT4\n[HKCU\\K]\n\"v\"=dword:123456789\n", "line 3: dword needs"},
      {"REGEDIT4\n[HKCU\\K]\n\"v\"=hex:01,\\\n  2\n\"w\"=-\n", "line 3: expected two hex digits"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(winsim::ImportRegText(c[0], &error)) << c[0];
    EXPECT_EQ(0u, error.find(c[1])) << c[0] << " gave: " << error;
  }
}

TEST(RegistryControls, DeniedRightsActAsAUserWithoutAdministrativeRights) {
  ASSERT_TRUE(winsim::ImportRegText(std::string("REGEDIT4\n[HKLM\\") + kRun + "]\n\"Office\"=\"x\"\n[HKCU\\" + kRun +
                                    "]\n[HKLM\\SoftwareX]\n"));
  HKEY early = nullptr;  // opened before the rule: keeps its rights
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, KEY_ALL_ACCESS, &early));
  winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, "software", KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE);

  HKEY key = reinterpret_cast<HKEY>(0x1234);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, KEY_ALL_ACCESS, &key));
  EXPECT_EQ(nullptr, key);
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, KEY_READ, &key));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New\\Deeper", 0, nullptr, 0,
                                                 KEY_READ, nullptr, &key, nullptr));
  EXPECT_FALSE(winsim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRun));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(early, "Office"));
  RegCloseKey(early);

  // Neither a sibling whose name only starts alike nor the other hive is affected.
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SoftwareX", 0, KEY_ALL_ACCESS, &key));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kRun, 0, KEY_ALL_ACCESS, &key));
  RegCloseKey(key);
}

TEST(RegistryControls, CountsOpenKeyHandles) {
  HKEY a = nullptr, b = nullptr, root = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "K", 0, nullptr, 0, KEY_READ, nullptr, &a, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(a, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &b, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &root));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(a, "Missing", 0, KEY_READ, &root));
  EXPECT_EQ(2u, winsim::OpenKeyCount()) << "predefined keys and failed opens count nothing";
  // Deleting a key does not close its handles.
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(a, "Sub"));
  EXPECT_EQ(2u, winsim::OpenKeyCount());
  RegCloseKey(b);
  EXPECT_EQ(1u, winsim::OpenKeyCount());

  winsim::Reset();
  EXPECT_EQ(0u, winsim::OpenKeyCount());
  EXPECT_FALSE(winsim::KeyExists(HKEY_CURRENT_USER, "K"));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(a));
}

TEST(RegistryControls, InjectedFaultsAreReturnedNotSet) {
  ASSERT_TRUE(winsim::ImportRegText("REGEDIT4\n[HKEY_CURRENT_USER]\n\"v\"=dword:00000001\n[HKCU\\K]\n"));
  winsim::InjectFault("RegQueryValueExA", ERROR_OUTOFMEMORY, 2);
  DWORD value = 0, cb = sizeof value;
  SetLastError(0xdeadbeef);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &cb));
  EXPECT_EQ(ERROR_OUTOFMEMORY, RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &cb));
  EXPECT_EQ(0xdeadbeefu, GetLastError());
  winsim::InjectFault("RegOpenKeyExA", ERROR_ACCESS_DENIED);
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &key));
  EXPECT_EQ(0u, winsim::OpenKeyCount());
}

}  // namespace
