// A bare INI file name when the Windows folder cannot be had: no folder, no path.
#include "profile/DriverPaths.h"

#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(DriverPathsNative, BareIniNameWithoutAWindowsFolderGivesNoPath) {
  winsim::InjectFault("GetWindowsDirectoryA", ERROR_ACCESS_DENIED);
  char sz[MAX_PATH] = "-";
  EXPECT_FALSE(GetIniFileDir("prw3test_bare.ini", sz));
  EXPECT_STREQ("-", sz);
}

}  // namespace
