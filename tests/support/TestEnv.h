// The test environment: the prefix's real registry, files and printers. The helpers use
// calls the program does not make, so a hook on one of the program's imports never
// changes what a test sets up or reads back. The test entry point's listener removes what
// tests wrote under "software\OLMAR" in both hives after every test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace testenv {

// The CUPS queue scripts/test adds: port "CUPS:prw3test", driver "prw3test".
inline std::string ExistingPrinter() { return "prw3test"; }

// The display scale the run gave the prefix (PRW3_WINE_DPI), in DPI.
inline int AskedDpi() {
  const char* dpi = std::getenv("PRW3_WINE_DPI");
  return dpi ? std::atoi(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// Files. The temporary folder ends with a backslash; ReadFile gives "<missing>" for a
// file that cannot be opened.
std::string TempDir();
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
void RemoveFile(const std::string& path);

// Registry. GetReg gives "<missing>" for an absent value, a DWORD as its decimal number.
void SetRegValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size);
inline void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  SetRegValue(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}
inline void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  SetRegValue(root, key, name, REG_DWORD, &value, sizeof(value));
}
std::string GetReg(HKEY root, const std::string& key, const std::string& name);
bool RegKeyExists(HKEY root, const std::string& key);
void DeleteRegValue(HKEY root, const std::string& key, const std::string& name);
void DeleteRegTree(HKEY root, const std::string& key);

// A buffer of n bytes that ends where an inaccessible page begins: one byte read or
// written past it faults at once.
class CGuarded {
public:
  explicit CGuarded(size_t n);
  ~CGuarded();
  CGuarded(const CGuarded&) = delete;
  CGuarded& operator=(const CGuarded&) = delete;
  char* Get() const { return m_p; }
  operator char*() const { return m_p; }

private:
  void* m_pBase;
  char* m_p;
};

// A hidden top-level window, for tests that need a live handle.
HWND CreateTestWindow();

}  // namespace testenv
