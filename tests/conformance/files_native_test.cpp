// winsim's file sandbox: case-insensitive mapping, the bare-name search path, leak
// counts and Reset. Native only (test controls).
#include <windows.h>
#include <share.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestFiles.h"
#include "winsim/control.h"

namespace {

TEST(WinsimFiles, PathsMapWithoutCaseAndResetEmptiesTheSandbox) {
  winsim::WriteFileBytes("C:\\Data\\Sub\\File.TXT", "abc");
  winsim::WriteFileBytes("c:/DATA/sub/file.txt", "xyz");
  EXPECT_EQ("xyz", testenv::ReadFile("C:\\Data\\Sub\\..\\.\\sub\\FILE.txt")) << "one file, however it is spelt";

  winsim::Reset();
  EXPECT_FALSE(winsim::FileExists("C:\\Data"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\users\\user\\Temp"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\windows"));
}

TEST(WinsimFiles, FindHandlesAndStreamsAreCounted) {
  winsim::WriteFileBytes("C:\\users\\user\\Temp\\x.txt", "x");
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA("C:\\users\\user\\Temp\\*", &fd);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(1u, winsim::OpenFindHandleCount());
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h)) << "a find handle is not a kernel handle";
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_TRUE(FindClose(h));
  EXPECT_EQ(0u, winsim::OpenFindHandleCount());
  EXPECT_FALSE(FindClose(h));

  FILE* f = _fsopen("C:\\users\\user\\Temp\\x.txt", "r", _SH_DENYNO);
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(1u, winsim::OpenStreamCount());
  fclose(f);
  EXPECT_EQ(0u, winsim::OpenStreamCount());
}

TEST(WinsimFiles, OpenFileSearchesTheProgramsFolderThenTheWindowsFolders) {
  winsim::WriteFileBytes("C:\\tool.dat", "x");
  winsim::WriteFileBytes("C:\\windows\\sys.dat", "x");
  winsim::WriteFileBytes("C:\\users\\user\\Temp\\tmp.dat", "x");
  OFSTRUCT of;
  EXPECT_NE(HFILE_ERROR, OpenFile("TOOL.dat", &of, OF_EXIST));
  EXPECT_STREQ("C:\\TOOL.dat", of.szPathName);
  EXPECT_NE(HFILE_ERROR, OpenFile("sys.dat", &of, OF_EXIST));
  EXPECT_STREQ("C:\\windows\\sys.dat", of.szPathName);
  EXPECT_EQ(HFILE_ERROR, OpenFile("tmp.dat", &of, OF_EXIST));
  EXPECT_STREQ("C:\\tmp.dat", of.szPathName);
}

}  // namespace
