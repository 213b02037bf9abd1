// Registry helpers for tests on both platforms.
#include "support/TestRegistry.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>


namespace testenv {

void SetRegValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data,
                 DWORD size) {
  CInstallerRights installer;
  HKEY h = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                           nullptr, &h, nullptr))
      << key;
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExA(h, name.c_str(), 0, type, static_cast<const BYTE*>(data), size))
      << key << " " << name;
  RegCloseKey(h);
}

void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  SetRegValue(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  SetRegValue(root, key, name, REG_DWORD, &value, sizeof(value));
}

std::string GetReg(HKEY root, const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<missing>";
  DWORD type = 0, size = 0;
  std::string result = "<missing>";
  if (RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string data(size + 1, '\0');
    RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    DWORD v = 0;
    memcpy(&v, data.data(), size == 4 ? 4 : 0);
    result = type == REG_DWORD && size == 4 ? std::to_string(v) : data.substr(0, data.find_last_not_of('\0') + 1);
  }
  RegCloseKey(h);
  return result;
}

bool RegKeyExists(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

void DeleteRegValue(HKEY root, const std::string& key, const std::string& name) {
  CInstallerRights installer;
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
  RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
}

bool DeleteRegTree(HKEY root, const std::string& key) {
  CInstallerRights installer;
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return false;
  char name[MAX_PATH];
  bool ok = true;
  for (;;) {
    DWORD cch = sizeof(name);
    if (RegEnumKeyExA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!DeleteRegTree(root, key + "\\" + name)) {
      ok = false;
      break;
    }
  }
  RegCloseKey(h);
  return ok && RegDeleteKeyA(root, key.c_str()) == ERROR_SUCCESS;
}

}  // namespace testenv
