// The tray icon's pop-up menu: its items and separators from the driver's registry, the
// owner-drawn items' geometry and colours, the close gesture, re-entry during modal
// loops, and a long open-draw-close soak that must leave no object behind.
#include "support/ResidentHarness.h"

#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestRegistry.h"

namespace {

const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test";
const char kMenuKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test\\Menu";
const char kIcons[] = "700 ICON \"printer_ok.ico\"\n701 ICON \"printer_warning.ico\"\n702 ICON \"printer_error.ico\"\n"
                      "801 MENU\nBEGIN\n POPUP \"P\"\n BEGIN\n  MENUITEM \"x\", 900\n  MENUITEM \"Prefs\", 901\n END\nEND\n";

class TrayMenuTest : public ResidentTest {
protected:
  // The pop-up as the running resident shows it.
  std::string MenuDump() {
    std::string dump;
    EXPECT_EQ(0, RunAndClose("", {[&] { dump = OpenMenu(winsim::MenuScript().Cancel()); }}));
    return dump;
  }
  // The resource library replaced by one built from .rc text (the demo's pictures).
  std::shared_ptr<winsim::ModuleResources> UseResources(const std::string& rcText) {
    std::string error;
    winsim::ModuleImage image;
    image.resources = winsim::ParseRc(rcText, PRW3_DEMO_RES_SOURCE_DIR, &error);
    EXPECT_TRUE(image.resources) << error;
    winsim::RegisterModule(m_driver.englishResources, image);
    return image.resources;
  }
  // The last pop-up shown, once the resident ran through `script`.
  winsim::TrackPopupMenuCall ShowMenu(const winsim::MenuScript& script) {
    EXPECT_EQ(0, RunAndClose("", {[&] { OpenMenu(script); }}));
    return winsim::TrackPopupMenuCalls().back();
  }
};

TEST_F(TrayMenuTest, ItemsSeparatorsAndTheDepExeItem) {
  const std::string top = "\"" + testenv::ExistingPrinter() + "\" 900 default\n\"Monitoring Preferences\" 901\n";
  const std::string tool = m_driver.installDir + "\\O_PAUX.EXE";
  const struct {
    const char* why;
    std::function<void()> arrange;
    std::string items;
  } cases[] = {
      // 930 has a command but no text: it is no item and no shown item for the separators.
      {"installed", [] {}, "---\nownerdraw 920\n---\nownerdraw 921\nownerdraw 925\n"},
      {"no IO_URL key: the DepExe item 925 goes; \"3,2\": the third shown item never comes",
       [] {
         testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL");
         testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "Separators", "3,2");
       },
       "---\nownerdraw 920\nownerdraw 921\n"},
      {"the DepExe name is matched in upper case",
       [&] {
         testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL");
         testenv::SetRegString(HKEY_LOCAL_MACHINE, kDriverKey, "DepExe", "c:\\dir\\o_paux.exe");
       },
       "---\nownerdraw 920\n---\nownerdraw 921\n"},
      {"the first item naming DepExe and MENU is the DepExe item",
       [&] {
         testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL");
         testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "921", "\"" + tool + "\" /MENU");
       },
       "---\nownerdraw 920\n---\nownerdraw 925\n"},
      {"\"0,2\" places none; a DepExe without a backslash names no item",
       [] {
         testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "Separators", "0,2");
         testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL");
         testenv::SetRegString(HKEY_LOCAL_MACHINE, kDriverKey, "DepExe", "O_PAUX.EXE");
       },
       "---\nownerdraw 920\nownerdraw 921\nownerdraw 925\n"},
      {"blanks and a plus sign before a number; a negative one is never reached",
       [] { testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "Separators", " +3,-4"); },
       "---\nownerdraw 920\nownerdraw 921\n---\nownerdraw 925\n"},
      {"no Menu key: the resource menu alone", [] { testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kMenuKey); }, ""},
  };
  for (const auto& c : cases) {
    ResetMachine();
    c.arrange();
    EXPECT_EQ(top + c.items, MenuDump()) << c.why;
  }
}

