// Conformance: the modal loops of TrackPopupMenu and MessageBoxA measure and draw
// owner-drawn items, keep dispatching timer and posted messages while open, and hand the
// chosen command over afterwards, alike on both platforms.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "support/RecordingWindow.h"

namespace {

using testenv::CRecordingWindow;

const UINT_PTR TICK_TIMER = 7;
const UINT_PTR WATCHDOG_TIMER = 8;

char g_szToolA[] = "Tool A";
char g_szToolB[] = "Tool B";

// The open pop-up menu's window, where keyboard input for the menu goes.
void PostMenuKey(WPARAM vk) {
  HWND hMenuWnd = FindWindowA("#32768", nullptr);
  EXPECT_NE(nullptr, hMenuWnd);
  PostMessageA(hMenuWnd, WM_KEYDOWN, vk, 0);
}

HMENU MakeTrayLikeMenu() {
  HMENU hMenu = CreatePopupMenu();
  AppendMenuA(hMenu, MF_STRING, 900, "Office Printer");
  AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(hMenu, MF_OWNERDRAW, 920, g_szToolA);
  AppendMenuA(hMenu, MF_OWNERDRAW, 921, g_szToolB);
  return hMenu;
}

TEST(ModalConformance, PopupMenuDrawsOwnerDrawnItemsAndRunsTimers) {
  CRecordingWindow owner;
  HWND hOwner = owner.Handle();
  HMENU hMenu = MakeTrayLikeMenu();
  std::vector<MEASUREITEMSTRUCT> measured;
  std::vector<DRAWITEMSTRUCT> drawn;
  int ticks = 0;
  BOOL bNested = TRUE;
  DWORD dwNestedError = 0;
  owner.m_handler = [&](UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (uMsg == WM_MEASUREITEM) {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      mis->itemWidth = 100;
      mis->itemHeight = 19;
      measured.push_back(*mis);
      *pResult = TRUE;
      return true;
    }
    if (uMsg == WM_DRAWITEM) {
      drawn.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      *pResult = TRUE;
      return true;
    }
    if (uMsg == WM_TIMER && wParam == TICK_TIMER && ++ticks == 1) {
      SetLastError(0xdeadbeef);
      bNested = TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, 10, 10, 0, hOwner, nullptr);
      dwNestedError = GetLastError();
      PostMenuKey(VK_DOWN);  // Office Printer
      PostMenuKey(VK_DOWN);  // Tool A, past the separator
      PostMenuKey(VK_RETURN);
    }
    if (uMsg == WM_TIMER && wParam == WATCHDOG_TIMER) PostMessageA(hOwner, WM_CANCELMODE, 0, 0);
    return false;
  };
  SetTimer(hOwner, TICK_TIMER, 50, nullptr);
  SetTimer(hOwner, WATCHDOG_TIMER, 3000, nullptr);
  SetForegroundWindow(hOwner);

