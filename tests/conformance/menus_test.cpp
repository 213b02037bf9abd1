// Conformance: the tray's status item is rewritten as the bold default item alike on both
// platforms: ModifyMenuA replaces the placeholder with its state, SetMenuItemInfoA makes it bold.
#include <windows.h>

#include <gtest/gtest.h>

TEST(MenuConformance, StatusItemBecomesTheBoldDefaultAndNothingElse) {
  HMENU hMenu = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuA(hMenu, MF_STRING | MF_GRAYED | MF_CHECKED, 100, "Status"));
  EXPECT_TRUE(ModifyMenuA(hMenu, 0, MF_BYPOSITION | MF_STRING, 902, "Office Printer"));
  EXPECT_EQ(0u, GetMenuState(hMenu, 902, MF_BYCOMMAND)) << "the placeholder's state goes with it";
  char buf[MAX_PATH];
  MENUITEMINFOA mii = {};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_STATE | MIIM_TYPE;
  mii.dwTypeData = buf;
  mii.cch = sizeof(buf);
  ASSERT_TRUE(GetMenuItemInfoA(hMenu, 902, FALSE, &mii));
  EXPECT_STREQ("Office Printer", buf);
  char szLabel[] = "Office Printer 2";
  mii.fType = MFT_STRING;
  mii.fState = MFS_DEFAULT;
  mii.dwTypeData = szLabel;
  mii.cch = 16;
  EXPECT_TRUE(SetMenuItemInfoA(hMenu, 902, FALSE, &mii));
  EXPECT_EQ(static_cast<UINT>(MF_DEFAULT), GetMenuState(hMenu, 902, MF_BYCOMMAND));
  EXPECT_EQ(16, GetMenuStringA(hMenu, 902, buf, sizeof(buf), MF_BYCOMMAND));
  EXPECT_STREQ("Office Printer 2", buf);
  EXPECT_TRUE(DestroyMenu(hMenu));
}