TEST_F(TrayMenuTest, OwnerDrawnItemsGeometryAndColours) {
  // 920 has the demo's 16 x 16 picture, 921 one 24 pixels wide, 925 none.
  auto resources = UseResources(std::string(kIcons) + "920 BITMAP \"testpage.bmp\"\nSTRINGTABLE\nBEGIN\n"
                                " 920 \"Print Test Page\"\n 921 \"Cleaning\"\n 925 \"Online Help\"\nEND\n");
  resources->bitmaps[921] = SIZE{24, 12};
  const winsim::TrackPopupMenuCall call = ShowMenu(winsim::MenuScript().Highlight(920).Highlight(921).Cancel());
  ASSERT_EQ(3u, call.measures.size());
  EXPECT_EQ(static_cast<UINT>(winsim::kMenuHeight), call.measures[0].itemHeight);
  EXPECT_EQ(static_cast<UINT>(winsim::kMenuCheckWidth + 15 * winsim::kCharWidth), call.measures[0].itemWidth)
      << "check-mark width plus the extent of \"Print Test Page\"";

  // The last draw of each item: fill, picture (if any) and text, in that order.
  struct Expected {
    UINT id;
    bool selected;
    int bitmapWidth;  // 0: none
    const char* text;
  };
  for (const Expected& e : {Expected{920, false, 16, "Print Test Page"}, Expected{921, true, 24, "Cleaning"},
                            Expected{925, false, 0, "Online Help"}}) {
    const DRAWITEMSTRUCT* pDraw = nullptr;
    for (const DRAWITEMSTRUCT& d : call.draws)
      if (d.itemID == e.id) pDraw = &d;
    ASSERT_NE(nullptr, pDraw) << e.id;
    EXPECT_EQ(e.selected, (pDraw->itemState & ODS_SELECTED) != 0) << e.id;
    const RECT& rc = pDraw->rcItem;
    ASSERT_EQ(19, rc.bottom - rc.top);
    std::vector<winsim::DrawOp> ops;
    for (const winsim::DrawOp& op : winsim::DisplayList(call.hdc))
      if (op.rect.top >= rc.top && op.rect.top < rc.bottom) ops.push_back(op);
    const size_t nOps = e.bitmapWidth ? 3 : 2;
    ASSERT_GE(ops.size(), nOps) << e.id;
    const winsim::DrawOp& fill = ops[ops.size() - nOps];
    const winsim::DrawOp& text = ops.back();
    const COLORREF crBack = e.selected ? winsim::kColorHighlight : winsim::kColorMenu;
    EXPECT_EQ(winsim::DrawOp::Kind::FillRect, fill.kind) << e.id;
    EXPECT_EQ(crBack, fill.color) << e.id;
    if (e.bitmapWidth) {
      const winsim::DrawOp& blit = ops[ops.size() - 2];
      EXPECT_EQ(winsim::DrawOp::Kind::BitBlt, blit.kind) << e.id;
      EXPECT_EQ(rc.left + 4, blit.rect.left) << e.id;
      EXPECT_EQ(rc.top + (19 - (e.bitmapWidth == 16 ? 16 : 12)) / 2, blit.rect.top) << e.id;
      EXPECT_EQ(e.bitmapWidth, blit.rect.right - blit.rect.left) << e.id;
      EXPECT_EQ(static_cast<DWORD>(SRCCOPY), blit.rop) << e.id;
    }
    // The text after the picture's width and a gap, or 30 pixels in without one.
    EXPECT_EQ(winsim::DrawOp::Kind::TextOut, text.kind) << e.id;
    EXPECT_EQ(rc.left + (e.bitmapWidth ? e.bitmapWidth + 14 : 30), text.rect.left) << e.id;
    EXPECT_EQ(rc.top + (19 - winsim::kCharHeight) / 2, text.rect.top) << e.id;
    EXPECT_EQ(e.text, text.text);
    EXPECT_EQ(e.selected ? winsim::kColorHighlightText : winsim::kColorMenuText, text.color) << e.id;
    EXPECT_EQ(crBack, text.bkColor) << e.id;
  }
  // Requests for commands outside the records are neither measured nor drawn.
  DRAWITEMSTRUCT draw = {};
  MEASUREITEMSTRUCT measure = {};
  draw.rcItem = RECT{0, 0, 100, 19};
  EXPECT_EQ(0, RunAndClose("", {[&] {
                             draw.hDC = CreateCompatibleDC(nullptr);
                             for (UINT id : {static_cast<UINT>(AUX_FIRST_ID) - 1, static_cast<UINT>(AUX_LAST_ID) + 1}) {
                               draw.itemID = measure.itemID = id;
                               SendMessageA(ResidentWindow(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
                               SendMessageA(ResidentWindow(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
                             }
                             DeleteDC(draw.hDC);
                           }}));
  EXPECT_TRUE(winsim::DisplayList(draw.hDC).empty());
  EXPECT_EQ(0u, measure.itemWidth + measure.itemHeight);
}

TEST_F(TrayMenuTest, TextsAreDrawnAsTheyAreAndCutTo259) {
  UseResources(std::string(kIcons) + "STRINGTABLE\nBEGIN\n 920 \"Tests & Tools\"\n 921 \"" + std::string(300, 'w') +
               "\"\nEND\n");
  const winsim::TrackPopupMenuCall call = ShowMenu(winsim::MenuScript().Cancel());
  std::vector<std::string> texts;
  for (const winsim::DrawOp& op : winsim::DisplayList(call.hdc))
    if (op.kind == winsim::DrawOp::Kind::TextOut) texts.push_back(op.text);
  EXPECT_EQ(std::vector<std::string>({"Tests & Tools", std::string(259, 'w')}), texts)
      << "an ampersand is no mnemonic here";
}

TEST_F(TrayMenuTest, CloseGestureAndInstallMode) {
  // Ctrl+Shift+Space with the right button closes the resident; two of the keys do not.
  for (int vk : {VK_CONTROL, VK_SHIFT, VK_SPACE}) winsim::SetKeyDown(vk);
  winsim::PushIdleStep([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN); });
  EXPECT_EQ(0, RunResident(""));
  EXPECT_TRUE(winsim::TrackPopupMenuCalls().empty());
  EXPECT_FALSE(winsim::MessageLoopRanDry());
  winsim::SetKeyDown(VK_SPACE, false);
  EXPECT_NE("(no menu)", MenuDump());

  // In install mode the deleted-printer check is skipped: the menu opens all the same.
  winsim::SetKeyDown(VK_CONTROL, false);
  winsim::SetKeyDown(VK_SHIFT, false);
  std::string dump;
  EXPECT_EQ(0, RunAndClose(StartupCommandLine() + " /I", {[&] {
                             winsim::RemovePrinter(testenv::ExistingPrinter());
                             dump = OpenMenu(winsim::MenuScript().Cancel());
                           }}));
  EXPECT_NE("(no menu)", dump);
}

TEST_F(TrayMenuTest, ReEntryDuringModalLoopsLeavesTheResidentConsistent) {
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

  // A tray click while a message box is open opens one menu; a click inside that menu's
  // loop opens no second one.
  ResetMachine();
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, kDriverKey, "O_PRUN");
  DeleteFileA(m_driver.statusProgram.c_str());
  winsim::MenuScript inner;
  inner.Run([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN); }).Cancel();
  winsim::ScriptMessageBox(IDOK, {[&] { OpenMenu(inner); }});
  EXPECT_EQ(0, RunAndClose("", {[] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK); }}));
  EXPECT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(1u, winsim::TrackPopupMenuCalls().size());
  EXPECT_EQ(0u, winsim::LiveMenuCount());
}

