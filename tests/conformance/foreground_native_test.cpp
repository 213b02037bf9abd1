// A click outside a pop-up menu, natively only (Wine closes it either way). Windows:
// "the current window must be the foreground window before the application calls
// TrackPopupMenu... Otherwise, the menu will not disappear when the user clicks outside
// of the menu"; and the next time it misbehaves unless a task switch is forced "by
// posting a benign message to the window", which is why tray code sends WM_NULL after it.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestWindow.h"
#include "winsim/control.h"

TEST(ForegroundNative, ClickOutsideEndsMenuOnlyInForegroundAndAfterAMessageToTheOwner) {
  // Whether the first and the second menu ended on the click.
  const struct { bool foreground, messageAfter, ended[2]; } kCases[] = {{false, true, {false, false}}, {true, false, {true, false}}, {true, true, {true, true}}};
  HMENU hMenu = CreatePopupMenu();
  AppendMenuA(hMenu, MF_STRING, 900, "Office Printer");
  size_t calls = 0;
  for (const auto& c : kCases) {
    HWND hOwner = testenv::CreateTestWindow();
    for (int round = 0; round < 2; ++round) {
      if (c.foreground) SetForegroundWindow(hOwner);
      winsim::ScriptTrackPopupMenu(winsim::MenuScript().ClickOutside().Choose(900));
      TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, 0, 0, 0, hOwner, nullptr);
      if (c.messageAfter) SendMessageA(hOwner, WM_NULL, 0, 0);
      winsim::PumpMessages();  // back in the message loop
      const auto call = winsim::TrackPopupMenuCalls().at(calls++);
      EXPECT_EQ(c.ended[round], call.endedByClick) << c.foreground << c.messageAfter << " round " << round;
      EXPECT_EQ(c.ended[round] ? 0u : 900u, call.chosen) << "a menu left open takes the later choice";
    }
    DestroyWindow(hOwner);
  }
  DestroyMenu(hMenu);
}
