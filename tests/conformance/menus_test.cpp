// Conformance: building, reading and changing pop-up menus the way the tray does gives the
// same results on both platforms: item types, states and data, the text copy rules of
// GetMenuItemInfoA, the default item, and destruction with the sub-menus.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "support/TestWindow.h"

namespace {

char g_szToolA[] = "Tool A";

// A pop-up like the tray's: a string item, a separator, an owner-drawn item, a grayed one.
HMENU MakePopup() {
  HMENU hMenu = CreatePopupMenu();
  EXPECT_NE(nullptr, hMenu);
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING, 900, "Office &Printer"));
  EXPECT_TRUE(AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr));
  EXPECT_TRUE(AppendMenuA(hMenu, MF_OWNERDRAW, 920, g_szToolA));
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING | MF_GRAYED, 901, "Prefs"));
  return hMenu;
}

MENUITEMINFOA ItemInfo(UINT fMask, char* pBuffer = nullptr, UINT cch = 0) {
  MENUITEMINFOA mii;
  memset(&mii, 0xcc, sizeof(mii));
  mii.cbSize = sizeof(mii);
  mii.fMask = fMask;
  mii.dwTypeData = pBuffer;
  mii.cch = cch;
  return mii;
}

TEST(MenuConformance, AppendedItemsReadBack) {
  HMENU hMenu = MakePopup();
  EXPECT_EQ(4, GetMenuItemCount(hMenu));
  struct Case {
    UINT item, by, state;
  } cases[] = {
      {900, MF_BYCOMMAND, 0},
      {1, MF_BYPOSITION, MF_SEPARATOR | MF_GRAYED | MF_DISABLED},
      {920, MF_BYCOMMAND, MF_OWNERDRAW},
      {901, MF_BYCOMMAND, MF_GRAYED},
      {999, MF_BYCOMMAND, static_cast<UINT>(-1)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.state, GetMenuState(hMenu, c.item, c.by)) << c.item;

  MENUITEMINFOA mii = ItemInfo(MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STATE);
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 920, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MFT_OWNERDRAW), mii.fType);
  EXPECT_EQ(0u, mii.fState);
  EXPECT_EQ(920u, mii.wID);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolA), mii.dwItemData);
  EXPECT_EQ(nullptr, mii.hSubMenu) << "cleared when not asked for";
  EXPECT_TRUE(DestroyMenu(hMenu));
}

// A cut copy: Windows ends it with a terminator in the last byte, Wine 8 leaves the whole
// buffer filled; both report the characters before the last byte.
TEST(MenuConformance, ItemTextCopyRules) {
  HMENU hMenu = MakePopup();
  char buf[32];
  memset(buf, 'x', sizeof(buf));
  MENUITEMINFOA mii = ItemInfo(MIIM_TYPE | MIIM_STATE, buf, sizeof(buf));
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MFT_STRING), mii.fType);
  EXPECT_EQ(0u, mii.fState);
  EXPECT_EQ(15u, mii.cch);
  EXPECT_STREQ("Office &Printer", buf);

  memset(buf, 'x', sizeof(buf));
  mii = ItemInfo(MIIM_TYPE, buf, 6);
  EXPECT_TRUE(GetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(0, memcmp(buf, "Offic", 5));
  EXPECT_EQ('x', buf[6]);
  EXPECT_EQ(5u, mii.cch);

  mii = ItemInfo(MIIM_TYPE, nullptr, 0);
  EXPECT_TRUE(GetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(15u, mii.cch) << "the length when no buffer is given";

  SetLastError(0xdeadbeef);
  mii = ItemInfo(MIIM_TYPE | MIIM_STATE, buf, sizeof(buf));
  EXPECT_FALSE(GetMenuItemInfoA(hMenu, 999, FALSE, &mii));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND), GetLastError());
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(MenuConformance, ModifyAndSetItemInfoMakeTheBoldStatusItem) {
  HMENU hMenu = MakePopup();
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING | MF_CHECKED, 100, "Status"));
  EXPECT_TRUE(ModifyMenuA(hMenu, 4, MF_BYPOSITION | MF_STRING, 902, "Office Printer"));
  EXPECT_EQ(902u, GetMenuItemID(hMenu, 4));
  EXPECT_EQ(0u, GetMenuState(hMenu, 4, MF_BYPOSITION)) << "the old state goes too";

  char buf[260] = "";
  MENUITEMINFOA mii = ItemInfo(MIIM_STATE | MIIM_TYPE, buf, sizeof(buf));
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 902, FALSE, &mii));
  char szLabel[] = "Office Printer 2";
  mii.fType = MFT_STRING;
  mii.dwTypeData = szLabel;
  mii.fState = MFS_DEFAULT;
  EXPECT_TRUE(SetMenuItemInfoA(hMenu, 902, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MF_DEFAULT), GetMenuState(hMenu, 902, MF_BYCOMMAND));
  EXPECT_EQ(16, GetMenuStringA(hMenu, 902, buf, sizeof(buf), MF_BYCOMMAND));
  EXPECT_STREQ("Office Printer 2", buf);

  // MIIM_STATE replaces the whole state.
  mii = ItemInfo(MIIM_STATE);
  mii.fState = MFS_CHECKED;
  EXPECT_TRUE(SetMenuItemInfoA(hMenu, 901, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(hMenu, 901, MF_BYCOMMAND));
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(MenuConformance, SubMenusGoWithTheirMenu) {
  HMENU hTop = CreatePopupMenu();
  HMENU hSub = CreatePopupMenu();
  EXPECT_TRUE(AppendMenuA(hSub, MF_STRING, 905, "Inner"));
  EXPECT_TRUE(AppendMenuA(hTop, MF_POPUP, reinterpret_cast<UINT_PTR>(hSub), "Sub"));
  EXPECT_TRUE(AppendMenuA(hTop, MF_STRING, 906, "Outer"));
  EXPECT_EQ(hSub, GetSubMenu(hTop, 0));
  EXPECT_EQ(nullptr, GetSubMenu(hTop, 1));

  EXPECT_TRUE(DestroyMenu(hTop));
  EXPECT_FALSE(IsMenu(hSub));
  EXPECT_FALSE(IsMenu(hTop));
  EXPECT_FALSE(DestroyMenu(hTop));
}

TEST(MenuConformance, DrawMenuBar) {
  HWND hWnd = testenv::CreateTestWindow();
  ASSERT_NE(nullptr, hWnd);
  EXPECT_TRUE(DrawMenuBar(hWnd)) << "a window without a menu bar";
  DestroyWindow(hWnd);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DrawMenuBar(hWnd));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

}  // namespace