TEST_F(TrayMenuTest, SoakOfMenusIconChangesShellRestartsAndTicksLeavesNoObjectBehind) {
  EXPECT_EQ(0, RunAndClose("", {[&] {
                             const winsim::GdiCounts gdi = winsim::LiveGdiObjects();
                             const size_t nMenus = winsim::LiveMenuCount(), nIcons = winsim::LiveIconCount();
                             const size_t nHandles = winsim::KernelHandleCount(), nKeys = winsim::OpenKeyCount();
                             for (int i = 0; i < 1000; ++i) {
                               OpenMenu(winsim::MenuScript().Highlight(920).Highlight(921).Cancel());
                               if (i % 10 != 0) continue;
                               testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, i / 10 % 3);
                               PostMessageA(ResidentWindow(), WM_TRAYICONCHANGE, 0, 0);
                               winsim::RestartExplorer();
                               winsim::AdvanceClock(2000);
                               winsim::PumpMessages();
                             }
                             const winsim::GdiCounts after = winsim::LiveGdiObjects();
                             EXPECT_EQ(gdi.brushes, after.brushes);
                             EXPECT_EQ(gdi.bitmaps, after.bitmaps);
                             EXPECT_EQ(gdi.dcs, after.dcs);
                             EXPECT_EQ(nMenus, winsim::LiveMenuCount());
                             EXPECT_EQ(nIcons, winsim::LiveIconCount());
                             EXPECT_EQ(nHandles, winsim::KernelHandleCount());
                             EXPECT_EQ(nKeys, winsim::OpenKeyCount());
                             EXPECT_EQ(1u, winsim::TrayIcons().size());
                           }}));
  EXPECT_EQ(0u, winsim::LiveGdiObjects().bitmaps) << "the item bitmaps go with the frame";
}

}  // namespace
