// winsim test controls for menus: live menu counts, a readable dump, and TrackPopupMenu
// with the user's choice scripted and every call recorded.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace winsim {

// Menus alive now (sub-menus count one each), for leak checks.
size_t LiveMenuCount();
// One line per item, sub-menu items indented by two blanks:
//   "Office Printer" 900 default      a string item: text, command, state words
//   ---                               a separator
//   ownerdraw 920                     an owner-drawn item
//   "More" popup                      a pop-up item, its items follow indented
// State words: grayed, disabled, checked, default, hilite. "(no menu)" for a bad handle.
std::string DumpMenu(HMENU hMenu);

// What the user does with the next pop-up menu, step by step; pending messages are
// dispatched between steps. When the steps are done the menu closes (a command chosen
// by Choose, else nothing). Without a script a menu stays open while time passes (within
// the idle budget) and then closes without a command; keyboard input posted to its
// "#32768" window, or WM_CANCELMODE (posted, or reaching the owner's DefWindowProcA),
// acts on it as on the platform.
class MenuScript {
 public:
  // Runs `step` while the menu is open (a timer tick, a tray click, the clock...).
  MenuScript& Run(std::function<void()> step);
  // Moves the highlight to the top-level item with that command: owner-drawn items are
  // drawn again (ODA_SELECT, the old one without ODS_SELECTED, the new one with it).
  MenuScript& Highlight(UINT id);
  // Highlights the item and chooses it; a grayed or disabled item closes the menu with
  // nothing chosen.
  MenuScript& Choose(UINT id);
  MenuScript& Cancel();
  // The user clicks outside the menu. That ends it (nothing chosen, endedByClick set)
  // only while its owner is the foreground window (SetForegroundWindow before
  // TrackPopupMenu) and, when an earlier menu of that owner ended in the foreground, a
  // message was sent or posted to the owner after that TrackPopupMenu before the thread
  // read its queue again (the WM_NULL after it). Otherwise the menu stays open and the
  // script goes on; its end closes the menu.
  MenuScript& ClickOutside();

  struct Action {
    enum class Kind { Run, Highlight, Choose, Cancel, ClickOutside } kind;
    UINT id;
    std::function<void()> step;
  };
  std::vector<Action> m_actions;
};
void ScriptTrackPopupMenu(MenuScript script);

// Item geometry of an open pop-up: items stacked from (kMenuMargin, kMenuMargin), all as
// wide as the widest (owner-drawn: itemWidth + 2 * kCharWidth; string: its text plus
// 2 * kMenuCheckWidth); heights from WM_MEASUREITEM (which starts with kCharHeight),
// kSeparatorHeight for separators, kMenuHeight for string items.
constexpr int kMenuMargin = 3;
constexpr int kSeparatorHeight = 8;

struct TrackPopupMenuCall {
  HMENU menu;
  int x, y;
  DWORD error;                            // why it failed (ERROR_POPUP_ALREADY_ACTIVE)
  UINT chosen;                            // 0 when nothing was chosen
  HDC hdc;                                // the context owner drawing got (see DisplayList)
  std::vector<MEASUREITEMSTRUCT> measures;  // as the owner answered them
  std::vector<DRAWITEMSTRUCT> draws;        // as sent, in order
  std::vector<UINT> dcChangedBy;            // items whose drawing left the context changed
  std::string scriptError;                // a scripted command that was not in the menu
  bool endedByClick;                      // a scripted click outside the menu ended it
};
// Every TrackPopupMenu call since the last Reset, also those refused.
std::vector<TrackPopupMenuCall> TrackPopupMenuCalls();

}  // namespace winsim
