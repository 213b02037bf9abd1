// winsim's message loop ends by itself when nothing is left to do; that dry end must be
// told apart from the program's own quit, which the native tests assert.
#include <windows.h>

#include <gtest/gtest.h>

#include "winsim/control.h"

TEST(WinsimMessageLoop, DryEndIsToldFromTheProgramsQuit) {
  MSG msg = {};
  winsim::PushIdleStep([] { PostQuitMessage(3); });
  winsim::PushIdleStep([] { ADD_FAILURE() << "the loop ended before this step"; });
  while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  EXPECT_EQ(3u, msg.wParam);
  EXPECT_FALSE(winsim::MessageLoopRanDry());
  winsim::Reset();
  while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  EXPECT_TRUE(winsim::MessageLoopRanDry());
}
