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

// Run at 96 DPI and, by scripts/test, again at 144.
TEST_F(TrayMenuTest, OwnerDrawnItemsGeometryColoursAndTextsAtTheDisplayScale) {
  // 920 has the demo's 16 x 16 picture, 921 one of 24 x 12, 925 none. Each item is drawn
  // into a 32-bit bitmap; the calls that draw it are recorded.
  auto pictures = FAULT_REPLACE(LoadBitmapA, [](auto real, HINSTANCE h, LPCSTR psz) {
    return psz == MAKEINTRESOURCEA(921) ? CreateBitmap(24, 12, 1, 32, nullptr) : real(h, psz);
  });
  std::vector<std::string> calls;
  const auto at = [](int x, int y, int cx, int cy) {
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(cx) + "x" + std::to_string(cy);
  };
  auto blit =
      FAULT_REPLACE(BitBlt, [&](auto real, HDC hdc, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop) {
        calls.push_back("blit " + at(x, y, cx, cy) + (rop == SRCCOPY ? "" : " rop?"));
        return real(hdc, x, y, cx, cy, src, sx, sy, rop);
      });
  auto stretch = FAULT_REPLACE(
      StretchBlt,
      [&](auto real, HDC hdc, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy, DWORD rop) {
        const bool bSmooth = GetStretchBltMode(hdc) == HALFTONE && rop == SRCCOPY;
        calls.push_back("stretch " + at(x, y, cx, cy) + (bSmooth ? "" : " rough"));
        return real(hdc, x, y, cx, cy, src, sx, sy, scx, scy, rop);
      });
  std::wstring names;
  auto text = FAULT_REPLACE(TextOutA, [&](auto real, HDC hdc, int x, int y, LPCSTR psz, int cch) {
    calls.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " + std::string(psz, cch));
    WCHAR szName[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, psz, cch, szName, MAX_PATH);
    names += (names.empty() ? L"" : L", ") + std::wstring(szName);
    return real(hdc, x, y, psz, cch);
  });
  HBITMAP hTarget = CreateBitmap(200, 60, 1, 32, nullptr);
  HDC hdc = CreateCompatibleDC(nullptr);
  HGDIOBJ hOld = SelectObject(hdc, hTarget);
  HDC hic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  SIZE line = {};
  SIZE extent = {};
  GetTextExtentPoint32A(hdc, "x", 1, &line);
  GetTextExtentPoint32A(hic, "Print Test Page", 15, &extent);
  DeleteDC(hic);
  // Items as high as the platform's menu items at this scale.
  const int nDpi = GetDeviceCaps(hdc, LOGPIXELSX);
  const auto scaled = [nDpi](int n) { return MulDiv(n, nDpi, USER_DEFAULT_SCREEN_DPI); };
  const int cy = GetSystemMetrics(SM_CYMENU);
  const RECT rc = {10, 20, 190, 20 + cy};
  // Commands outside the records are neither measured nor drawn.
  const auto drawEach = [&] {
    const SIZE size = Measure(920);
    EXPECT_EQ(GetSystemMetrics(SM_CXMENUCHECK) + extent.cx, size.cx);
    EXPECT_EQ(cy, size.cy);
    for (UINT id : {919u, 920u, 921u, 925u, 999u}) {
      const bool bOutside = id == 919u || id == 999u;
      EXPECT_EQ(bOutside, Measure(id).cy == 0) << id;
      const COLORREF crFill =
          bOutside ? GetPixel(hdc, 189, rc.bottom - 1) : GetSysColor(id == 921u ? COLOR_HIGHLIGHT : COLOR_MENU);
      SetTextColor(hdc, RGB(1, 2, 3));
      SetBkColor(hdc, RGB(4, 5, 6));
      SetStretchBltMode(hdc, BLACKONWHITE);
      Draw(id, hdc, rc, id == 921u ? UINT(ODS_SELECTED) : 0u);
      EXPECT_EQ(crFill, GetPixel(hdc, 189, rc.bottom - 1)) << id;
      EXPECT_EQ(RGB(1, 2, 3), GetTextColor(hdc)) << id << ": the context is left as it was found";
      EXPECT_EQ(RGB(4, 5, 6), GetBkColor(hdc)) << id;
      EXPECT_EQ(BLACKONWHITE, GetStretchBltMode(hdc)) << id;
    }
  };
  EXPECT_EQ(0, Run("", {[] { Tray(WM_RBUTTONDOWN); }, drawEach}));
  SelectObject(hdc, hOld);
  DeleteDC(hdc);
  DeleteObject(hTarget);
  // The picture 4 from the left, centred; the text after its width and a gap of 14, or
  // 30 in; each offset scaled. A 16-pixel picture grows smoothly with the scale; one of
  // 24 is drawn as it is.
  const int y = rc.top + (cy - line.cy) / 2;
  const std::string picture = scaled(16) == 16 ? "blit " : "stretch ";
  const std::vector<std::string> drawn = {
      picture + at(10 + scaled(4), rc.top + (cy - scaled(16)) / 2, scaled(16), scaled(16)),
      "text " + std::to_string(10 + scaled(30)) + "," + std::to_string(y) + " Print Test Page",
      "blit " + at(10 + scaled(4), rc.top + (cy - 12) / 2, 24, 12),
      "text " + std::to_string(10 + 24 + scaled(14)) + "," + std::to_string(y) + " Cleaning Utility",
      "text " + std::to_string(10 + scaled(30)) + "," + std::to_string(y) + " Online Help",
  };
  EXPECT_EQ(drawn, calls) << nDpi << " DPI";
  // A screen reader names each item by the text drawn, in UTF-16.
  EXPECT_EQ(names, MenuNames());
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
