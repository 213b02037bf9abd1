// Touching an unmapped view, or past the end of a block, faults natively: on Windows
// UnmapViewOfFile takes the view out of the process's address space, so a stale pointer
// raises an access violation (a block's last page may stay reachable there; winsim is
// stricter and guards the byte after the block, as the fuzz target relies on).
#include <windows.h>

#include <gtest/gtest.h>

TEST(ViewsNativeDeathTest, StalePointerAndTouchPastTheBlockFault) {
  HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, nullptr);
  auto* view = static_cast<volatile char*>(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(nullptr, view);
  view[99] = 'a';
  EXPECT_DEATH(view[100] = 'x', "");
  auto* other = static_cast<volatile char*>(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  UnmapViewOfFile(const_cast<char*>(view));
  EXPECT_EQ('a', other[99]);
  EXPECT_DEATH(view[0] = 'x', "");
  EXPECT_DEATH((void)view[99], "");
  UnmapViewOfFile(const_cast<char*>(other));
  CloseHandle(hMap);
}
