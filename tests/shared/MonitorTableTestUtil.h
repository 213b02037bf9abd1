// Test helpers for the shared monitor table: a peer's view of a block by name, read and
// written at the documented offsets with plain Win32 calls.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shared/MonitorTable.h"
#include "support/TestWindow.h"

namespace monitortest {

const int ENTRY_COUNT = 500;
const DWORD PLACEHOLDER = 0xFFFFFFFF;
// Entry size and the offsets of wReserved and the slots of kinds 1/2, 0 and 3.
struct Layout {
  const char* szBlock;
  int cbEntry, offReserved, offKind12, offKind0, offKind3;
};
const Layout BLOCK1 = {"PrwV3MapFile", 274, 260, 262, 266, 270};
const Layout BLOCK2 = {"PrwV3MapFile2", 534, 520, 522, 526, 530};

inline bool BlockExists(const Layout& layout) {
  HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, layout.szBlock);
  if (h) CloseHandle(h);
  return h != nullptr;
}
inline DWORD HwndValue(HWND hWnd) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd)); }

// Opens an existing block and maps it whole, as another program would.
class CPeerBlock {
public:
  explicit CPeerBlock(const Layout& layout) : m_layout(layout) {
    m_hMap = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, layout.szBlock);
    if (m_hMap) m_pBase = static_cast<BYTE*>(MapViewOfFile(m_hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  }
  ~CPeerBlock() {
    if (m_pBase) UnmapViewOfFile(m_pBase);
    if (m_hMap) CloseHandle(m_hMap);
  }
  bool IsOpen() const { return m_pBase != nullptr; }
  BYTE* Entry(int i) const { return m_pBase + i * m_layout.cbEntry; }
  BYTE FirstByte(int i) const { return Entry(i)[0]; }
  // The name as far as its terminator within the name field and wReserved's first byte.
  std::string Name(int i) const {
    const char* p = reinterpret_cast<const char*>(Entry(i));
    return std::string(p, strnlen(p, m_layout.offReserved + 1));
  }
  DWORD Dword(int i, int offset) const {
    DWORD v;
    memcpy(&v, Entry(i) + offset, sizeof(v));
    return v;
  }
  DWORD Kind3(int i) const { return Dword(i, m_layout.offKind3); }
  // "name reserved kind12 kind0 kind3", the numbers in hex.
  std::string Show(int i) const {
    const unsigned slots[] = {Dword(i, m_layout.offKind12), Dword(i, m_layout.offKind0), Kind3(i)};
    char sz[64];
    snprintf(sz, sizeof(sz), " %X %X %X %X", Entry(i)[m_layout.offReserved] | Entry(i)[m_layout.offReserved + 1] << 8,
             slots[0], slots[1], slots[2]);
    return Name(i) + sz;
  }
  void SetDword(int i, int offset, DWORD v) { memcpy(Entry(i) + offset, &v, sizeof(v)); }
  // Writes an occupied entry as a peer would: the name, wReserved 0 and the three slots.
  void Write(int i, const std::string& name, DWORD kind12, DWORD kind0, DWORD kind3) {
    memset(Entry(i), 0, m_layout.offKind12);
    memcpy(Entry(i), name.data(), name.size());
    SetDword(i, m_layout.offKind12, kind12);
    SetDword(i, m_layout.offKind0, kind0);
    SetDword(i, m_layout.offKind3, kind3);
  }
  std::vector<BYTE> Snapshot() const { return std::vector<BYTE>(m_pBase, m_pBase + ENTRY_COUNT * m_layout.cbEntry); }

private:
  Layout m_layout;
  HANDLE m_hMap = nullptr;
  BYTE* m_pBase = nullptr;
};

// Holds the mapping handles registration hands out (they keep the blocks alive) and the
// windows a test creates; closing them all must make the blocks vanish.
class CTableTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(BlockExists(BLOCK1) || BlockExists(BLOCK2)) << "another process holds a block";
  }
  void TearDown() override {
    for (HANDLE h : m_handles) CloseHandle(h);
    for (HWND h : m_windows) DestroyWindow(h);
    EXPECT_FALSE(BlockExists(BLOCK1) || BlockExists(BLOCK2)) << "a handle to a block was left open";
  }
  // Registers and keeps the mapping handle; *phOther gets the window handed back.
  int Register(const std::string& name1, const std::string& name2, int kind, DWORD value, HWND* phOther = nullptr) {
    HWND hOther = reinterpret_cast<HWND>(1);
    HANDLE hMap = reinterpret_cast<HANDLE>(1);
    const int result = RegisterMonitorWindow(name1.c_str(), name2.c_str(), kind, value, &hOther, &hMap);
    if (hMap) m_handles.push_back(hMap);
    m_hLastMap = hMap;
    if (phOther) *phOther = hOther;
    return result;
  }
  HWND NewWindow() {
    m_windows.push_back(testenv::CreateTestWindow());
    return m_windows.back();
  }

  std::vector<HANDLE> m_handles;
  std::vector<HWND> m_windows;
  HANDLE m_hLastMap = nullptr;
};

}  // namespace monitortest
