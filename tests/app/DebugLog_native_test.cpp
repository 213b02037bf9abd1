// The debug log's tick column at the limits of the 32-bit count, and a log file that
// cannot be opened for a while.
#include "app/DebugLog.h"

#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

std::string LogLineFor(DWORD tick) {
  winsim::SetTickCount(tick);
  testenv::RemoveFile("C:\\O_PxxIC.LOG");
  EXPECT_EQ(1, DebugLogWrite("x"));
  return testenv::ReadFile("C:\\O_PxxIC.LOG");
}

TEST(DebugLogNative, TickIsPrintedAsASigned32BitNumberInTenColumns) {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLMAR\\PRW3\\Debug", "O_PIC", 1);
  ASSERT_EQ(1, DebugLogInit("C:\\O_PxxIC.LOG", "O_PIC"));
  EXPECT_EQ("         0 : x\r\n", LogLineFor(0));
  EXPECT_EQ("2147483647 : x\r\n", LogLineFor(0x7FFFFFFF));
  // After 24.8 days of uptime the count turns negative, and the field grows.
  EXPECT_EQ("-2147483648 : x\r\n", LogLineFor(0x80000000));
  EXPECT_EQ("        -1 : x\r\n", LogLineFor(0xFFFFFFFF));
  DebugLogInit("", "O_PIC");
}

TEST(DebugLogNative, LineLostWhileTheFileCannotBeOpenedThenLoggingGoesOn) {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLMAR\\PRW3\\Debug", "O_PIC", 1);
  ASSERT_EQ(1, DebugLogInit("C:\\logs\\O_PxxIC.LOG", "O_PIC"));
  EXPECT_EQ(0, DebugLogWrite("lost")) << "the folder does not exist yet";
  EXPECT_EQ(1, g_bDebugLog);
  winsim::MakeFolder("C:\\logs");
  EXPECT_EQ(1, DebugLogWrite("kept"));
  EXPECT_EQ(std::string::npos, testenv::ReadFile("C:\\logs\\O_PxxIC.LOG").find("lost"));
  EXPECT_EQ(0u, winsim::OpenStreamCount());

  // A path that does not fit the path buffer leaves the log off rather than cut.
  EXPECT_EQ(0, DebugLogInit(("C:\\" + std::string(300, 'a')).c_str(), "O_PIC"));
  EXPECT_EQ(0, DebugLogWrite("x"));
}

}  // namespace
