// The tray icon's pop-up menu: its items and separators from the driver's registry, the
// owner-drawn items' geometry and colours, the close gesture, re-entry during modal
// loops, and a long open-draw-close soak that must leave no object behind.
#include "support/ResidentHarness.h"

#include "profile/Contracts.h"
#include "support/TestEnv.h"
#include "support/TestRegistry.h"
#include "winsim/control.h"

namespace {

const char kMenuKey[] = "software\\OLMAR\\PRW3\\Driver\\prw3test\\Menu";

class TrayMenuTest : public ResidentTest {
protected:
  // Opens the menu with a right-button press and runs `script` on it; returns the dump
  // of the pop-up as it was shown.
  std::string OpenMenu(winsim::MenuScript script) {
    winsim::ScriptTrackPopupMenu(script);
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
    winsim::PumpMessages();
    const auto calls = winsim::TrackPopupMenuCalls();
    return calls.empty() ? "(no menu)" : winsim::DumpMenu(calls.back().menu);
  }
  // Runs the resident, calls `body` once it is up, then closes it.
  void WithResident(const std::string& cmdLine, const std::function<void()>& body) {
    winsim::PushIdleStep([&] {
      body();
      CloseResident();
    });
    EXPECT_EQ(0, RunResident(cmdLine));
  }
  // The resource library replaced by one built from .rc text (the demo's pictures).
  void UseResources(const std::string& rcText) {
    std::string error;
    winsim::ModuleImage image;
    image.resources = winsim::ParseRc(rcText, PRW3_DEMO_RES_SOURCE_DIR, &error);
    ASSERT_TRUE(image.resources) << error;
    winsim::RegisterModule(m_driver.englishResources, image);
  }
};

const char kIcons[] = "700 ICON \"printer_ok.ico\"\n701 ICON \"printer_warning.ico\"\n702 ICON \"printer_error.ico\"\n"
                      "801 MENU\nBEGIN\n POPUP \"P\"\n BEGIN\n  MENUITEM \"x\", 900\n  MENUITEM \"Prefs\", 901\n END\nEND\n";

TEST_F(TrayMenuTest, ItemsSeparatorsAndTheDepExeItem) {
  const std::string printer = testenv::ExistingPrinter();
  std::string dump;
  WithResident(StartupCommandLine(), [&] { dump = OpenMenu(winsim::MenuScript().Cancel()); });
  // 930 has a command but no text: it is no item and no shown item for the separators.
  EXPECT_EQ("\"" + printer + "\" 900 default\n\"Monitoring Preferences\" 901\n---\nownerdraw 920\n---\n"
            "ownerdraw 921\nownerdraw 925\n",
            dump);

  // Without the IO_URL key the DepExe item is left out.
  testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\OLMAR\\prw3test IO_URL");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "Separators", "3,2");
  WithResident(StartupCommandLine(), [&] { dump = OpenMenu(winsim::MenuScript().Cancel()); });
  EXPECT_EQ("\"" + printer + "\" 900 default\n\"Monitoring Preferences\" 901\n---\nownerdraw 920\nownerdraw 921\n",
            dump)
      << "\"3,2\": the third shown item never comes, so no separator at all";

  testenv::SetRegString(HKEY_LOCAL_MACHINE, kMenuKey, "Separators", "0,2");
  testenv::SetRegString(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\prw3test", "DepExe", "O_PAUX.EXE");
  WithResident(StartupCommandLine(), [&] { dump = OpenMenu(winsim::MenuScript().Cancel()); });
  EXPECT_EQ("\"" + printer + "\" 900 default\n\"Monitoring Preferences\" 901\n---\nownerdraw 920\nownerdraw 921\n"
            "ownerdraw 925\n",
            dump)
      << "\"0,2\" places none; a DepExe without a backslash names no item, so 925 shows";

  // No Menu key: the resource menu alone.
  testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, kMenuKey);
  WithResident(StartupCommandLine(), [&] { dump = OpenMenu(winsim::MenuScript().Cancel()); });
  EXPECT_EQ("\"" + printer + "\" 900 default\n\"Monitoring Preferences\" 901\n", dump);
}

TEST_F(TrayMenuTest, OwnerDrawnItemsGeometryAndColours) {
  winsim::MenuScript script;
  script.Highlight(920).Cancel();
  winsim::TrackPopupMenuCall call;
  WithResident(StartupCommandLine(), [&] {
    OpenMenu(script);
    call = winsim::TrackPopupMenuCalls().back();
  });
  ASSERT_EQ(3u, call.measures.size());
  EXPECT_EQ(static_cast<UINT>(winsim::kMenuHeight), call.measures[0].itemHeight);
  EXPECT_EQ(static_cast<UINT>(winsim::kMenuCheckWidth + 15 * winsim::kCharWidth), call.measures[0].itemWidth)
      << "check-mark width plus the extent of \"Print Test Page\"";

  // The draw of 920 selected: a 16 x 16 bitmap in a 19-pixel item at left + 4, top + 1,
  // the text at left + 30 in the highlight's colours.
  const DRAWITEMSTRUCT* pSelected = nullptr;
  const DRAWITEMSTRUCT* pPlain = nullptr;
  for (const DRAWITEMSTRUCT& d : call.draws) {
    if (d.itemID == 920 && (d.itemState & ODS_SELECTED)) pSelected = &d;
    if (d.itemID == 925 && !(d.itemState & ODS_SELECTED) && !pPlain) pPlain = &d;
  }
  ASSERT_NE(nullptr, pSelected);
  ASSERT_NE(nullptr, pPlain);
  ASSERT_EQ(19, pSelected->rcItem.bottom - pSelected->rcItem.top);

  std::vector<winsim::DrawOp> ops;
  for (const winsim::DrawOp& op : winsim::DisplayList(call.hdc))
    if (op.rect.top >= pSelected->rcItem.top && op.rect.top < pSelected->rcItem.bottom) ops.push_back(op);
  // The list holds the item's draws in order; the last three are the selected draw.
  ASSERT_GE(ops.size(), 3u);
  const winsim::DrawOp& fill = ops[ops.size() - 3];
  const winsim::DrawOp& blit = ops[ops.size() - 2];
  const winsim::DrawOp& text = ops[ops.size() - 1];
  EXPECT_EQ(winsim::DrawOp::Kind::FillRect, fill.kind);
  EXPECT_EQ(winsim::kColorHighlight, fill.color);
  EXPECT_EQ(winsim::DrawOp::Kind::BitBlt, blit.kind);
  EXPECT_EQ(pSelected->rcItem.left + 4, blit.rect.left);
  EXPECT_EQ(pSelected->rcItem.top + 1, blit.rect.top);
  EXPECT_EQ(16, blit.rect.right - blit.rect.left);
  EXPECT_EQ(static_cast<DWORD>(SRCCOPY), blit.rop);
  EXPECT_EQ(winsim::DrawOp::Kind::TextOut, text.kind);
  EXPECT_EQ(pSelected->rcItem.left + 30, text.rect.left);
  EXPECT_EQ(pSelected->rcItem.top + (19 - winsim::kCharHeight) / 2, text.rect.top);
  EXPECT_EQ("Print Test Page", text.text);
  EXPECT_EQ(winsim::kColorHighlightText, text.color);
  EXPECT_EQ(winsim::kColorHighlight, text.bkColor);

  // 925 has no bitmap: its text starts 30 pixels in, in the menu's colours.
  for (const winsim::DrawOp& op : winsim::DisplayList(call.hdc)) {
    if (op.kind != winsim::DrawOp::Kind::TextOut || op.text != "Online Help") continue;
    EXPECT_EQ(pPlain->rcItem.left + 30, op.rect.left);
    EXPECT_EQ(winsim::kColorMenuText, op.color);
    EXPECT_EQ(winsim::kColorMenu, op.bkColor);
    break;
  }
}

TEST_F(TrayMenuTest, TextsAreDrawnAsTheyAreAndCutTo259) {
  UseResources(std::string(kIcons) + "STRINGTABLE\nBEGIN\n 920 \"Tests & Tools\"\n 921 \"" + std::string(300, 'w') +
               "\"\nEND\n");
  winsim::TrackPopupMenuCall call;
  WithResident(StartupCommandLine(), [&] {
    OpenMenu(winsim::MenuScript().Cancel());
    call = winsim::TrackPopupMenuCalls().back();
  });
  std::vector<std::string> texts;
  for (const winsim::DrawOp& op : winsim::DisplayList(call.hdc))
    if (op.kind == winsim::DrawOp::Kind::TextOut) texts.push_back(op.text);
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ("Tests & Tools", texts[0]) << "an ampersand is no mnemonic here";
  EXPECT_EQ(std::string(259, 'w'), texts[1]);
}

TEST_F(TrayMenuTest, CloseGestureAndInstallMode) {
  winsim::SetKeyDown(VK_CONTROL);
  winsim::SetKeyDown(VK_SHIFT);
  winsim::SetKeyDown(VK_SPACE);
  winsim::PushIdleStep([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN); });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_TRUE(winsim::TrackPopupMenuCalls().empty());
  EXPECT_FALSE(winsim::MessageLoopRanDry()) << "Ctrl+Shift+Space with the right button closes the resident";

