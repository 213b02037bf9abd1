// Conformance: two views of one block lie at different addresses and share their bytes.
#include <windows.h>

#include <gtest/gtest.h>

TEST(ViewsConformance, TwoViewsOfOneBlockShareBytesAtDifferentAddresses) {
  HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, nullptr);
  auto* first = static_cast<char*>(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  auto* second = static_cast<char*>(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  first[99] = 'a';
  second[0] = 'b';
  EXPECT_EQ('a', second[99]);
  EXPECT_EQ('b', first[0]);
  EXPECT_TRUE(UnmapViewOfFile(first));
  EXPECT_TRUE(UnmapViewOfFile(second));
  CloseHandle(hMap);
}
