// The tray icon's pop-up menu: its items and separators from the driver's registry, the
// owner-drawn items' geometry and colours, the protocol that lets a click elsewhere end
// it, the close gesture, and a tick or a click under the open menu.
#include "support/Resident.h"

#include "frame/MainFrame.h"

namespace {

using TrayMenuTest = ResidentTest;

void Set(const char* pszKey, const char* pszName, const std::string& value) {
  testenv::SetRegString(HKEY_LOCAL_MACHINE, pszKey, pszName, value);
}

TEST_F(TrayMenuTest, ItemsSeparatorsAndTheDepExeItem) {
  // Whether the IO_URL key stays; the items after the first two. 930 has a command but no
  // text: it is no item, and no shown item for the separators.
  const std::tuple<const char*, bool, std::function<void()>, std::string> cases[] = {
      {"installed", true, [] {}, "-, 920, -, 921, 925"},
      // Without the IO_URL key the DepExe item goes.
      {"\"3,2\": the third shown item never comes", false, [] { Set(kMenuKey, "Separators", "3,2"); }, "-, 920, 921"},
      {"the DepExe name matched in upper case",
       false,
       [] { Set(kDriverKey, "DepExe", "c:\\dir\\o_paux.exe"); },
       "-, 920, -, 921"},
      {"the first item naming DepExe and MENU is the DepExe item",
       false,
       [this] { Set(kMenuKey, "921", "\"" + m_driver.installDir + "\\O_PAUX.EXE\" /MENU"); },
       "-, 920, -, 925"},
      // The resource library with a text for the last command too.
      {"the DepExe item may be the last command",
       false,
       [this] {
         Set(kMenuKey, "925", "C:\\help.exe");
         Set(kMenuKey, "998", "C:\\O_PAUX.EXE /menu");
         Keep(std::make_shared<fault::CReplace<decltype(&LoadStringA)>>(
             "LoadStringA", [](auto real, HINSTANCE h, UINT nID, LPSTR psz, int cch) {
               return nID == 998 ? lstrlenA(lstrcpynA(psz, "Last", cch)) : real(h, nID, psz, cch);
             }));
       },
       "-, 920, -, 921, 925"},
      {"\"0,2\" places none", true, [] { Set(kMenuKey, "Separators", "0,2"); }, "-, 920, 921, 925"},
      {"a DepExe without a backslash names no item",
       false,
       [] { Set(kDriverKey, "DepExe", "O_PAUX.EXE"); },
       "-, 920, -, 921, 925"},
      {"blanks, a plus sign and a zero before a number, blanks after it; a negative one is never reached",
       true,
       [] { Set(kMenuKey, "Separators", " +01 , 3 ,-4"); },
       "-, -, 920, 921, -, 925"},
      {"a command present but empty gives no item, though its text exists",
       true,
       [] { Set(kMenuKey, "921", ""); },
       "-, 920, -, 925"},
      {"no Menu key: the resource menu alone", true, [] { testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kMenuKey); }, ""},
      {"no item records (their allocation failed): plain text items",
       true,
       [this] { Keep(std::make_shared<fault::CFailNew>(1)); },
       "-, \"Print Test Page\" 920, -, \"Cleaning Utility\" 921, \"Online Help\" 925"},
  };
  for (const auto& [why, ioUrl, arrange, expected] : cases) {
    Reinstall();
    if (!ioUrl) testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL");
    arrange();
    EXPECT_EQ(0, Run("", {[] { Tray(WM_RBUTTONDOWN); }}));
    ReleaseHooks();
    EXPECT_EQ("\"prw3test\" 900 default, \"Monitoring Preferences\" 901" + (expected.empty() ? "" : ", " + expected),
              MenuShown())
        << why;
  }
  // Asked for the DepExe name without room for it, the frame writes nothing.
  testenv::CGuarded none(0);
  EXPECT_EQ(0, Run("", {[&] { EXPECT_FALSE(g_pMainFrame->GetDepExeName(none, 0)); }}));
}

