// The debug log's tick column at the limits of the 32-bit count, and a log file that
// cannot be opened for a while.
#include "app/DebugLog.h"

#include "support/TestFiles.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

namespace {

TEST(DebugLogNative, TickIsASigned32BitNumberAndALineIsLostOnlyWhileTheFileCannotBeOpened) {
  testenv::SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLMAR\\PRW3\\Debug", "O_PIC", 1);
  ASSERT_EQ(1, DebugLogInit("C:\\logs\\O_PxxIC.LOG", "O_PIC"));
  EXPECT_EQ(0, DebugLogWrite("lost")) << "the folder does not exist yet";
  winsim::MakeFolder("C:\\logs");
  // After 24.8 days of uptime the count turns negative, and the field grows.
  for (DWORD tick : {0x0u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    winsim::SetTickCount(tick);
    EXPECT_EQ(1, DebugLogWrite("x"));
  }
  EXPECT_EQ("         0 : x\r\n2147483647 : x\r\n-2147483648 : x\r\n        -1 : x\r\n",
            testenv::ReadFile("C:\\logs\\O_PxxIC.LOG"));
  EXPECT_EQ(0u, winsim::OpenStreamCount());

  // A path that does not fit the path buffer leaves the log off rather than cut.
  EXPECT_EQ(0, DebugLogInit(("C:\\" + std::string(300, 'a')).c_str(), "O_PIC"));
  EXPECT_EQ(0, DebugLogWrite("x"));
}

}  // namespace
