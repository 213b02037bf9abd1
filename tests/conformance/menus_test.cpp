// Conformance: building, reading and changing pop-up menus gives the same results on both
// platforms: item types and states, the text copy rules, search by command, destruction.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
  EXPECT_EQ(900u, GetMenuItemID(hMenu, 0));
  EXPECT_EQ(0u, GetMenuItemID(hMenu, 1));
  EXPECT_EQ(920u, GetMenuItemID(hMenu, 2));
  EXPECT_EQ(static_cast<UINT>(-1), GetMenuItemID(hMenu, 4));

  EXPECT_EQ(0u, GetMenuState(hMenu, 900, MF_BYCOMMAND));
  EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR | MF_GRAYED | MF_DISABLED), GetMenuState(hMenu, 1, MF_BYPOSITION)) << "disabled";
  EXPECT_EQ(static_cast<UINT>(MF_OWNERDRAW), GetMenuState(hMenu, 920, MF_BYCOMMAND));
  EXPECT_EQ(static_cast<UINT>(MF_GRAYED), GetMenuState(hMenu, 901, MF_BYCOMMAND));
  EXPECT_EQ(static_cast<UINT>(-1), GetMenuState(hMenu, 999, MF_BYCOMMAND));

  MENUITEMINFOA mii = ItemInfo(MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STATE);
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 920, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MFT_OWNERDRAW), mii.fType);
  EXPECT_EQ(0u, mii.fState);
  EXPECT_EQ(920u, mii.wID);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolA), mii.dwItemData);
  EXPECT_EQ(nullptr, mii.hSubMenu) << "cleared when not asked for";

  // A string item without a string becomes a separator; MF_DEFAULT is not taken on append.
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING, 902, nullptr));
  EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR | MF_GRAYED | MF_DISABLED), GetMenuState(hMenu, 902, MF_BYCOMMAND));
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING | MF_DEFAULT, 903, "Bold"));
  EXPECT_EQ(0u, GetMenuState(hMenu, 903, MF_BYCOMMAND));

  EXPECT_TRUE(DestroyMenu(hMenu));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(AppendMenuA(hMenu, MF_STRING, 904, "Late"));
  EXPECT_EQ(0xdeadbeefu, GetLastError());
}

