// Conformance: the library calls' failures and GetModuleFileNameA's truncation behave
// alike over winsim and under Wine (the executable's own path serves as the name).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ModulesConformance, FailuresOfTheLibraryCalls) {
  for (const char* name : {"C:\\prw3-no-such-dir\\NOLIB.DLL", "prw3-no-such-lib.dll", ""}) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadLibraryA(name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError()) << name;
  }
}

TEST(ModulesConformance, GetModuleFileNameTruncation) {
  char full[MAX_PATH];
  SetLastError(0xdeadbeef);
  DWORD len = GetModuleFileNameA(nullptr, full, sizeof full);
  ASSERT_GT(len, 3u);
  EXPECT_EQ(std::strlen(full), len);
  EXPECT_EQ(0u, GetLastError()) << "success clears the last error";

  // One short of the terminator: the size with ERROR_INSUFFICIENT_BUFFER; whether the cut
  // path ends with a zero differs between Windows versions.
  char cut[MAX_PATH];
  std::memset(cut, '#', sizeof cut);
  EXPECT_EQ(len, GetModuleFileNameA(nullptr, cut, len));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(std::string(full, len - 1), std::string(cut, len - 1));
  EXPECT_EQ('#', cut[len]) << "written past the buffer";
}
