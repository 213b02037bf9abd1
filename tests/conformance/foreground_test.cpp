// Conformance: SetForegroundWindow makes the window the foreground one, and WM_CANCELMODE
// sent to the owner of an open pop-up menu ends it through DefWindowProcA.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestWindow.h"

namespace {

int g_nTicks = 0;

// The second tick only comes when the first did not end the menu.
LRESULT CALLBACK OwnerProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_TIMER && ++g_nTicks == 1) SendMessageA(hWnd, WM_CANCELMODE, 0, 0);
  else if (uMsg == WM_TIMER) PostMessageA(FindWindowA("#32768", nullptr), WM_KEYDOWN, VK_ESCAPE, 0);
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

TEST(ForegroundConformance, CancelModeSentToTheOwnerEndsItsMenu) {
  HWND hOwner = testenv::CreateTestWindow(OwnerProc);
  ASSERT_TRUE(SetForegroundWindow(hOwner));
  EXPECT_EQ(hOwner, GetForegroundWindow());
  HMENU hMenu = CreatePopupMenu();
  AppendMenuA(hMenu, MF_STRING, 900, "Office Printer");
  SetTimer(hOwner, 1, 100, nullptr);
  EXPECT_EQ(0, TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, 10, 10, 0, hOwner, nullptr));
  EXPECT_EQ(1, g_nTicks);
  KillTimer(hOwner, 1);
  DestroyMenu(hMenu);
  DestroyWindow(hOwner);
}
