// Conformance: named paging-file mappings, the named mutex, and the window classes and
// look-ups the shared monitor table relies on behave alike on both platforms.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/TestWindow.h"

namespace {

HANDLE CreateBlock(LPCSTR szName, DWORD cb) {
  return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, cb, szName);
}

TEST(MappingConformance, NamedBlocksAreSharedByExactName) {
  SetLastError(0xdeadbeef);
  HANDLE hFirst = CreateBlock("PrwConfShared", 1000);
  ASSERT_NE(nullptr, hFirst);
  EXPECT_EQ(0u, GetLastError()) << "a new block clears the last error";

  auto* pFirst = static_cast<BYTE*>(MapViewOfFile(hFirst, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(nullptr, pFirst);
  std::vector<BYTE> zeros(1000, 0);
  EXPECT_EQ(0, memcmp(pFirst, zeros.data(), zeros.size())) << "a new block is zero-filled";
  pFirst[999] = 0x5A;

  // Opening an existing name keeps the existing block, whatever size is asked for.
  SetLastError(0xdeadbeef);
  HANDLE hSecond = CreateBlock("PrwConfShared", 5000);
  ASSERT_NE(nullptr, hSecond);
  EXPECT_NE(hFirst, hSecond);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  auto* pSecond = static_cast<BYTE*>(MapViewOfFile(hSecond, FILE_MAP_ALL_ACCESS, 0, 0, 1000));
  ASSERT_NE(nullptr, pSecond);
  EXPECT_EQ(0x5A, pSecond[999]);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, MapViewOfFile(hSecond, FILE_MAP_ALL_ACCESS, 0, 0, 5000));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

  HANDLE hOpened = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "PrwConfShared");
  ASSERT_NE(nullptr, hOpened);
  auto* pOpened = static_cast<BYTE*>(MapViewOfFile(hOpened, FILE_MAP_ALL_ACCESS, 0, 0, 1000));
  ASSERT_NE(nullptr, pOpened);
  EXPECT_EQ(0x5A, pOpened[999]);

  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "PrwConfMissing"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  for (BYTE* p : {pFirst, pSecond, pOpened}) EXPECT_TRUE(UnmapViewOfFile(p));
  for (HANDLE h : {hFirst, hSecond, hOpened}) EXPECT_TRUE(CloseHandle(h));
}

TEST(MappingConformance, ViewSizeLimits) {
  HANDLE hMap = CreateBlock("PrwConfViews", 1000);
  ASSERT_NE(nullptr, hMap);
  SetLastError(0xdeadbeef);
  void* pExact = MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 1000);
  EXPECT_NE(nullptr, pExact);
  // The block is rounded up to whole pages: a view may end inside the last page...
  void* pPage = MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 4096);
  EXPECT_NE(nullptr, pPage);
  EXPECT_EQ(0xdeadbeefu, GetLastError()) << "mapping leaves the last error alone";
  // ...but not beyond it.
  EXPECT_EQ(nullptr, MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 4097));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

  EXPECT_TRUE(UnmapViewOfFile(pExact));
  EXPECT_TRUE(UnmapViewOfFile(pPage));
  EXPECT_TRUE(CloseHandle(hMap));
}

