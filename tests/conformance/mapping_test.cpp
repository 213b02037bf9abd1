// Conformance: the named block and the named mutex of the shared monitor table behave
// alike on both platforms.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The table marks a block empty only when its creation reported no existing one, often
// just after the table's mutex was opened as an existing one.
TEST(MappingConformance, NamedBlockIsNewAndZeroFilledUntilItsLastHandleCloses) {
  SetLastError(ERROR_ALREADY_EXISTS);
  HANDLE hFirst = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1000, "PrwConfShared");
  ASSERT_NE(nullptr, hFirst);
  EXPECT_EQ(0u, GetLastError()) << "a new block clears the last error";
  auto* pFirst = static_cast<BYTE*>(MapViewOfFile(hFirst, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(nullptr, pFirst);
  EXPECT_EQ(1000, std::count(pFirst, pFirst + 1000, 0)) << "a new block is zero-filled";
  HANDLE hSecond = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 5000, "PrwConfShared");
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_TRUE(UnmapViewOfFile(pFirst));
  for (HANDLE h : {hFirst, hSecond}) EXPECT_TRUE(CloseHandle(h));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "PrwConfShared"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(MappingConformance, NamedMutexIsSharedAndReleasedOnlyByItsOwner) {
  HANDLE hFirst = CreateMutexA(nullptr, FALSE, "PrwConfMutex");
  SetLastError(0xdeadbeef);
  HANDLE hSecond = CreateMutexA(nullptr, FALSE, "PrwConfMutex");
  ASSERT_TRUE(hFirst && hSecond);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hFirst, 5000));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hSecond, 0)) << "its owner takes it again";
  EXPECT_TRUE(ReleaseMutex(hSecond));
  EXPECT_TRUE(ReleaseMutex(hFirst));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(ReleaseMutex(hFirst)) << "a mutex not owned is not released";
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
  for (HANDLE h : {hFirst, hSecond}) CloseHandle(h);
}

}  // namespace
