#include "support/Resident.h"
#include "frame/MainFrame.h"

TEST_F(ResidentTest, Smoke) {
  EnableDebugLog();
  std::string items;
  HWND holder = nullptr;
  EXPECT_EQ(0, Run("", {[&] { items = MenuItems(); holder = TableHolder(); }, [] { Tray(WM_RBUTTONDOWN); },
                        [] { PostMessageA(Window(), WM_COMMAND, ID_PRINTER_STATUS, 0); }}));
  for (auto& l : Journal()) printf("J: %s\n", l.c_str());
  printf("%s", items.c_str());
  EXPECT_NE(nullptr, holder);
  printf("%s\n", testenv::ReadFile(DEBUG_LOG_PATH).c_str());
}
