// Conformance: loading menus, strings, icons and bitmaps from a resource library gives the
// same results on both platforms, and what was loaded outlives the library.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/TestResources.h"

namespace {

class ResourceConformance : public testing::Test {
 protected:
  void SetUp() override {
    m_hModule = testenv::LoadTestResources();
    ASSERT_NE(nullptr, m_hModule);
  }
  void TearDown() override {
    if (m_hModule) FreeLibrary(m_hModule);
  }
  void Free() {
    EXPECT_TRUE(FreeLibrary(m_hModule));
    m_hModule = nullptr;
  }
  HMODULE m_hModule = nullptr;
};

TEST_F(ResourceConformance, MenusAreFreshTreesThatOutliveTheLibrary) {
  HMENU hMenu = LoadMenuA(m_hModule, MAKEINTRESOURCEA(801));
  ASSERT_NE(nullptr, hMenu);
  EXPECT_EQ(1, GetMenuItemCount(hMenu));
  HMENU hPopup = GetSubMenu(hMenu, 0);
  ASSERT_NE(nullptr, hPopup);
  ASSERT_EQ(5, GetMenuItemCount(hPopup));
  EXPECT_EQ(100u, GetMenuItemID(hPopup, 0));
  EXPECT_EQ(901u, GetMenuItemID(hPopup, 1));
  EXPECT_EQ(0u, GetMenuItemID(hPopup, 2));
  EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR | MF_GRAYED | MF_DISABLED), GetMenuState(hPopup, 2, MF_BYPOSITION));
  EXPECT_EQ(static_cast<UINT>(MF_GRAYED), GetMenuState(hPopup, 902, MF_BYCOMMAND));
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(hPopup, 950, MF_BYCOMMAND)) << "in the sub-menu";
  char buf[64];
  EXPECT_EQ(23, GetMenuStringA(hPopup, 901, buf, sizeof(buf), MF_BYCOMMAND));
  EXPECT_STREQ("Monitoring &Preferences", buf);
  EXPECT_EQ(4, GetMenuStringA(hMenu, 0, buf, sizeof(buf), MF_BYPOSITION));
  EXPECT_STREQ("Tray", buf);

  HMENU hSecond = LoadMenuA(m_hModule, MAKEINTRESOURCEA(801));
  ASSERT_NE(nullptr, hSecond);
  EXPECT_NE(hMenu, hSecond);
  EXPECT_TRUE(ModifyMenuA(hPopup, 0, MF_BYPOSITION | MF_STRING, 900, "Office Printer"));
  EXPECT_EQ(100u, GetMenuItemID(GetSubMenu(hSecond, 0), 0)) << "each load is a copy";
  EXPECT_TRUE(DestroyMenu(hSecond));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, LoadMenuA(m_hModule, MAKEINTRESOURCEA(802)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());

  Free();
  EXPECT_EQ(5, GetMenuItemCount(hPopup));
  EXPECT_EQ(900u, GetMenuItemID(hPopup, 0));
  EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST_F(ResourceConformance, StringsAreCutToTheBuffer) {
  char buf[400];
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(8, LoadStringA(m_hModule, 920, buf, 260));
  EXPECT_STREQ("Aux tool", buf);

  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(3, LoadStringA(m_hModule, 920, buf, 4));
  EXPECT_STREQ("Aux", buf);
  EXPECT_EQ('x', buf[4]);

  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(0, LoadStringA(m_hModule, 920, buf, 1));
  EXPECT_EQ('\0', buf[0]);
  EXPECT_EQ('x', buf[1]);

  EXPECT_EQ(17, LoadStringA(m_hModule, 921, buf, 260));
  EXPECT_STREQ("Quote \"x\" and \"y\"", buf);
  EXPECT_EQ(259, LoadStringA(m_hModule, 922, buf, 260)) << "300 characters, cut to 259";
  EXPECT_EQ(259u, strlen(buf));
  EXPECT_EQ(300, LoadStringA(m_hModule, 922, buf, sizeof(buf)));
  EXPECT_EQ(18, LoadStringA(m_hModule, 923, buf, 260));
  EXPECT_STREQ("Tab\tand back\\slash", buf);

  // Missing: 925 shares a block with 920, 5000 has no block at all.
  memset(buf, 'x', sizeof(buf));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, LoadStringA(m_hModule, 925, buf, 260));
  EXPECT_EQ('\0', buf[0]);
  EXPECT_EQ(0xdeadbeefu, GetLastError());
  memset(buf, 'x', sizeof(buf));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, LoadStringA(m_hModule, 5000, buf, 260));
  EXPECT_EQ('\0', buf[0]);
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
}

TEST_F(ResourceConformance, IconsAndBitmapsAreIndependentObjects) {
  HICON hIcon = static_cast<HICON>(LoadImageA(m_hModule, MAKEINTRESOURCEA(700), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  HICON hAgain = static_cast<HICON>(LoadImageA(m_hModule, MAKEINTRESOURCEA(700), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  ASSERT_NE(nullptr, hIcon);
  ASSERT_NE(nullptr, hAgain);
  EXPECT_NE(hIcon, hAgain);
  // A missing icon is looked for as an animated one too, a type the library lacks.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, LoadImageA(m_hModule, MAKEINTRESOURCEA(702), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());

  HBITMAP hBitmap = LoadBitmapA(m_hModule, MAKEINTRESOURCEA(921));
  ASSERT_NE(nullptr, hBitmap);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, LoadBitmapA(m_hModule, MAKEINTRESOURCEA(930)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());

  Free();
  BITMAP bm;
  memset(&bm, 0xcc, sizeof(bm));
  ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(hBitmap, sizeof(bm), &bm));
  EXPECT_EQ(24, bm.bmWidth);
  EXPECT_EQ(12, bm.bmHeight);
  EXPECT_TRUE(DeleteObject(hBitmap));
  EXPECT_TRUE(DestroyIcon(hIcon));
  EXPECT_TRUE(DestroyIcon(hAgain));
}

}  // namespace
