// A bare INI file name when the Windows folder cannot be had: no folder, no path. And a
// standard user, who cannot store the paths back, still gets them.
#include "profile/DriverPaths.h"

#include "profile/DriverFolder.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(DriverPathsNative, BareIniNameWithoutAWindowsFolderGivesNoPath) {
  winsim::InjectFault("GetWindowsDirectoryA", ERROR_ACCESS_DENIED);
  char sz[MAX_PATH] = "-";
  EXPECT_FALSE(GetIniFileDir("prw3test_bare.ini", sz));
  EXPECT_STREQ("-", sz);
}

TEST(DriverPathsNative, StandardUserFindsThePathsItCannotStoreBack) {
  profiletest::CDriverFolder folder;
  folder.WriteIni("[Install]\r\nDRVNAME=Drv1\r\n");
  const std::string program = folder.Write("O_P10RN1.EXE");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, profiletest::kDriverKey, "ModelID", "X1");
  char sz[MAX_PATH] = "";
  EXPECT_TRUE(GetInstallDir(sz, "Drv1", "X1"));
  EXPECT_STREQ("C:\\prw3test\\Drv\\", sz);
  EXPECT_TRUE(GetStatusProgramPath(sz, "Drv1", "X1"));
  EXPECT_EQ(program, sz);
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_LOCAL_MACHINE, profiletest::kDriverKey, "O_PRUN"));
}

}  // namespace
