// Conformance: TrackPopupMenu's modal loop as the tray relies on it, alike on both
// platforms: owner-drawn items measured before any is drawn, at their measured height;
// timers dispatched while the menu is open; no second menu at once; the choice posted.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestWindow.h"

namespace {

// What the owner saw, as "M920 D920:19 ...": measured, drawn with its height (s: selected).
std::string g_events;
HMENU g_hMenu;
BOOL g_bNested;
DWORD g_dwNestedError;

LRESULT CALLBACK OwnerProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_MEASUREITEM) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    mis->itemHeight = 19;
    g_events += "M" + std::to_string(mis->itemID) + " ";
    return TRUE;
  }
  if (uMsg == WM_DRAWITEM) {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    g_events += "D" + std::to_string(dis->itemID) + ":" + std::to_string(dis->rcItem.bottom - dis->rcItem.top) +
                (dis->itemState & ODS_SELECTED ? "s " : " ");
    return TRUE;
  }
  if (uMsg == WM_COMMAND) g_events += "C ";
  if (uMsg == WM_TIMER && wParam == 8) PostMessageA(hWnd, WM_CANCELMODE, 0, 0);  // a watchdog
  if (uMsg == WM_TIMER && wParam == 7 && KillTimer(hWnd, 7)) {
    SetLastError(0xdeadbeef);
    g_bNested = TrackPopupMenu(g_hMenu, TPM_RIGHTBUTTON, 10, 10, 0, hWnd, nullptr);
    g_dwNestedError = GetLastError();
    // Down to the placeholder, down past the separator to the first tool, and choose it.
    HWND hMenuWnd = FindWindowA("#32768", nullptr);
    for (WPARAM vk : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageA(hMenuWnd, WM_KEYDOWN, vk, 0);
  }
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

TEST(ModalConformance, PopupMenuDrawsOwnerDrawnItemsRunsTimersAndPostsTheChoice) {
  HWND hOwner = testenv::CreateTestWindow(OwnerProc);
  ASSERT_NE(nullptr, hOwner);
  g_hMenu = CreatePopupMenu();
  AppendMenuA(g_hMenu, MF_STRING, 900, "Office Printer");
  AppendMenuA(g_hMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(g_hMenu, MF_OWNERDRAW, 920, nullptr);
  AppendMenuA(g_hMenu, MF_OWNERDRAW, 921, nullptr);
  SetTimer(hOwner, 7, 50, nullptr);
  SetTimer(hOwner, 8, 3000, nullptr);
  SetForegroundWindow(hOwner);

  EXPECT_TRUE(TrackPopupMenu(g_hMenu, TPM_RIGHTBUTTON, 100, 100, 0, hOwner, nullptr));
  KillTimer(hOwner, 8);
  EXPECT_EQ(0u, g_events.find("M920 M921 D920:19 D921:19 ")) << g_events;
  EXPECT_NE(std::string::npos, g_events.find("D920:19s ")) << "the highlighted item drawn again: " << g_events;
  EXPECT_EQ(std::string::npos, g_events.find("C")) << "not sent: " << g_events;
  EXPECT_FALSE(g_bNested) << "a second TrackPopupMenu while one is open";
  EXPECT_EQ(static_cast<DWORD>(ERROR_POPUP_ALREADY_ACTIVE), g_dwNestedError);
  PostMessageA(hOwner, WM_USER, 0, 0);
  MSG msg = {};
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(static_cast<UINT>(WM_COMMAND), msg.message) << "posted: it comes before the message posted now";
  EXPECT_EQ(920u, msg.wParam);
  EXPECT_TRUE(DestroyMenu(g_hMenu));
  DestroyWindow(hOwner);
}

}  // namespace