  EXPECT_TRUE(TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, 100, 100, 0, hOwner, nullptr));
  KillTimer(hOwner, TICK_TIMER);
  KillTimer(hOwner, WATCHDOG_TIMER);
  EXPECT_EQ(0u, owner.Count(WM_COMMAND)) << "the command is posted, not sent";
  EXPECT_GE(ticks, 1);
  EXPECT_FALSE(bNested) << "a second TrackPopupMenu while one is open";
  EXPECT_EQ(static_cast<DWORD>(ERROR_POPUP_ALREADY_ACTIVE), dwNestedError);

  // Every item is measured before any is drawn.
  auto order = owner.Only({WM_MEASUREITEM, WM_DRAWITEM});
  ASSERT_GE(order.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(static_cast<UINT>(i < 2 ? WM_MEASUREITEM : WM_DRAWITEM), order[i].uMsg) << i;

  ASSERT_EQ(2u, measured.size());
  EXPECT_EQ(920u, measured[0].itemID);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolA), measured[0].itemData);
  EXPECT_EQ(921u, measured[1].itemID);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolB), measured[1].itemData);

  ASSERT_GE(drawn.size(), 3u);
  const DRAWITEMSTRUCT& first = drawn[0];
  const DRAWITEMSTRUCT& second = drawn[1];
  EXPECT_EQ(920u, first.itemID);
  EXPECT_EQ(static_cast<UINT>(ODA_DRAWENTIRE), first.itemAction);
  EXPECT_EQ(0u, first.itemState & ODS_SELECTED);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolA), first.itemData);
  EXPECT_NE(nullptr, first.hDC);
  EXPECT_EQ(19, first.rcItem.bottom - first.rcItem.top) << "the measured height";
  EXPECT_EQ(921u, second.itemID);
  EXPECT_EQ(first.rcItem.bottom, second.rcItem.top) << "stacked item below item";
  EXPECT_EQ(first.rcItem.left, second.rcItem.left);

  bool bSelectedDrawn = false;
  for (const DRAWITEMSTRUCT& d : drawn)
    if (d.itemID == 920 && (d.itemState & ODS_SELECTED) && d.itemAction == ODA_SELECT) bSelectedDrawn = true;
  EXPECT_TRUE(bSelectedDrawn) << "the highlighted item is drawn again, selected";

  MSG msg = {};
  UINT_PTR watchdog = SetTimer(nullptr, 0, 3000, nullptr);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  KillTimer(nullptr, watchdog);
  EXPECT_EQ(hOwner, msg.hwnd);
  EXPECT_EQ(static_cast<UINT>(WM_COMMAND), msg.message);
  EXPECT_EQ(920u, msg.wParam);
  EXPECT_EQ(0, msg.lParam);
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(ModalConformance, CancelledMenuPostsNoCommand) {
  CRecordingWindow owner;
  HWND hOwner = owner.Handle();
  HMENU hMenu = MakeTrayLikeMenu();
  owner.m_handler = [&](UINT uMsg, WPARAM, LPARAM lParam, LRESULT* pResult) {
    if (uMsg == WM_MEASUREITEM) {
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 19;
      *pResult = TRUE;
      return true;
    }
    if (uMsg == WM_TIMER) PostMessageA(hOwner, WM_CANCELMODE, 0, 0);
    return false;
  };
  SetTimer(hOwner, TICK_TIMER, 50, nullptr);
  SetForegroundWindow(hOwner);
  EXPECT_TRUE(TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, 100, 100, 0, hOwner, nullptr)) << "cancelled, still TRUE";
  KillTimer(hOwner, TICK_TIMER);

  // Nothing was chosen: the next message is the one posted now.
  PostMessageA(hOwner, WM_USER + 1, 0, 0);
  MSG msg = {};
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(static_cast<UINT>(WM_USER + 1), msg.message);
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(ModalConformance, MessageBoxRunsTimersAndPostedMessages) {
  CRecordingWindow owner;
  HWND hOwner = owner.Handle();
  int ticks = 0;
  owner.m_handler = [&](UINT uMsg, WPARAM wParam, LPARAM, LRESULT*) {
    if (uMsg == WM_TIMER && wParam == TICK_TIMER && ++ticks == 1) {
      PostMessageA(hOwner, WM_USER + 5, 0, 0);
      HWND hBox = FindWindowA("#32770", "Prw3 Conf Box");
      EXPECT_NE(nullptr, hBox);
      PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    }
    return false;
  };
  SetTimer(hOwner, TICK_TIMER, 50, nullptr);
  EXPECT_EQ(IDOK, MessageBoxA(hOwner, "\nUnable to open", "Prw3 Conf Box", MB_OK));
  KillTimer(hOwner, TICK_TIMER);
  EXPECT_EQ(1, ticks);
  EXPECT_EQ(1u, owner.Count(WM_USER + 5)) << "posted while the box was open, dispatched by its loop";
}

}  // namespace
