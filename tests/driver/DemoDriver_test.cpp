// The demo driver's libraries as the resident uses them. The printer library gives the
// printer's target (by name, or by port for a printer without a name; whole names in any
// letter case) the tray defaults. The German resource library gives the resident all the
// English one does: what the English one gives is shown by the resident's own tests.
#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

const std::string kData = "software\\OLMAR\\PRW3\\PRWData\\";

// What the resident takes from a resource library, its texts left out: the icons it can
// load, the pop-up's items (with "+" for a text), and the auxiliary items that have a text
// ("+") or a picture (its size).
std::string Resources(const std::string& path) {
  HMODULE res = LoadLibraryA(path.c_str());
  std::string found;
  for (int id = IDI_TRAYICON_0; id < IDI_TRAYICON_0 + TRAYICON_COUNT; ++id)
    found += DestroyIcon(static_cast<HICON>(LoadImageA(res, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0))) ? "i" : "-";
  char text[MAX_PATH] = "";
  HMENU menu = LoadMenuA(res, MAKEINTRESOURCEA(IDR_TRAYMENU));
  HMENU popup = GetSubMenu(menu, 0);
  for (int i = 0; i < GetMenuItemCount(popup); ++i)
    found += " " + std::to_string(GetMenuItemID(popup, i)) +
             (GetMenuStringA(popup, i, text, MAX_PATH, MF_BYPOSITION) ? "+" : "");
  DestroyMenu(menu);
  for (int id = AUX_FIRST_ID; id <= AUX_LAST_ID; ++id) {
    BITMAP bm = {};
    const HGDIOBJ hBitmap = LoadBitmapA(res, MAKEINTRESOURCEA(id));
    GetObjectA(hBitmap, sizeof(bm), &bm);
    DeleteObject(hBitmap);
    const bool bText = LoadStringA(res, id, text, sizeof(text)) > 0;
    if (bText || hBitmap)
      found += " " + std::to_string(id) + (bText ? "+" : "") + std::to_string(bm.bmWidth) + "x" +
               std::to_string(bm.bmHeight);
  }
  FreeLibrary(res);
  return found;
}

TEST(DemoDriver, PrinterLibraryWritesDefaultsIntoThePrintersTargetResourcesHoldWhatTheResidentLoads) {
  testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");  // what a run cut short left behind
  const testenv::DemoDriver driver = testenv::InstallDemoDriver("Office Printer", "prw3test");
  HMODULE library = LoadLibraryA(driver.printerLibrary.c_str());
  const auto setDefaults = reinterpret_cast<PFN_PrSetRegDefaultValue>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, PR_SET_REG_DEFAULT_VALUE)));
  ASSERT_NE(nullptr, setDefaults);
  auto call = [&](const char* printer, const char* port) { return setDefaults(printer, "prw3", port, "X", 0, 0, 0); };
  // No family key.
  EXPECT_EQ(2, call("Office Printer", ""));
  const std::pair<std::string, const char*> targets[] = {{"VQLTarget\\P0", "Office Printer 2"},
                                                         {"VQLTarget\\P1", "office PRINTER"},
                                                         {"VQLTarget\\P2", "LPT1:"},
                                                         {"VQNTarget\\P0", "Office Printer"},
                                                         {"VQNTarget\\P3", "LPT1:"}};
  for (const auto& [key, name] : targets) testenv::SetRegString(HKEY_CURRENT_USER, kData + key, REG_TARGET_NAME, name);
  testenv::SetRegDword(HKEY_CURRENT_USER, kData + "VQLTarget\\P1", TRAY_ICON_SELECTED, 2);
  // No name at all.
  EXPECT_EQ(1, call("", ""));
  EXPECT_EQ(0, call("Office Printer", "LPT1:"));
  EXPECT_EQ(0, call("", "lpt1:"));
  std::string seen;  // the two defaults of each target, "<" where absent
  for (const auto& target : targets)
    for (const char* value : {TRAY_ICON_ENABLE, TRAY_ICON_SELECTED})
      seen += testenv::GetReg(HKEY_CURRENT_USER, kData + target.first, value).substr(0, 1);
  EXPECT_EQ("<<10<<<<10", seen);
  {  // The family deleted under the search answers every index alike: the search ends.
    fault::CAlsoIn inLibrary(library);
    fault::CHook deleted("RegEnumKeyExA", ERROR_KEY_DELETED);
    EXPECT_EQ(3, call("office printer", ""));
  }
  FreeLibrary(library);
  const std::string english = Resources(driver.englishResources);
  const std::string menu =
      "iii " + std::to_string(ID_PRINTER_STATUS) + "+ " + std::to_string(ID_MONITORING_PREFERENCES);
  EXPECT_EQ(menu + "+ ", english.substr(0, menu.size() + 2));
  EXPECT_EQ(english, Resources(driver.germanResources));
  testenv::UninstallDemoDriver();
}

}  // namespace