TEST_F(TrayMenuTest, OwnerDrawnItemsGeometryColoursAndTexts) {
  // 920 has the demo's 16 x 16 picture, 921 one of 24 x 12, 925 none. Each item is drawn
  // into a 32-bit bitmap; the calls that draw it are recorded.
  auto pictures = FAULT_REPLACE(LoadBitmapA, [](auto real, HINSTANCE h, LPCSTR psz) {
    return psz == MAKEINTRESOURCEA(921) ? CreateBitmap(24, 12, 1, 32, nullptr) : real(h, psz);
  });
  std::vector<std::string> calls;
  const auto at = [](int x, int y) { return std::to_string(x) + "," + std::to_string(y) + " "; };
  auto blit =
      FAULT_REPLACE(BitBlt, [&](auto real, HDC hdc, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop) {
        calls.push_back("blit " + at(x, y) + std::to_string(cx) + "x" + std::to_string(cy) +
                        (rop == SRCCOPY ? "" : " rop?"));
        return real(hdc, x, y, cx, cy, src, sx, sy, rop);
      });
  auto text = FAULT_REPLACE(TextOutA, [&](auto real, HDC hdc, int x, int y, LPCSTR psz, int cch) {
    calls.push_back("text " + at(x, y) + std::string(psz, cch));
    return real(hdc, x, y, psz, cch);
  });
  HBITMAP hTarget = CreateBitmap(200, 40, 1, 32, nullptr);
  HDC hdc = CreateCompatibleDC(nullptr);
  HGDIOBJ hOld = SelectObject(hdc, hTarget);
  HDC hic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  SIZE line = {};
  SIZE extent = {};
  GetTextExtentPoint32A(hdc, "x", 1, &line);
  GetTextExtentPoint32A(hic, "Print Test Page", 15, &extent);
  DeleteDC(hic);
  const int y = 20 + (19 - line.cy) / 2;  // where text of the font's height lands in an item 19 pixels high
  // Commands outside the records are neither measured nor drawn.
  const auto drawEach = [&] {
    const SIZE size = Measure(920);
    EXPECT_EQ(GetSystemMetrics(SM_CXMENUCHECK) + extent.cx, size.cx);
    EXPECT_EQ(GetSystemMetrics(SM_CYMENU), size.cy);
    for (UINT id : {919u, 920u, 921u, 925u, 999u}) {
      const bool bOutside = id == 919u || id == 999u;
      EXPECT_EQ(bOutside, Measure(id).cy == 0) << id;
      const COLORREF crFill =
          bOutside ? GetPixel(hdc, 189, 38) : GetSysColor(id == 921u ? COLOR_HIGHLIGHT : COLOR_MENU);
      SetTextColor(hdc, RGB(1, 2, 3));
      SetBkColor(hdc, RGB(4, 5, 6));
      Draw(id, hdc, {10, 20, 190, 39}, id == 921u ? UINT(ODS_SELECTED) : 0u);
      EXPECT_EQ(crFill, GetPixel(hdc, 189, 38)) << id;
      EXPECT_EQ(RGB(1, 2, 3), GetTextColor(hdc)) << id << ": the context is left as it was found";
      EXPECT_EQ(RGB(4, 5, 6), GetBkColor(hdc)) << id;
    }
  };
  EXPECT_EQ(0, Run("", {drawEach}));
  SelectObject(hdc, hOld);
  DeleteDC(hdc);
  DeleteObject(hTarget);
  // The picture at the left, centred; the text after its width and a gap, or 30 pixels in.
  const std::vector<std::string> drawn = {
      "blit 14,21 16x16",
      "text " + at(40, y) + "Print Test Page",
      "blit 14,23 24x12",
      "text " + at(48, y) + "Cleaning Utility",
      "text " + at(40, y) + "Online Help",
  };
  EXPECT_EQ(drawn, calls);
}

TEST_F(TrayMenuTest, ClickElsewhereEndsTheMenuAndTheCloseGesture) {
  // A tray menu closes on a click elsewhere only when its owner was brought to the
  // foreground before it, and is sent a message after it (TrackPopupMenu's documented
  // remark); Wine closes its menus either way, so the protocol is what is checked, for
  // the first menu and the next. Ctrl+Shift+Space with the right button closes the
  // resident without a menu; two of the keys do not.
  for (int nKeys : {2, 3}) {
    auto keys = FAULT_REPLACE(GetAsyncKeyState, [nKeys](auto, int vk) -> SHORT {
      return (vk == VK_CONTROL || vk == VK_SHIFT || (vk == VK_SPACE && nKeys == 3)) ? SHORT(0x8000) : SHORT(0);
    });
    Journal().clear();
    EXPECT_EQ(0, Run("", std::vector<std::function<void()>>(nKeys == 3 ? 1 : 2, [] { Tray(WM_RBUTTONDOWN); })));
    EXPECT_EQ(nKeys == 3 ? "foreground" : "foreground\nmenu 2 owner\nnull\nforeground\nmenu 2 owner\nnull",
              Lines({"foreground", "menu", "null"}))
        << nKeys;
  }
}

TEST_F(TrayMenuTest, ATickOrAClickUnderTheOpenMenu) {
  // A click on the icon while its menu is open opens no second menu. A tick while the menu
  // is open finds the printer deleted: the window closes under the open menu, whose loop
  // dispatches the close, and the menu ends without using what was destroyed.
  WhileMenuOpen([this] {
    SendMessageA(Window(), WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
    Spooler(ERROR_INVALID_PRINTER_NAME);
    SendMessageA(Window(), WM_TIMER, DELPRN_TIMER_ID, 0);
    // The menu's own loop: it dispatches what is posted and leaves the quit for the program's.
    MSG msg = {};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) DispatchMessageA(&msg);
    if (msg.message == WM_QUIT) PostQuitMessage(static_cast<int>(msg.wParam));
  });
  EXPECT_EQ(0, Run("", {[] { Tray(WM_RBUTTONDOWN); }}));
  EXPECT_EQ("menu 2 owner", Lines({"menu"}));
  EXPECT_FALSE(HasRunEntry());
}

}  // namespace
