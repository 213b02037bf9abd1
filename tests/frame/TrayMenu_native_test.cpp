// The tray icon's pop-up menu: its items and separators from the driver's registry, the
// owner-drawn items' geometry and colours, a click outside, the close gesture and a tick
// under the open menu.
#include "support/ResidentHarness.h"

#include <tuple>

namespace {

const char kMenuKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test\\Menu";
const char kIoUrlKey[] = "Software\\OLMAR\\prw3test IO_URL";

using TrayMenuTest = ResidentTest;

TEST_F(TrayMenuTest, ItemsSeparatorsAndTheDepExeItem) {
  const std::string top = "\"" + testenv::ExistingPrinter() + "\" 900 default\n\"Monitoring Preferences\" 901\n";
  auto set = [](const char* pszKey, const char* pszName, const std::string& value) {
    testenv::SetRegString(HKEY_LOCAL_MACHINE, pszKey, pszName, value);
  };
  const struct {
    const char* why;
    bool ioUrl;
    std::function<void()> arrange;
    std::string items;
  } cases[] = {
      // 930 has a command but no text: it is no item and no shown item for the separators.
      {"installed", true, [] {}, "---\nownerdraw 920\n---\nownerdraw 921\nownerdraw 925\n"},
      {"no IO_URL key: the DepExe item 925 goes; \"3,2\": the third shown item never comes", false,
       [&] { set(kMenuKey, "Separators", "3,2"); }, "---\nownerdraw 920\nownerdraw 921\n"},
      {"the DepExe name is matched in upper case", false, [&] { set(kDriverKey, "DepExe", "c:\\dir\\o_paux.exe"); },
       "---\nownerdraw 920\n---\nownerdraw 921\n"},
      {"the first item naming DepExe and MENU is the DepExe item", false,
       [&] { set(kMenuKey, "921", "\"" + m_driver.installDir + "\\O_PAUX.EXE\" /MENU"); },
       "---\nownerdraw 920\n---\nownerdraw 925\n"},
      {"\"0,2\" places none; a DepExe without a backslash names no item", false,
       [&] { set(kMenuKey, "Separators", "0,2"), set(kDriverKey, "DepExe", "O_PAUX.EXE"); },
       "---\nownerdraw 920\nownerdraw 921\nownerdraw 925\n"},
      {"blanks, a plus sign and a zero before a number; a negative one is never reached", true,
       [&] { set(kMenuKey, "Separators", " +01, 3,-4"); },
       "---\n---\nownerdraw 920\nownerdraw 921\n---\nownerdraw 925\n"},
      {"no Menu key: the resource menu alone", true, [] { testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kMenuKey); }, ""},
  };
  for (const auto& c : cases) {
    ResetMachine();
    if (!c.ioUrl) testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kIoUrlKey);
    c.arrange();
    std::string dump;
    EXPECT_EQ(0, RunAndClose("", {[&] { dump = OpenMenu(winsim::MenuScript().Cancel()); }}));
    EXPECT_EQ(top + c.items, dump) << c.why;
  }
}