// A cut copy: Windows ends it with a terminator in the last byte, Wine 8 leaves the whole
// buffer filled; both report the characters before the last byte.
TEST(MenuConformance, TextCopyRules) {
  HMENU hMenu = MakePopup();
  char buf[32];
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(15, GetMenuStringA(hMenu, 900, buf, sizeof(buf), MF_BYCOMMAND));
  EXPECT_STREQ("Office &Printer", buf);
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(5, GetMenuStringA(hMenu, 900, buf, 6, MF_BYCOMMAND));
  EXPECT_EQ(0, memcmp(buf, "Offic", 5));
  EXPECT_EQ('x', buf[6]);
  EXPECT_EQ(15, GetMenuStringA(hMenu, 900, nullptr, 0, MF_BYCOMMAND));
  EXPECT_EQ(0, GetMenuStringA(hMenu, 1, buf, sizeof(buf), MF_BYPOSITION)) << "separator";
  EXPECT_EQ('\0', buf[0]);
  EXPECT_EQ(0, GetMenuStringA(hMenu, 920, buf, sizeof(buf), MF_BYCOMMAND)) << "owner-drawn";
  EXPECT_EQ(0, GetMenuStringA(hMenu, 999, buf, sizeof(buf), MF_BYCOMMAND));

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
  memset(buf, 'x', sizeof(buf));
  mii = ItemInfo(MIIM_STRING, buf, 0);
  EXPECT_TRUE(GetMenuItemInfoA(hMenu, 0, TRUE, &mii));
  EXPECT_EQ(15u, mii.cch);
  EXPECT_EQ('x', buf[0]) << "nothing copied into a zero-size buffer";

  mii = ItemInfo(MIIM_TYPE, buf, sizeof(buf));
  EXPECT_TRUE(GetMenuItemInfoA(hMenu, 920, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MFT_OWNERDRAW), mii.fType);
  EXPECT_EQ(nullptr, mii.dwTypeData);
  EXPECT_EQ(0u, mii.cch);

  SetLastError(0xdeadbeef);
  mii = ItemInfo(MIIM_TYPE | MIIM_STRING, buf, sizeof(buf));
  EXPECT_FALSE(GetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  mii = ItemInfo(MIIM_ID);
  mii.cbSize = 0;
  EXPECT_FALSE(GetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  mii = ItemInfo(MIIM_ID);
  EXPECT_FALSE(GetMenuItemInfoA(hMenu, 999, FALSE, &mii));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND), GetLastError());
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(MenuConformance, SetItemInfoMakesTheDefaultItem) {
  HMENU hMenu = MakePopup();
  char buf[260] = "";
  MENUITEMINFOA mii = ItemInfo(MIIM_STATE | MIIM_TYPE, buf, sizeof(buf));
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  char szLabel[] = "Office Printer";
  mii.fType = MFT_STRING;
  mii.dwTypeData = szLabel;
  mii.fState = MFS_DEFAULT;
  EXPECT_TRUE(SetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MF_DEFAULT), GetMenuState(hMenu, 900, MF_BYCOMMAND));
  EXPECT_EQ(14, GetMenuStringA(hMenu, 900, buf, sizeof(buf), MF_BYCOMMAND));
  EXPECT_STREQ("Office Printer", buf);

  // MIIM_STATE replaces the whole state.
  mii = ItemInfo(MIIM_STATE);
  mii.fState = MFS_CHECKED;
  EXPECT_TRUE(SetMenuItemInfoA(hMenu, 901, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(hMenu, 901, MF_BYCOMMAND));

  mii = ItemInfo(MIIM_DATA | MIIM_ID);
  mii.dwItemData = 0x1234;
  mii.wID = 921;
  EXPECT_TRUE(SetMenuItemInfoA(hMenu, 920, FALSE, &mii));
  mii = ItemInfo(MIIM_DATA | MIIM_FTYPE);
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 921, FALSE, &mii));
  EXPECT_EQ(0x1234u, mii.dwItemData);
  EXPECT_EQ(static_cast<UINT>(MFT_OWNERDRAW), mii.fType);

  SetLastError(0xdeadbeef);
  mii = ItemInfo(MIIM_TYPE | MIIM_FTYPE);
  mii.fType = MFT_STRING;
  EXPECT_FALSE(SetMenuItemInfoA(hMenu, 900, FALSE, &mii));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(MenuConformance, SearchByCommandLooksIntoSubMenus) {
  HMENU hTop = CreatePopupMenu();
  HMENU hSub = CreatePopupMenu();
  EXPECT_TRUE(AppendMenuA(hSub, MF_STRING, 905, "Inner"));
  EXPECT_TRUE(AppendMenuA(hTop, MF_POPUP, reinterpret_cast<UINT_PTR>(hSub), "Sub"));
  EXPECT_TRUE(AppendMenuA(hTop, MF_STRING, 906, "Outer"));

  EXPECT_EQ(hSub, GetSubMenu(hTop, 0));
  EXPECT_EQ(nullptr, GetSubMenu(hTop, 1));
  EXPECT_EQ(static_cast<UINT>(-1), GetMenuItemID(hTop, 0)) << "a pop-up item";
  EXPECT_EQ(static_cast<UINT>(MF_POPUP | (1 << 8)), GetMenuState(hTop, 0, MF_BYPOSITION));

  MENUITEMINFOA mii = ItemInfo(MIIM_ID);
  mii.wID = 907;
  EXPECT_TRUE(SetMenuItemInfoA(hTop, 905, FALSE, &mii));
  EXPECT_EQ(907u, GetMenuItemID(hSub, 0));
  char buf[16];
  EXPECT_EQ(5, GetMenuStringA(hTop, 907, buf, sizeof(buf), MF_BYCOMMAND));
  EXPECT_STREQ("Inner", buf);
  EXPECT_TRUE(ModifyMenuA(hTop, 907, MF_BYCOMMAND | MF_STRING, 908, "Changed"));
  EXPECT_EQ(908u, GetMenuItemID(hSub, 0));

  mii = ItemInfo(MIIM_SUBMENU | MIIM_ID);
  ASSERT_TRUE(GetMenuItemInfoA(hTop, 0, TRUE, &mii));
  EXPECT_EQ(hSub, mii.hSubMenu);

  EXPECT_TRUE(DestroyMenu(hTop));
  EXPECT_FALSE(IsMenu(hSub)) << "sub-menus go with their menu";
  EXPECT_FALSE(IsMenu(hTop));
  EXPECT_FALSE(DestroyMenu(hTop));
  EXPECT_EQ(-1, GetMenuItemCount(hTop));
}

TEST(MenuConformance, ModifyMenuReplacesTypeIdAndText) {
  HMENU hMenu = CreatePopupMenu();
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING | MF_CHECKED, 100, "Status"));
  EXPECT_TRUE(AppendMenuA(hMenu, MF_STRING, 101, "Other"));
  EXPECT_TRUE(ModifyMenuA(hMenu, 0, MF_BYPOSITION | MF_STRING, 900, "Office Printer"));
  EXPECT_EQ(900u, GetMenuItemID(hMenu, 0));
  EXPECT_EQ(0u, GetMenuState(hMenu, 0, MF_BYPOSITION)) << "the old state goes too";

  EXPECT_TRUE(ModifyMenuA(hMenu, 101, MF_BYCOMMAND | MF_OWNERDRAW, 920, g_szToolA));
  MENUITEMINFOA mii = ItemInfo(MIIM_FTYPE | MIIM_DATA | MIIM_ID);
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 1, TRUE, &mii));
  EXPECT_EQ(static_cast<UINT>(MFT_OWNERDRAW), mii.fType);
  EXPECT_EQ(920u, mii.wID);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolA), mii.dwItemData);

  EXPECT_TRUE(ModifyMenuA(hMenu, 920, MF_BYCOMMAND | MF_STRING | MF_DEFAULT, 921, "Plain"));
  EXPECT_EQ(0u, GetMenuState(hMenu, 921, MF_BYCOMMAND)) << "MF_DEFAULT is not taken";
  mii = ItemInfo(MIIM_DATA);
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 921, FALSE, &mii));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_szToolA), mii.dwItemData) << "a string item keeps the item data";
  EXPECT_FALSE(ModifyMenuA(hMenu, 5, MF_BYPOSITION | MF_STRING, 930, "Missing"));
  EXPECT_TRUE(DestroyMenu(hMenu));
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
