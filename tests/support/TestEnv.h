// The test environment: the prefix's real registry, files and printers. The helpers use
// calls the program does not make, so a hook on one of the program's imports never
// changes what a test sets up or reads back. The test entry point's listener removes what
// tests wrote under "software\OLMAR" in both hives after every test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testenv {

// The Run key of start-up entries, in either hive.
const char kRunKey[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The CUPS queue scripts/test adds: port "CUPS:prw3test", driver "prw3test".
inline std::string ExistingPrinter() { return "prw3test"; }

// The display scale the run gave the prefix (PRW3_WINE_DPI), in DPI.
inline int AskedDpi() {
  const char* dpi = std::getenv("PRW3_WINE_DPI");
  return dpi ? std::atoi(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// Files. The temporary folder ends with a backslash; ReadFile gives "<missing>" for a
// file that cannot be opened.
inline std::string TempDir() { return std::string(std::getenv("TEMP")) + "\\"; }
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
inline void RemoveFile(const std::string& path) { std::remove(path.c_str()); }

// Registry. GetReg gives "<missing>" for an absent value, a DWORD as its decimal number.
// An empty key (a target a fault kept from being made) would be the hive's root, which
// outlives every test's clean-up: nothing there is written, read or deleted.
inline void SetRegValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data,
                        DWORD size) {
  ASSERT_FALSE(key.empty()) << name;
  EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueA(root, key.c_str(), name.c_str(), type, data, size)) << key << " " << name;
}
inline void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  SetRegValue(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}
inline void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  SetRegValue(root, key, name, REG_DWORD, &value, sizeof(value));
}
std::string GetReg(HKEY root, const std::string& key, const std::string& name);
inline bool RegKeyExists(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  const std::wstring wide(key.begin(), key.end());
  return RegOpenKeyExW(root, wide.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS && RegCloseKey(h) == ERROR_SUCCESS;
}
inline void DeleteRegValue(HKEY root, const std::string& key, const std::string& name) {
  if (!key.empty()) RegDeleteKeyValueA(root, key.c_str(), name.c_str());
}
inline void DeleteRegTree(HKEY root, const std::string& key) {
  if (!key.empty() && RegDeleteTreeA(root, key.c_str()) == ERROR_SUCCESS) RegDeleteKeyExA(root, key.c_str(), 0, 0);
}

// A buffer of n bytes that ends where an inaccessible page begins: one byte read or
// written past it faults at once.
class CGuarded {
public:
  explicit CGuarded(size_t n);
  ~CGuarded() { VirtualFree(m_pBase, 0, MEM_RELEASE); }
  CGuarded(const CGuarded&) = delete;
  CGuarded& operator=(const CGuarded&) = delete;
  char* Get() const { return m_p; }
  operator char*() const { return m_p; }

private:
  void* m_pBase;
  char* m_p;
};

// A hidden top-level window, for tests that need a live handle.
inline HWND CreateTestWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Prw3TestWindow";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace testenv
