// winsim's native message loop: scripted idle steps, the idle clock budget, the dry end
// that stands in for waiting forever, and pumping without blocking.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/RecordingWindow.h"
#include "winsim/control.h"

namespace {

using testenv::CRecordingWindow;

// The program's loop: runs until GetMessageA returns FALSE; returns the exit code.
WPARAM RunLoop() {
  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return msg.wParam;
}

TEST(MessageLoopNative, IdleStepsThenTimerTicksWithinTheBudgetThenDry) {
  CRecordingWindow w;
  ASSERT_EQ(2u, SetTimer(w.Handle(), 2, 25000, nullptr));
  winsim::PushIdleStep([&] { PostMessageA(w.Handle(), WM_USER + 1, 0, 0); });
  winsim::PushIdleStep([] { winsim::AdvanceClock(25000); });

  EXPECT_EQ(0u, RunLoop());
  // The step's message, the tick the second step made due, then ticks the loop found by
  // moving the clock itself until the 60 s budget (counted from the last step) ran out.
  auto seen = w.Only({WM_USER + 1, WM_TIMER});
  ASSERT_EQ(4u, seen.size());
  EXPECT_EQ(static_cast<UINT>(WM_USER + 1), seen[0].uMsg);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(static_cast<UINT>(WM_TIMER), seen[i].uMsg);
  EXPECT_EQ(75000u, winsim::ClockNow());
  EXPECT_TRUE(winsim::MessageLoopRanDry());
}

TEST(MessageLoopNative, ProgramQuitIsNotADryEnd) {
  CRecordingWindow w;
  w.m_handler = [](UINT uMsg, WPARAM, LPARAM, LRESULT*) {
    if (uMsg == WM_DESTROY) PostQuitMessage(3);
    return false;
  };
  winsim::PushIdleStep([&] { PostMessageA(w.Handle(), WM_CLOSE, 0, 0); });
  winsim::PushIdleStep([] { ADD_FAILURE() << "the loop ended before this step"; });
  EXPECT_EQ(3u, RunLoop());
  EXPECT_FALSE(winsim::MessageLoopRanDry());
}

TEST(MessageLoopNative, PumpDispatchesWhatIsPendingOnly) {
  CRecordingWindow w;
  SetTimer(w.Handle(), 1, 100, nullptr);
  SetTimer(w.Handle(), 2, 500, nullptr);
  PostMessageA(w.Handle(), WM_USER, 0, 0);
  winsim::PushIdleStep([] { ADD_FAILURE() << "pumping runs no step"; });
  EXPECT_EQ(1u, winsim::PumpMessages());
  winsim::AdvanceClock(1000);  // ten periods of timer 1: still one tick
  EXPECT_EQ(2u, winsim::PumpMessages());
  EXPECT_EQ(2u, w.Count(WM_TIMER));
  EXPECT_EQ(1000u, winsim::ClockNow());
  // The next tick keeps the timer's phase.
  auto timers = winsim::Timers();
  ASSERT_EQ(2u, timers.size());
  EXPECT_EQ(1100u, timers[0].due);
  EXPECT_EQ(1500u, timers[1].due);

  PostQuitMessage(4);
  winsim::AdvanceClock(1000);
  EXPECT_EQ(0u, winsim::PumpMessages()) << "the quit comes before timers and stays";
  MSG msg;
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(4u, msg.wParam);
  EXPECT_FALSE(winsim::MessageLoopRanDry());
}

TEST(MessageLoopNative, FiltersAreRefused) {
  MSG msg;
  EXPECT_EQ(-1, GetMessageA(&msg, nullptr, WM_USER, WM_USER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
}

}  // namespace