  // Two of the three keys are not the gesture.
  winsim::SetKeyDown(VK_SPACE, false);
  std::string dump;
  WithResident(StartupCommandLine(), [&] { dump = OpenMenu(winsim::MenuScript().Cancel()); });
  EXPECT_NE("(no menu)", dump);

  // In install mode the deleted-printer check is skipped: the menu opens all the same.
  winsim::SetKeyDown(VK_CONTROL, false);
  winsim::SetKeyDown(VK_SHIFT, false);
  WithResident(StartupCommandLine() + " /I", [&] {
    winsim::RemovePrinter(testenv::ExistingPrinter());
    dump = OpenMenu(winsim::MenuScript().Cancel());
  });
  EXPECT_NE("(no menu)", dump);
  EXPECT_EQ(2u, winsim::TrackPopupMenuCalls().size());
}

TEST_F(TrayMenuTest, ReEntryDuringModalLoopsLeavesTheResidentConsistent) {
  // A timer tick while the menu is open finds the printer deleted: the window closes
  // under the open menu, which ends without using the destroyed menu.
  winsim::MenuScript script;
  script.Run([] {
    winsim::RemovePrinter(testenv::ExistingPrinter());
    winsim::AdvanceClock(2000);
  });
  winsim::PushIdleStep([&] {
    winsim::ScriptTrackPopupMenu(script);
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
  });
  EXPECT_EQ(0, RunResident(StartupCommandLine()));
  EXPECT_EQ(0u, winsim::LiveMenuCount());
  EXPECT_FALSE(winsim::MessageLoopRanDry());
  EXPECT_EQ("<missing>", testenv::GetReg(HKEY_CURRENT_USER, kRunKey, m_driver.printerKey));

  // A tray click while a message box is open opens one menu; a click inside that menu's
  // loop opens no second one.
  winsim::AddPrinter(testenv::ExistingPrinter(), "CUPS:prw3test", "prw3test");
  m_driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), "prw3test");
  testenv::DeleteRegValue(HKEY_LOCAL_MACHINE, "software\\OLMAR\\PRW3\\Driver\\prw3test", "O_PRUN");
  DeleteFileA(m_driver.statusProgram.c_str());
  winsim::MenuScript inner;
  inner.Run([] { winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN); })
      .Run([] { EXPECT_TRUE(winsim::PostedMessages().empty()) << "the click was handled inside the menu"; })
      .Cancel();
  winsim::ScriptMessageBox(IDOK, {[&] {
                             winsim::ScriptTrackPopupMenu(inner);
                             winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_RBUTTONDOWN);
                           }});
  const size_t nBefore = winsim::TrackPopupMenuCalls().size();
  size_t nMenus = 0;
  WithResident(StartupCommandLine(), [&] {
    winsim::PostTrayMouseMessage(ResidentWindow(), 0, WM_LBUTTONDBLCLK);
    winsim::PumpMessages();
    nMenus = winsim::TrackPopupMenuCalls().size() - nBefore;
  });
  EXPECT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(1u, nMenus);
  EXPECT_EQ(0u, winsim::LiveMenuCount());
}

