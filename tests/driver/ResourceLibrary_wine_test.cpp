// The demo driver's three tray icons differ in their pixels, not only in their ids.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "profile/Contracts.h"
#include "support/DriverPackage.h"

namespace {

std::vector<BYTE> IconPixels(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return {};
  BITMAP bm = {};
  GetObjectA(info.hbmColor, sizeof(bm), &bm);
  std::vector<BYTE> pixels(bm.bmWidthBytes * bm.bmHeight);
  pixels.resize(GetBitmapBits(info.hbmColor, static_cast<LONG>(pixels.size()), pixels.data()));
  EXPECT_EQ(16, bm.bmWidth);
  EXPECT_EQ(16, bm.bmHeight);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return pixels;
}

TEST(ResourceLibraryIcons, TheThreeIconsDiffer) {
  testenv::DemoDriver driver = testenv::InstallDemoDriver("Office Printer", "prw3test");
  HMODULE module = LoadLibraryA(driver.englishResources.c_str());
  ASSERT_NE(nullptr, module) << "error " << GetLastError();
  std::vector<std::vector<BYTE>> icons;
  for (int id = IDI_TRAYICON_0; id < IDI_TRAYICON_0 + TRAYICON_COUNT; ++id) {
    HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    ASSERT_NE(nullptr, icon) << id;
    icons.push_back(IconPixels(icon));
    DestroyIcon(icon);
  }
  FreeLibrary(module);
  testenv::UninstallDemoDriver();

  EXPECT_FALSE(icons[0].empty());
  EXPECT_NE(icons[0], icons[1]);
  EXPECT_NE(icons[1], icons[2]);
  EXPECT_NE(icons[0], icons[2]);
}

}  // namespace
