// winsim's file sandbox: case-insensitive mapping, the current and program folders,
// denied paths, leak counts and Reset. Native only (test controls).
#include <windows.h>
#include <share.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "winsim/control.h"

namespace {

TEST(WinsimFiles, PathsMapWithoutCaseAndResetEmptiesTheSandbox) {
  winsim::WriteFileBytes("C:\\Data\\Sub\\File.TXT", "abc");
  EXPECT_EQ(winsim::HostPath("C:\\Data\\Sub\\File.TXT"), winsim::HostPath("c:/DATA/sub/file.txt"));
  std::string bytes;
  ASSERT_TRUE(winsim::ReadFileBytes("c:\\data\\SUB\\file.txt", bytes));
  EXPECT_EQ("abc", bytes);

  winsim::SetCurrentFolder("C:\\Data\\Sub");
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA("file.txt"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA("..\\.\\sub\\FILE.txt"));

  winsim::Reset();
  EXPECT_FALSE(winsim::FileExists("C:\\Data"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("file.txt"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\users\\user\\Temp"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\windows"));
}

TEST(WinsimFiles, DeniedPathsFailWithAccessDenied) {
  winsim::WriteFileBytes("C:\\Locked\\a.ini", "[S]\r\nk=v\r\n");
  winsim::DenyWrite("C:\\Locked");
  errno = 0;
  EXPECT_EQ(nullptr, _fsopen("C:\\Locked\\new.txt", "a+", _SH_DENYNO));
  EXPECT_EQ(EACCES, errno);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileA("C:\\Locked\\a.ini"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "w", "C:\\Locked\\a.ini"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

  winsim::DenyRead("C:\\Locked\\a.ini");
  errno = 0;
  EXPECT_EQ(nullptr, _fsopen("C:\\Locked\\a.ini", "rt", _SH_DENYNO));
  EXPECT_EQ(EACCES, errno);
  OFSTRUCT of;
  EXPECT_EQ(HFILE_ERROR, OpenFile("C:\\Locked\\a.ini", &of, OF_EXIST));
  EXPECT_EQ(ERROR_ACCESS_DENIED, of.nErrCode);
  char value[8];
  EXPECT_EQ(1u, GetPrivateProfileStringA("S", "k", "d", value, sizeof(value), "C:\\Locked\\a.ini"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
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

TEST(WinsimFiles, OpenFileSearchesProgramCurrentAndWindowsFolders) {
  winsim::SetMainModulePath("C:\\App\\prw3tray.exe");
  winsim::SetCurrentFolder("C:\\Work");
  winsim::WriteFileBytes("C:\\App\\tool.dat", "x");
  winsim::WriteFileBytes("C:\\Work\\cur.dat", "x");
  winsim::WriteFileBytes("C:\\windows\\sys.dat", "x");
  winsim::WriteFileBytes("C:\\users\\user\\Temp\\tmp.dat", "x");
  OFSTRUCT of;
  struct Case {
    const char* name;
    const char* path;
  } cases[] = {{"TOOL.dat", "C:\\App\\TOOL.dat"}, {"cur.dat", "C:\\Work\\cur.dat"}, {"sys.dat", "C:\\windows\\sys.dat"}};
  for (const Case& c : cases) {
    EXPECT_NE(HFILE_ERROR, OpenFile(c.name, &of, OF_EXIST)) << c.name;
    EXPECT_STREQ(c.path, of.szPathName);
  }
  EXPECT_EQ(HFILE_ERROR, OpenFile("tmp.dat", &of, OF_EXIST));
  EXPECT_STREQ("C:\\Work\\tmp.dat", of.szPathName);
}

}  // namespace
