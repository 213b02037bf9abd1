// winsim's modal loops under test control: scripted message boxes and pop-up menus, what
// they record, and re-entry while they are open.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/RecordingWindow.h"
#include "winsim/control.h"

namespace {

using testenv::CRecordingWindow;

char g_szToolA[] = "Tool A";
char g_szToolB[] = "Tool & B";

TEST(MessageBoxNative, ScriptedBoxRunsStepsAndRecords) {
  CRecordingWindow owner;
  bool bOpenDuringTick = false;
  owner.m_handler = [&](UINT uMsg, WPARAM, LPARAM, LRESULT*) {
    if (uMsg == WM_TIMER) bOpenDuringTick = winsim::MessageBoxes().at(0).result == 0;
    return false;
  };
  SetTimer(owner.Handle(), 2, 5000, nullptr);
  winsim::ScriptMessageBox(IDCANCEL, {[] { winsim::AdvanceClock(5000); }});
  EXPECT_EQ(IDCANCEL, MessageBoxA(owner.Handle(), "\nUnable", "Caption", MB_OKCANCEL));
  EXPECT_TRUE(bOpenDuringTick) << "the tick came while the box was open";

  // Unscripted, with nothing pending, the user presses OK at once.
  KillTimer(owner.Handle(), 2);
  EXPECT_EQ(IDOK, MessageBoxA(nullptr, "Insufficient memory.", nullptr, MB_OK));
  auto boxes = winsim::MessageBoxes();
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(owner.Handle(), boxes[0].owner);
  EXPECT_EQ("\nUnable", boxes[0].text);
  EXPECT_EQ("Caption", boxes[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL), boxes[0].style);
  EXPECT_EQ(IDCANCEL, boxes[0].result);
  EXPECT_EQ(nullptr, boxes[1].owner);
  EXPECT_EQ("Error", boxes[1].caption);
}

TEST(MessageBoxNative, BoxEndsWithItsOwner) {
  CRecordingWindow owner;
  HWND hOwner = owner.Handle();
  winsim::ScriptMessageBox(IDOK, {[&] { PostMessageA(hOwner, WM_CLOSE, 0, 0); }});
  EXPECT_EQ(0, MessageBoxA(hOwner, "text", "Caption", MB_OK));
  EXPECT_FALSE(IsWindow(hOwner));
}

class MenuNative : public testing::Test {
 protected:
  void SetUp() override {
    m_hMenu = CreatePopupMenu();
    AppendMenuA(m_hMenu, MF_STRING, 900, "Office Printer");
    AppendMenuA(m_hMenu, MF_STRING | MF_GRAYED, 901, "Prefs");
    AppendMenuA(m_hMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m_hMenu, MF_OWNERDRAW, 920, g_szToolA);
    AppendMenuA(m_hMenu, MF_OWNERDRAW, 921, g_szToolB);
    // The owner gives its owner-drawn items the program's height.
    m_owner.m_handler = [](UINT uMsg, WPARAM, LPARAM lParam, LRESULT* pResult) {
      if (uMsg != WM_MEASUREITEM) return false;
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 19;
      *pResult = TRUE;
      return true;
    };
  }
  void TearDown() override { DestroyMenu(m_hMenu); }

  BOOL Track() { return TrackPopupMenu(m_hMenu, TPM_RIGHTBUTTON, 10, 20, 0, m_owner.Handle(), nullptr); }

  HMENU m_hMenu = nullptr;
  CRecordingWindow m_owner;
};

TEST_F(MenuNative, ScriptedChoiceRedrawsAndPostsTheCommand) {
  BOOL bNested = TRUE;
  winsim::ScriptTrackPopupMenu(winsim::MenuScript()
                                   .Run([&] { bNested = Track(); })
                                   .Highlight(920)
                                   .Choose(921));
  EXPECT_TRUE(Track());
  EXPECT_FALSE(bNested);
  EXPECT_EQ(0u, m_owner.Count(WM_COMMAND));
  EXPECT_EQ(1u, winsim::PumpMessages());
  auto commands = m_owner.Only({WM_COMMAND});
  ASSERT_EQ(1u, commands.size());
  EXPECT_EQ(921u, commands[0].wParam);

  auto calls = winsim::TrackPopupMenuCalls();
  ASSERT_EQ(2u, calls.size());
  const winsim::TrackPopupMenuCall& call = calls[0];
  EXPECT_EQ(m_hMenu, call.menu);
  EXPECT_EQ(10, call.x);
  EXPECT_EQ(20, call.y);
  EXPECT_EQ(921u, call.chosen);
  EXPECT_EQ(static_cast<DWORD>(ERROR_POPUP_ALREADY_ACTIVE), calls[1].error);

  // Two full draws, then the highlight moving from 920 to 921.
  ASSERT_EQ(5u, call.draws.size());
  struct Expected {
    UINT id, action, selected;
  } expected[] = {{920, ODA_DRAWENTIRE, 0}, {921, ODA_DRAWENTIRE, 0}, {920, ODA_SELECT, ODS_SELECTED},
                  {920, ODA_SELECT, 0},     {921, ODA_SELECT, ODS_SELECTED}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(expected[i].id, call.draws[i].itemID) << i;
    EXPECT_EQ(expected[i].action, call.draws[i].itemAction) << i;
    EXPECT_EQ(expected[i].selected, call.draws[i].itemState & ODS_SELECTED) << i;
  }
  // Items stacked below the string items and the separator.
  const RECT& first = call.draws[0].rcItem;
  EXPECT_EQ(winsim::kMenuMargin + 2 * winsim::kMenuHeight + winsim::kSeparatorHeight, first.top);
  EXPECT_EQ(first.bottom, call.draws[1].rcItem.top);
  EXPECT_EQ(0u, GetMenuState(m_hMenu, 921, MF_BYCOMMAND) & MF_HILITE) << "the highlight goes with the menu";
}

TEST_F(MenuNative, ChoicesThatGiveNoCommand) {
  winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(901));  // grayed
  winsim::ScriptTrackPopupMenu(winsim::MenuScript().Choose(999));
  winsim::ScriptTrackPopupMenu(winsim::MenuScript().Run([&] { DestroyMenu(m_hMenu); }).Choose(900));
  EXPECT_TRUE(Track());
  EXPECT_TRUE(Track());
  EXPECT_TRUE(Track());
  EXPECT_EQ(0u, winsim::PumpMessages());
  auto calls = winsim::TrackPopupMenuCalls();
  ASSERT_EQ(3u, calls.size());
  for (const auto& call : calls) EXPECT_EQ(0u, call.chosen);
  EXPECT_EQ("no item with command 999", calls[1].scriptError);
  EXPECT_EQ(0u, winsim::LiveMenuCount());
}

TEST_F(MenuNative, UnscriptedMenuLetsTimersRunThenCloses) {
  SetTimer(m_owner.Handle(), 2, 20000, nullptr);
  EXPECT_EQ(0, TrackPopupMenu(m_hMenu, TPM_RETURNCMD, 0, 0, 0, m_owner.Handle(), nullptr));
  EXPECT_EQ(3u, m_owner.Count(WM_TIMER)) << "as many as the 60 s idle budget holds";
  EXPECT_EQ(0u, m_owner.Count(WM_COMMAND));
}

}  // namespace