TEST_F(TrayMenuTest, SoakOfMenusIconChangesShellRestartsAndTicksLeavesNoObjectBehind) {
  WithResident(StartupCommandLine(), [&] {
    const winsim::GdiCounts gdi = winsim::LiveGdiObjects();
    const size_t nMenus = winsim::LiveMenuCount();
    const size_t nIcons = winsim::LiveIconCount();
    const size_t nHandles = winsim::KernelHandleCount();
    const size_t nKeys = winsim::OpenKeyCount();
    for (int i = 0; i < 1000; ++i) {
      OpenMenu(winsim::MenuScript().Highlight(920).Highlight(921).Cancel());
      if (i % 10 == 0) {
        testenv::SetRegDword(HKEY_CURRENT_USER, TargetKey(), TRAY_ICON_SELECTED, static_cast<DWORD>(i / 10 % 3));
        PostMessageA(ResidentWindow(), WM_TRAYICONCHANGE, 0, 0);
        winsim::RestartExplorer();
        winsim::AdvanceClock(2000);
        winsim::PumpMessages();
      }
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
    EXPECT_EQ(1000u, winsim::TrackPopupMenuCalls().size());
  });
  EXPECT_EQ(0u, winsim::LiveGdiObjects().bitmaps) << "the item bitmaps go with the frame";
}

}  // namespace
