// The tray icon's pop-up menu: its items and separators from the driver's registry, the
// owner-drawn items' geometry and colours, the protocol that lets a click elsewhere end
// it, the close gesture, and a tick or a click under the open menu.
#include "support/Resident.h"

namespace {

using TrayMenuTest = ResidentTest;

// A step that writes a string value under HKEY_LOCAL_MACHINE.
std::function<void()> Set(const char* pszKey, const char* pszName, const std::string& value) {
  return [=] { testenv::SetRegString(HKEY_LOCAL_MACHINE, pszKey, pszName, value); };
}

TEST_F(TrayMenuTest, ItemsSeparatorsAndTheDepExeItem) {
  // The resource library has a text for 998 too.
  auto text998 = FAULT_REPLACE(LoadStringA, [](auto real, HINSTANCE h, UINT nID, LPSTR psz, int cch) {
    return nID == 998 ? lstrlenA(lstrcpynA(psz, "Last", cch)) : real(h, nID, psz, cch);
  });
  const auto noUrl = [] { testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL"); };
  const auto noRecords = [this] { Keep(std::make_shared<fault::CFailNew>(1)); };
  // The arrangement; the items after the first two. 930 has a command but no text: it is
  // no item, and no shown item for the separators.
  const std::pair<Steps, std::string> cases[] = {
      {{}, ", -, 920, -, 921, 925"},
      // Without the IO_URL key the DepExe item goes. "3,2": the third shown item never comes.
      {{noUrl, Set(kMenuKey, "Separators", "3,2")}, ", -, 920, 921"},
      // The DepExe name matched in upper case.
      {{noUrl, Set(kDriverKey, "DepExe", "c:\\dir\\o_paux.exe")}, ", -, 920, -, 921"},
      // The first item naming DepExe and MENU is the DepExe item.
      {{noUrl, Set(kMenuKey, "921", "\"" + m_driver.installDir + "\\O_PAUX.EXE\" /MENU")}, ", -, 920, -, 925"},
      // The DepExe item may be the last command.
      {{noUrl, Set(kMenuKey, "925", "x.exe"), Set(kMenuKey, "998", "C:\\O_PAUX.EXE /menu")}, ", -, 920, -, 921, 925"},
      // "0,2" places none.
      {{Set(kMenuKey, "Separators", "0,2")}, ", -, 920, 921, 925"},
      // A DepExe without a backslash names no item.
      {{noUrl, Set(kDriverKey, "DepExe", "O_PAUX.EXE")}, ", -, 920, -, 921, 925"},
      // Blanks, a plus sign and a zero before a number, blanks after it; a negative one is
      // never reached.
      {{Set(kMenuKey, "Separators", " +01 , 3 ,-4")}, ", -, -, 920, 921, -, 925"},
      // Tabs, line ends and feeds are blanks too.
      {{Set(kMenuKey, "Separators", "\t\r\n\v\f3")}, ", -, 920, 921, -, 925"},
      // A command present but empty gives no item, though its text exists.
      {{Set(kMenuKey, "921", "")}, ", -, 920, -, 925"},
      // No Menu key: the resource menu alone.
      {{[] { testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kMenuKey); }}, ""},
      // No item records (their allocation failed): plain text items.
      {{noRecords}, ", -, \"Print Test Page\" 920, -, \"Cleaning Utility\" 921, \"Online Help\" 925"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& [arrange, expected] = cases[i];
    Reinstall();
    for (const auto& step : arrange) step();
    Run("", {[] { Tray(WM_RBUTTONDOWN); }});
    EXPECT_EQ("\"prw3test\" 900 default, \"Monitoring Preferences\" 901" + expected, MenuShown()) << i;
  }
  // The item records are held while the menu may draw them, and given up without a Menu key.
  for (const int nHeld : {1, 0}) {
    Reinstall();
    if (!nHeld) testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kMenuKey);
    const int nBefore = fault::BlocksHeld();
    Run("", {[=] { EXPECT_EQ(nHeld, fault::BlocksHeld() - nBefore); }});
  }
  // Asked for the DepExe name without room for it, the frame writes nothing.
  testenv::CGuarded none(0);
  Run("", {[&] { EXPECT_FALSE(g_pMainFrame->GetDepExeName(none, 0)); }});
}

// Run at 96 DPI and, by scripts/test, again at 144.
TEST_F(TrayMenuTest, OwnerDrawnItemsGeometryColoursAndTextsAtTheDisplayScale) {
  // 920 has the demo's 16 x 16 picture, 921 one of 24 x 12, 925 none. Each item is drawn
  // into a 32-bit bitmap; the calls that draw it are recorded as their name and numbers.
  auto pictures = FAULT_REPLACE(LoadBitmapA, [](auto real, HINSTANCE h, LPCSTR psz) {
    return psz == MAKEINTRESOURCEA(921) ? CreateBitmap(24, 12, 1, 32, nullptr) : real(h, psz);
  });
  const auto call = [](std::string name, std::initializer_list<int> numbers) {
    for (int n : numbers) name += " " + std::to_string(n);
    return name;
  };
  std::vector<std::string> calls;
  auto blit =
      FAULT_REPLACE(BitBlt, [&](auto real, HDC hdc, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop) {
        calls.push_back(call(rop == SRCCOPY ? "blit" : "rop?", {x, y, cx, cy}));
        return real(hdc, x, y, cx, cy, src, sx, sy, rop);
      });
  // A picture stretched smoothly, or "rough".
  auto stretch = FAULT_REPLACE(
      StretchBlt,
      [&](auto real, HDC hdc, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, DWORD rop) {
        calls.push_back(
            call(GetStretchBltMode(hdc) == HALFTONE && rop == SRCCOPY ? "stretch" : "rough", {x, y, cx, cy}));
        return real(hdc, x, y, cx, cy, src, sx, sy, scx, scy, rop);
      });
  auto text = FAULT_REPLACE(TextOutA, [&](auto real, HDC hdc, int x, int y, LPCSTR psz, int cch) {
    calls.push_back(call(std::string(psz, cch), {x, y}));
    return real(hdc, x, y, psz, cch);
  });
  HDC hdc = CreateCompatibleDC(nullptr);
  HGDIOBJ hOld = SelectObject(hdc, CreateBitmap(200, 60, 1, 32, nullptr));
  // The display's font, as a fresh context has it.
  SIZE extent = {};
  GetTextExtentPoint32A(hdc, "Print Test Page", 15, &extent);
  // Items as high as the platform's menu items at this scale.
  const int nDpi = GetDeviceCaps(hdc, LOGPIXELSX);
  EXPECT_EQ(testenv::AskedDpi(), nDpi);
  const auto scaled = [nDpi](int n) { return MulDiv(n, nDpi, USER_DEFAULT_SCREEN_DPI); };
  const int cy = GetSystemMetrics(SM_CYMENU);
  const RECT rc = {10, 20, 190, 20 + cy};
  // Commands outside the records are neither measured nor drawn; the context is left as
  // it was found.
  const auto drawEach = [&] {
    EXPECT_EQ(GetSystemMetrics(SM_CXMENUCHECK) + extent.cx, Measure(920).cx);
    for (UINT id : {919u, 920u, 921u, 925u, 999u}) {
      const bool bOutside = id == 919u || id == 999u;
      EXPECT_EQ(bOutside ? 0 : cy, Measure(id).cy) << id;
      const COLORREF crFill =
          bOutside ? GetPixel(hdc, 189, 19 + cy) : GetSysColor(id == 921u ? COLOR_HIGHLIGHT : COLOR_MENU);
      SetTextColor(hdc, RGB(1, 2, 3));
      SetBkColor(hdc, RGB(4, 5, 6));
      SetStretchBltMode(hdc, BLACKONWHITE);
      Draw(id, hdc, rc, id == 921u ? UINT(ODS_SELECTED) : 0u);
      EXPECT_EQ(crFill, GetPixel(hdc, 189, 19 + cy)) << id;
      EXPECT_EQ(RGB(1, 2, 3), GetTextColor(hdc)) << id;
      EXPECT_EQ(RGB(4, 5, 6), GetBkColor(hdc)) << id;
      EXPECT_EQ(BLACKONWHITE, GetStretchBltMode(hdc)) << id;
    }
  };
  Run("", {[] { Tray(WM_RBUTTONDOWN); }, drawEach});
  DeleteObject(SelectObject(hdc, hOld));
  DeleteDC(hdc);
  // The picture 4 from the left, centred; the text after its width and a gap of 14, or
  // 30 in; each offset scaled. A 16-pixel picture grows smoothly with the scale; one of
  // 24 is drawn as it is.
  const int y = 20 + (cy - extent.cy) / 2;
  const std::vector<std::string> drawn = {
      call(scaled(16) == 16 ? "blit" : "stretch", {10 + scaled(4), 20 + (cy - scaled(16)) / 2, scaled(16), scaled(16)}),
      call("Print Test Page", {10 + scaled(30), y}),
      call("blit", {10 + scaled(4), 20 + (cy - 12) / 2, 24, 12}),
      call("Cleaning Utility", {10 + 24 + scaled(14), y}),
      call("Online Help", {10 + scaled(30), y}),
  };
  EXPECT_EQ(drawn, calls) << nDpi;
  // A screen reader names each item by the text drawn, in UTF-16.
  EXPECT_EQ(L"Print Test Page, Cleaning Utility, Online Help", MenuNames());
}

TEST_F(TrayMenuTest, ClickElsewhereEndsTheMenuTheCloseGestureAndATickOrAClickUnderTheOpenMenu) {
  // A tray menu closes on a click elsewhere only when its owner was brought to the
  // foreground before it, and is sent a message after it (TrackPopupMenu's documented
  // remark); Wine closes its menus either way, so the protocol is what is checked, for
  // the first menu and the next. Ctrl+Shift+Space with the right button closes the
  // resident without a menu; two of the keys do not.
  for (bool bSpace : {false, true}) {
    auto keys = FAULT_REPLACE(GetAsyncKeyState, [bSpace](auto, int vk) -> SHORT {
      return (vk == VK_CONTROL || vk == VK_SHIFT || (vk == VK_SPACE && bSpace)) ? SHORT(0x8000) : SHORT(0);
    });
    Run("", Steps(bSpace ? 1 : 2, [] { Tray(WM_RBUTTONDOWN); }));
    EXPECT_EQ(bSpace ? "foreground" : "foreground\nmenu 2 owner\nnull\nforeground\nmenu 2 owner\nnull",
              Lines({"foreground", "menu", "null"}));
  }

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
  Run("", {[] { Tray(WM_RBUTTONDOWN); }});
  EXPECT_EQ("menu 2 owner", Lines({"menu"}));
  EXPECT_EQ("", Left());
}

}  // namespace
