// winsim's scripted pop-up menus, which the native tray tests drive: a chosen command is
// posted after TrackPopupMenu returns, and a grayed or unknown item gives none.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestWindow.h"
#include "winsim/control.h"

TEST(WinsimMenuScript, OnlyAnEnabledChosenItemPostsItsCommandAfterTheMenuCloses) {
  HWND hOwner = testenv::CreateTestWindow();
  HMENU hMenu = CreatePopupMenu();
  AppendMenuA(hMenu, MF_STRING, 900, "Office Printer");
  AppendMenuA(hMenu, MF_STRING | MF_GRAYED, 901, "Prefs");
  for (UINT id : {900u, 901u, 999u}) {
    winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(id));
    EXPECT_TRUE(TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, 0, 0, 0, hOwner, nullptr));
    PostMessageA(hOwner, WM_USER, 0, 0);
    MSG msg = {};
    for (UINT uExpected : {id == 900 ? WM_COMMAND : WM_USER, WM_USER}) {
      ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
      EXPECT_EQ(uExpected, msg.message) << id;
      EXPECT_EQ(msg.message == WM_COMMAND ? id : 0u, msg.wParam) << id;
      if (msg.message == WM_USER) break;
    }
  }
  DestroyMenu(hMenu);
  DestroyWindow(hOwner);
}
