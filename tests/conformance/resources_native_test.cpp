// winsim's .rc reader and resource records: the script subset it reads, its errors, and
// what a loaded icon came from.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestResources.h"
#include "winsim/control.h"

namespace {

TEST(RcParserNative, ReadsTheSubsetWindresReads) {
  std::string error;
  auto res = winsim::ParseRc(R"rc(
#include <windows.h>
#define IDM_TRAY 801
LANGUAGE 0x09, 0x01
IDM_TRAY MENU DISCARDABLE
{
  POPUP "Tray", GRAYED
  BEGIN
    MENUITEM "A ""quoted"" \\ item\x41\101", 0x385 // comment
    MENUITEM "Held", 902, CHECKED, INACTIVE
    MENUITEM SEPARATOR
  END
}
STRINGTABLE BEGIN 920 "Tab\there" 921, L"wide" END
)rc",
                             "", &error);
  ASSERT_TRUE(res) << error;
  ASSERT_EQ(1u, res->menus.count(801));
  const auto& popup = res->menus[801].at(0);
  EXPECT_EQ("Tray", popup.text);
  EXPECT_EQ(static_cast<UINT>(MF_POPUP | MF_GRAYED), popup.flags);
  ASSERT_EQ(3u, popup.items.size());
  EXPECT_EQ("A \"quoted\" \\ itemAA", popup.items[0].text);
  EXPECT_EQ(901u, popup.items[0].id);
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED | MF_DISABLED), popup.items[1].flags);
  EXPECT_EQ("", popup.items[2].text);
  EXPECT_EQ("Tab\there", res->strings[920]);
  EXPECT_EQ("wide", res->strings[921]);
}

TEST(RcParserNative, ErrorsNameTheLine) {
  std::string error;
  EXPECT_FALSE(winsim::ParseRc("1 ICON \"x.ico\"\n2 DIALOG 0, 0, 10, 10\n", "/nonexistent", &error));
  EXPECT_EQ("line 1: cannot open /nonexistent/x.ico", error);
  EXPECT_FALSE(winsim::ParseRc("\n\n5 CURSOR \"x.cur\"\n", "", &error));
  EXPECT_EQ("line 3: unsupported resource type 'CURSOR'", error);
  EXPECT_FALSE(winsim::ParseRc("STRINGTABLE BEGIN NAME \"x\" END", "", &error));
  EXPECT_EQ("line 1: expected a numeric id, got 'NAME'", error);
  EXPECT_FALSE(winsim::ParseRc("1 MENU BEGIN MENUITEM \"open", "", &error));
  EXPECT_EQ("line 1: unterminated string", error);
  EXPECT_FALSE(winsim::ParseRc("#if 1\n", "", &error));
}

TEST(RcParserNative, LoadedIconsRememberWhereTheyCameFrom) {
  HMODULE hModule = testenv::LoadTestResources();
  ASSERT_NE(nullptr, hModule);
  auto icon = static_cast<HICON>(LoadImageA(hModule, MAKEINTRESOURCEA(701), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  auto info = winsim::LoadedIcon(icon);
  ASSERT_TRUE(info);
  EXPECT_EQ(hModule, info->module);
  EXPECT_EQ(701, info->id);
  EXPECT_EQ(16, info->cx) << "no size asked: the file's first image";
  EXPECT_EQ(1u, winsim::LiveIconCount());
  FreeLibrary(hModule);
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(winsim::LoadedIcon(icon));
}

}  // namespace