TEST(MappingConformance, NameGoesWithLastHandleViewsKeepTheMemory) {
  HANDLE hFirst = CreateBlock("PrwConfLifetime", 1000);
  HANDLE hSecond = CreateBlock("PrwConfLifetime", 1000);
  ASSERT_NE(nullptr, hFirst);
  ASSERT_NE(nullptr, hSecond);
  auto* pOld = static_cast<BYTE*>(MapViewOfFile(hFirst, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(nullptr, pOld);
  pOld[0] = 0x42;

  EXPECT_TRUE(CloseHandle(hFirst));
  HANDLE hStill = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "PrwConfLifetime");
  EXPECT_NE(nullptr, hStill) << "one handle is left";
  EXPECT_TRUE(CloseHandle(hStill));
  EXPECT_TRUE(CloseHandle(hSecond));

  // The view still works, but the name is gone with the last handle.
  EXPECT_EQ(0x42, pOld[0]);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "PrwConfLifetime"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  SetLastError(0xdeadbeef);
  HANDLE hNew = CreateBlock("PrwConfLifetime", 1000);
  ASSERT_NE(nullptr, hNew);
  EXPECT_EQ(0u, GetLastError()) << "a fresh block, not the one the view holds";
  auto* pNew = static_cast<BYTE*>(MapViewOfFile(hNew, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(nullptr, pNew);
  EXPECT_EQ(0, pNew[0]);

  EXPECT_TRUE(UnmapViewOfFile(pOld));
  EXPECT_TRUE(UnmapViewOfFile(pNew));
  EXPECT_TRUE(CloseHandle(hNew));
}

TEST(WindowConformance, ClassesAndFindWindow) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "PrwConfRecording";
  ASSERT_NE(0, RegisterClassA(&wc));
  wc.lpszClassName = "PRWCONFRECORDING";
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, RegisterClassA(&wc)) << "class names ignore case";
  EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());

  HWND hWnd = CreateWindowExA(0, "prwconfrecording", "Recording", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, hWnd);
  char szClass[32];
  EXPECT_EQ(16, GetClassNameA(hWnd, szClass, sizeof(szClass)));
  EXPECT_STREQ("PrwConfRecording", szClass) << "the registered spelling";
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, GetClassNameA(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), szClass, sizeof(szClass)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());

  // Class and title are both matched without regard to case.
  EXPECT_EQ(hWnd, FindWindowA("PRWCONFRECORDING", "recording"));
  EXPECT_EQ(hWnd, FindWindowA(nullptr, "RECORDING"));
  EXPECT_EQ(nullptr, FindWindowA("PrwConfRecording", "Recording2"));
  EXPECT_TRUE(DestroyWindow(hWnd));
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_EQ(nullptr, FindWindowA("PrwConfRecording", "Recording"));
  EXPECT_FALSE(DestroyWindow(hWnd));
}

TEST(WindowConformance, HandlesSurviveA32BitRoundTrip) {
  HWND hWnd = testenv::CreateTestWindow("PrwConf RoundTrip");
  ASSERT_NE(nullptr, hWnd);
  const ULONG_PTR uValue = reinterpret_cast<ULONG_PTR>(hWnd);
  EXPECT_EQ(uValue, static_cast<ULONG_PTR>(static_cast<DWORD>(uValue))) << "fits in 32 bits: " << uValue;

  const DWORD dwStored = static_cast<DWORD>(uValue);
  HWND hBack = reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(dwStored)));
  EXPECT_EQ(hWnd, hBack);
  EXPECT_TRUE(IsWindow(hBack));
  // The all-ones placeholder is no window, widened either way.
  EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(0xFFFFFFFF)))));
  EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xFFFFFFFFu))));
  EXPECT_FALSE(IsWindow(nullptr));

  EXPECT_TRUE(DestroyWindow(hWnd));
  EXPECT_FALSE(IsWindow(hBack));
  HWND hNext = testenv::CreateTestWindow("PrwConf RoundTrip");
  ASSERT_NE(nullptr, hNext);
  EXPECT_NE(hWnd, hNext) << "a destroyed window's handle is not given out again at once";
  EXPECT_TRUE(DestroyWindow(hNext));
}

TEST(MappingConformance, NamedMutexIsSharedAndReleasedOnlyByItsOwner) {
  HANDLE hFirst = CreateMutexA(nullptr, FALSE, "PrwConfMutex");
  ASSERT_NE(nullptr, hFirst);
  SetLastError(0xdeadbeef);
  HANDLE hSecond = CreateMutexA(nullptr, FALSE, "PrwConfMutex");
  ASSERT_NE(nullptr, hSecond);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hFirst, 5000));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hSecond, 0)) << "its owner takes it again";
  EXPECT_TRUE(ReleaseMutex(hSecond));
  EXPECT_TRUE(ReleaseMutex(hFirst));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(ReleaseMutex(hFirst)) << "a mutex not owned is not released";
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
  CloseHandle(hSecond);
  CloseHandle(hFirst);
}

}  // namespace