TEST_F(TrayMenuTest, OwnerDrawnItemsGeometryColoursAndTexts) {
  // 920 has the demo's 16 x 16 picture, 921 one 24 pixels wide, 925 and 998 (the last
  // command) none. Texts are drawn as they are, an ampersand is no mnemonic, and cut to 259.
  UseResources("801 MENU\nBEGIN\n POPUP \"P\"\n BEGIN\n  MENUITEM \"x\", 900\n END\nEND\n920 BITMAP \"testpage.bmp\"\n"
               "STRINGTABLE\nBEGIN\n 920 \"Tests & Tools\"\n 921 \"" +
               std::string(300, 'w') + "\"\n 925 \"Online Help\"\n 998 \"Last\"\nEND\n")
      ->bitmaps[921] = SIZE{24, 12};
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "998", "C:\\last.exe");
  // Requests for commands outside the records are neither measured nor drawn.
  DRAWITEMSTRUCT draw = {};
  MEASUREITEMSTRUCT measure = {};
  draw.rcItem = RECT{0, 0, 100, 19};
  EXPECT_EQ(0, RunAndClose("", {[] { OpenMenu(winsim::MenuScript().Highlight(920).Highlight(921).Cancel()); }, [&] {
                             draw.hDC = CreateCompatibleDC(nullptr);
                             for (UINT id : {AUX_FIRST_ID - 1, AUX_LAST_ID + 1}) {
                               draw.itemID = measure.itemID = id;
                               SendMessageA(ResidentWindow(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
                               SendMessageA(ResidentWindow(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
                             }
                             DeleteDC(draw.hDC);
                           }}));
  EXPECT_TRUE(winsim::DisplayList(draw.hDC).empty());
  EXPECT_EQ(0u, measure.itemWidth + measure.itemHeight);
  const winsim::TrackPopupMenuCall call = winsim::TrackPopupMenuCalls().at(0);
  EXPECT_TRUE(call.dcChangedBy.empty()) << "each draw leaves the menu's context as it found it";
  ASSERT_EQ(4u, call.measures.size());
  EXPECT_EQ(static_cast<UINT>(winsim::kMenuHeight), call.measures[0].itemHeight);
  EXPECT_EQ(static_cast<UINT>(winsim::kMenuCheckWidth + 13 * winsim::kCharWidth), call.measures[0].itemWidth)
      << "check-mark width plus the extent of the text";
  // The last draw of each item: fill, picture (if any) and text, in that order; the text
  // after the picture's width and a gap, or 30 pixels in without one.
  const struct {
    UINT id;
    bool selected;
    int bitmapWidth, bitmapHeight;  // 0: none
    std::string text;
  } expected[] = {{920, false, 16, 16, "Tests & Tools"},
                  {921, true, 24, 12, std::string(259, 'w')},
                  {925, false, 0, 0, "Online Help"},
                  {998, false, 0, 0, "Last"}};
  using Kind = winsim::DrawOp::Kind;
  for (const auto& e : expected) {
    const DRAWITEMSTRUCT* pDraw = nullptr;
    for (const DRAWITEMSTRUCT& d : call.draws)
      if (d.itemID == e.id) pDraw = &d;
    ASSERT_TRUE(pDraw && (pDraw->itemState & ODS_SELECTED) == (e.selected ? ODS_SELECTED : 0u)) << e.id;
    const RECT& rc = pDraw->rcItem;
    ASSERT_EQ(19, rc.bottom - rc.top);
    std::vector<winsim::DrawOp> ops;
    for (const winsim::DrawOp& op : winsim::DisplayList(call.hdc))
      if (op.rect.top >= rc.top && op.rect.top < rc.bottom) ops.push_back(op);
    const size_t nOps = e.bitmapWidth ? 3 : 2;
    ASSERT_GE(ops.size(), nOps) << e.id;
    const winsim::DrawOp &fill = ops[ops.size() - nOps], &blit = ops[ops.size() - 2], &text = ops.back();
    const COLORREF crBack = e.selected ? winsim::kColorHighlight : winsim::kColorMenu;
    EXPECT_EQ(std::make_tuple(Kind::FillRect, crBack), std::make_tuple(fill.kind, fill.color)) << e.id;
    if (e.bitmapWidth) {
      EXPECT_EQ(std::make_tuple(Kind::BitBlt, rc.left + 4, rc.top + (19 - e.bitmapHeight) / 2, e.bitmapWidth,
                                DWORD(SRCCOPY)),
                std::make_tuple(blit.kind, blit.rect.left, blit.rect.top, blit.rect.right - blit.rect.left, blit.rop))
          << e.id;
    }
    EXPECT_EQ(std::make_tuple(Kind::TextOut, rc.left + (e.bitmapWidth ? e.bitmapWidth + 14 : 30),
                              rc.top + (19 - winsim::kCharHeight) / 2, e.text,
                              e.selected ? winsim::kColorHighlightText : winsim::kColorMenuText, crBack),
              std::make_tuple(text.kind, text.rect.left, text.rect.top, text.text, text.color, text.bkColor))
        << e.id;
  }
}

TEST_F(TrayMenuTest, ClickOutsideEndsTheMenuEveryTime) {
  // The first menu and the next: the resident must come to the foreground before each and
  // nudge its window after it, or a click elsewhere leaves the menu open.
  const auto clickOutside = [] { OpenMenu(winsim::MenuScript().ClickOutside()); };
  EXPECT_EQ(0, RunAndClose("", {clickOutside, clickOutside}));
  const std::vector<winsim::TrackPopupMenuCall> calls = winsim::TrackPopupMenuCalls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_TRUE(calls[0].endedByClick);
  EXPECT_TRUE(calls[1].endedByClick);
}

TEST_F(TrayMenuTest, CloseGestureAndATickUnderTheOpenMenu) {
  // Ctrl+Shift+Space with the right button closes the resident without a menu; two of
  // the keys do not (the menu below opens with Ctrl+Shift held).
  for (int vk : {VK_CONTROL, VK_SHIFT, VK_SPACE}) winsim::SetKeyDown(vk);
  winsim::PushIdleStep([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN); });
  EXPECT_EQ(0, RunResident(""));
  EXPECT_TRUE(winsim::TrackPopupMenuCalls().empty());
  EXPECT_FALSE(winsim::MessageLoopRanDry());
  winsim::SetKeyDown(VK_SPACE, false);

  // A timer tick while the menu is open finds the printer deleted: the window closes
  // under the open menu, which ends without using the destroyed menu.
  winsim::PushIdleStep([] {
    OpenMenu(winsim::MenuScript().Run([] {
      winsim::RemovePrinter(testenv::ExistingPrinter());
      winsim::AdvanceClock(2000);
    }));
  });
  EXPECT_EQ(0, RunResident(""));
  EXPECT_EQ(0u, winsim::LiveMenuCount());
  EXPECT_FALSE(winsim::MessageLoopRanDry());
  EXPECT_FALSE(HasRunEntry());
}

}  // namespace
