// The demo driver's resource libraries as the resident loads them, in both languages:
// icons 700 to 702 at 16x16, menu 801 whose first sub-menu holds the placeholder and
// command 901, and the texts and pictures of the auxiliary items (925 has no picture,
// 930 no text).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "profile/Contracts.h"
#include "support/DriverPackage.h"

namespace {

std::string String(HMODULE module, UINT id) {
  char text[MAX_PATH] = {0};
  return LoadStringA(module, id, text, sizeof(text)) > 0 ? text : "<none>";
}

class ResourceLibraryTest : public testing::Test {
protected:
  void SetUp() override { m_driver = testenv::InstallDemoDriver("Office Printer", "prw3test"); }
  void TearDown() override { testenv::UninstallDemoDriver(); }

  testenv::DemoDriver m_driver;
};

TEST_F(ResourceLibraryTest, HoldsWhatTheResidentLoads) {
  const struct {
    std::string path;
    const char* preferences;
    const char* testPage;
  } languages[] = {
      {m_driver.englishResources, "Monitoring Preferences", "Print Test Page"},
      {m_driver.germanResources, "Monitoring-Einstellungen", "Testseite drucken"},
  };
  for (const auto& language : languages) {
    SCOPED_TRACE(language.path);
    HMODULE module = LoadLibraryA(language.path.c_str());
    ASSERT_NE(nullptr, module) << "error " << GetLastError();

    for (int id = IDI_TRAYICON_0; id < IDI_TRAYICON_0 + TRAYICON_COUNT; ++id) {
      HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
      EXPECT_NE(nullptr, icon) << "icon " << id << ": error " << GetLastError();
      DestroyIcon(static_cast<HICON>(icon));
    }

    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_NE(nullptr, menu) << "error " << GetLastError();
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(ID_PRINTER_STATUS, GetMenuItemID(popup, 0)) << "the placeholder";
    char text[MAX_PATH] = {0};
    EXPECT_LT(0, GetMenuStringA(popup, ID_MONITORING_PREFERENCES, text, sizeof(text), MF_BYCOMMAND));
    EXPECT_STREQ(language.preferences, text);
    DestroyMenu(menu);

    EXPECT_EQ(language.testPage, String(module, 920));
    EXPECT_NE("<none>", String(module, 921));
    EXPECT_NE("<none>", String(module, 925));
    EXPECT_EQ("<none>", String(module, 930));
    for (UINT id : {920u, 921u}) {
      HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(id));
      ASSERT_NE(nullptr, bitmap) << id;
      BITMAP bm = {};
      EXPECT_EQ(static_cast<int>(sizeof(bm)), GetObjectA(bitmap, sizeof(bm), &bm));
      EXPECT_EQ(16, bm.bmWidth);
      EXPECT_EQ(16, bm.bmHeight);
      DeleteObject(bitmap);
    }
    EXPECT_EQ(nullptr, LoadBitmapA(module, MAKEINTRESOURCEA(925)));
    FreeLibrary(module);
  }
}

}  // namespace
