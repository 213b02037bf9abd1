// The demo driver's libraries as the resident loads them. The printer library gives the
// printer's target (by name, or by port for a printer without a name; whole names in any
// letter case) the tray defaults. The resource libraries hold icons 700 to 702, menu 801
// whose first sub-menu holds the placeholder 900 and command 901, and the texts and 16x16
// pictures of the auxiliary items (925 has no picture, 930 no text).
#include "profile/Contracts.h"
#include "support/DriverPackage.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

const std::string kData = "software\\OLMAR\\PRW3\\PRWData\\";

TEST(DemoDriver, PrinterLibraryWritesDefaultsIntoThePrintersTargetOnlyResourcesHoldWhatTheResidentLoads) {
  testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");  // what a run cut short left behind
  const testenv::DemoDriver driver = testenv::InstallDemoDriver("Office Printer", "prw3test");
  HMODULE library = LoadLibraryA(driver.printerLibrary.c_str());
  const auto setDefaults = reinterpret_cast<PFN_PrSetRegDefaultValue>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, PR_SET_REG_DEFAULT_VALUE)));
  ASSERT_NE(nullptr, setDefaults);
  auto call = [&](const char* printer, const char* port) { return setDefaults(printer, "prw3", port, "X", 0, 0, 0); };
  EXPECT_EQ(2, call("Office Printer", "")) << "no family key";
  const std::pair<std::string, const char*> targets[] = {{"VQLTarget\\P0", "Office Printer 2"},
                                                         {"VQLTarget\\P1", "office PRINTER"},
                                                         {"VQLTarget\\P2", "LPT1:"},
                                                         {"VQNTarget\\P0", "Office Printer"},
                                                         {"VQNTarget\\P3", "LPT1:"}};
  for (const auto& [key, name] : targets) testenv::SetRegString(HKEY_CURRENT_USER, kData + key, REG_TARGET_NAME, name);
  testenv::SetRegDword(HKEY_CURRENT_USER, kData + "VQLTarget\\P1", TRAY_ICON_SELECTED, 2);
  EXPECT_EQ(1, call("", "")) << "no name at all";
  EXPECT_EQ("0 0", std::to_string(call("Office Printer", "LPT1:")) + " " + std::to_string(call("", "lpt1:")));
  std::string seen;  // the two defaults of each target, "<" where absent
  for (const auto& target : targets)
    for (const char* value : {TRAY_ICON_ENABLE, TRAY_ICON_SELECTED})
      seen += testenv::GetReg(HKEY_CURRENT_USER, kData + target.first, value).substr(0, 1);
  EXPECT_EQ("<<10<<<<10", seen);
  {  // The family deleted under the search answers every index alike: the search ends.
    fault::CAlsoIn inLibrary(library);
    fault::CHook deleted("RegEnumKeyExA", ERROR_KEY_DELETED, fault::kEveryCall);
    EXPECT_EQ(3, call("office printer", ""));
    EXPECT_EQ(1u, deleted.Calls());
  }
  FreeLibrary(library);
  const std::pair<std::string, const char*> languages[] = {
      {driver.englishResources, "Monitoring Preferences|Print Test Page 16x16|Cleaning Utility 16x16|Online Help 0x0|"},
      {driver.germanResources,
       "Monitoring-Einstellungen|Testseite drucken 16x16|Reinigungsprogramm 16x16|Online-Hilfe 0x0|"}};
  for (const auto& [path, expected] : languages) {
    HMODULE res = LoadLibraryA(path.c_str());
    seen.clear();
    for (int id = IDI_TRAYICON_0; id < IDI_TRAYICON_0 + TRAYICON_COUNT; ++id)
      seen += DestroyIcon(static_cast<HICON>(LoadImageA(res, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0))) ? "i" : "";
    char text[MAX_PATH] = "";
    HMENU menu = LoadMenuA(res, MAKEINTRESOURCEA(IDR_TRAYMENU)), popup = GetSubMenu(menu, 0);
    GetMenuStringA(popup, ID_MONITORING_PREFERENCES, text, sizeof(text), MF_BYCOMMAND);
    seen += " " + std::to_string(GetMenuItemID(popup, 0)) + " " + text + "|";
    DestroyMenu(menu);
    for (UINT id : {920u, 921u, 925u, 930u}) {
      BITMAP bitmap = {};
      const HGDIOBJ loaded = LoadBitmapA(res, MAKEINTRESOURCEA(id));
      GetObjectA(loaded, sizeof(bitmap), &bitmap) && DeleteObject(loaded);
      seen += std::string(text, LoadStringA(res, id, text, sizeof(text))) + " " + std::to_string(bitmap.bmWidth) + "x" +
              std::to_string(bitmap.bmHeight) + "|";
    }
    FreeLibrary(res);
    EXPECT_EQ("iii 900 " + std::string(expected) + " 0x0|", seen) << path;
  }
  testenv::UninstallDemoDriver();
}

}  // namespace
