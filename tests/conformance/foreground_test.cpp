// Conformance: SetForegroundWindow makes the window the foreground one, and WM_CANCELMODE
// sent to the owner of an open pop-up menu ends it through DefWindowProcA.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/RecordingWindow.h"

TEST(ForegroundConformance, CancelModeSentToTheOwnerEndsItsMenu) {
  testenv::CRecordingWindow owner;
  HWND hOwner = owner.Handle();
  ASSERT_TRUE(SetForegroundWindow(hOwner));
  EXPECT_EQ(hOwner, GetForegroundWindow());
  HMENU hMenu = CreatePopupMenu();
  AppendMenuA(hMenu, MF_STRING, 900, "Office Printer");
  int ticks = 0;
  owner.m_handler = [&](UINT uMsg, WPARAM, LPARAM, LRESULT*) {
    if (uMsg != WM_TIMER) return false;
    // The second tick only comes when the first did not end the menu.
    ++ticks == 1 ? SendMessageA(hOwner, WM_CANCELMODE, 0, 0)
                 : PostMessageA(FindWindowA("#32768", nullptr), WM_KEYDOWN, VK_ESCAPE, 0);
    return false;
  };
  SetTimer(hOwner, 1, 100, nullptr);
  EXPECT_EQ(0, TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, 10, 10, 0, hOwner, nullptr));
  EXPECT_EQ(1, ticks);
  KillTimer(hOwner, 1);
}
