// winsim TrackPopupMenu: the pop-up's modal loop as the platform runs it. The owner gets
// WM_INITMENUPOPUP, WM_MEASUREITEM and WM_DRAWITEM; the open menu is a "#32768" window
// that takes keyboard input from the queue (arrows, Enter, Escape) and WM_CANCELMODE;
// everything else is dispatched meanwhile. A click outside ends it only while its owner
// is the foreground window. A test scripts the user's choice; the chosen
// command reaches the owner as a posted WM_COMMAND.
#include "core.h"
#include "gdi.h"
#include "input.h"
#include "menus.h"
#include "message_queue.h"
#include "window_store.h"

#include "winsim/control.h"

#include <algorithm>
#include <deque>

using namespace winsim::detail;

namespace {

struct TrackState {
  std::vector<winsim::TrackPopupMenuCall> calls;
  std::deque<winsim::MenuScript> scripts;
  bool open = false;
  HWND openOwner = nullptr;
  bool cancelled = false;     // WM_CANCELMODE reached the owner's DefWindowProcA
  HWND owedOwner = nullptr;   // a menu ended in the foreground: it needs a message
  HWND staleOwner = nullptr;  // it did not: its next menu ignores clicks outside
};

TrackState& S() {
  static TrackState s;
  return s;
}

const ResetHook g_reset([] { S() = TrackState{}; });

// One open pop-up menu.
struct Tracker {
  Tracker(HMENU hMenu, HWND hOwner, size_t index) : menu(hMenu), owner(hOwner), call(index) {}

  HMENU menu;
  HWND owner;
  size_t call;  // index of its record
  HWND window = nullptr;
  HDC hdc = nullptr;
  std::vector<RECT> rects;
  int focused = -1;
  bool ended = false;
  bool clickEnds = false;
  UINT chosen = 0;

  winsim::TrackPopupMenuCall& Record() { return S().calls[call]; }
  MenuItem* Item(int index) {
    Menu* m = LiveMenu(menu);
    return m && index >= 0 && static_cast<size_t>(index) < m->items.size() ? &m->items[static_cast<size_t>(index)]
                                                                           : nullptr;
  }
  int Count() {
    Menu* m = LiveMenu(menu);
    return m ? static_cast<int>(m->items.size()) : 0;
  }
};

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcedure(hwnd, message, wParam, lParam);
}

// Heights come from WM_MEASUREITEM for owner-drawn items; the menu is as wide as its
// widest item and its items are stacked from the top margin down.
void Measure(Tracker& t) {
  Menu* menu = LiveMenu(t.menu);
  if (!menu) return;
  std::vector<std::pair<int, int>> sizes;  // width, height
  for (size_t i = 0; i < menu->items.size(); ++i) {
    const MenuItem& item = menu->items[i];
    if (item.type & MFT_OWNERDRAW) {
      MEASUREITEMSTRUCT mis = {ODT_MENU, 0, item.id, 0, winsim::kCharHeight, item.data};
      Send(t.owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
      t.Record().measures.push_back(mis);
      sizes.emplace_back(static_cast<int>(mis.itemWidth) + 2 * winsim::kCharWidth, static_cast<int>(mis.itemHeight));
    } else if (item.type & MFT_SEPARATOR) {
      sizes.emplace_back(0, winsim::kSeparatorHeight);
    } else {
      sizes.emplace_back(2 * winsim::kMenuCheckWidth + static_cast<int>(item.text.size()) * winsim::kCharWidth,
                         winsim::kMenuHeight);
    }
    if (!LiveMenu(t.menu)) return;
    menu = LiveMenu(t.menu);
  }
  int width = 0;
  for (const auto& size : sizes) width = std::max(width, size.first);
  int top = winsim::kMenuMargin;
  for (const auto& size : sizes) {
    t.rects.push_back(RECT{winsim::kMenuMargin, top, winsim::kMenuMargin + width, top + size.second});
    top += size.second;
  }
}

void Draw(Tracker& t, int index, UINT action) {
  MenuItem* item = t.Item(index);
  if (!item || !(item->type & MFT_OWNERDRAW) || static_cast<size_t>(index) >= t.rects.size()) return;
  UINT state = 0;
  if (item->state & MF_CHECKED) state |= ODS_CHECKED;
  if (item->state & MF_GRAYED) state |= ODS_GRAYED | ODS_DISABLED;
  if (item->state & MF_HILITE) state |= ODS_SELECTED;
  if (item->state & MFS_DEFAULT) state |= ODS_DEFAULT;
  DRAWITEMSTRUCT dis = {ODT_MENU, 0, item->id, action, state, reinterpret_cast<HWND>(t.menu), t.hdc,
                        t.rects[static_cast<size_t>(index)], item->data};
  t.Record().draws.push_back(dis);
  const auto before = DcState(t.hdc);
  Send(t.owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
  // Windows asks the owner to leave the context in its default state.
  if (DcState(t.hdc) != before) t.Record().dcChangedBy.push_back(dis.itemID);
}

void Select(Tracker& t, int index) {
  if (index == t.focused) return;
  if (MenuItem* old = t.Item(t.focused)) {
    old->state &= ~static_cast<UINT>(MF_HILITE);
    Draw(t, t.focused, ODA_SELECT);
  }
  t.focused = index;
  if (MenuItem* item = t.Item(index)) {
    item->state |= MF_HILITE;
    UINT id = (item->type & MF_POPUP) ? static_cast<UINT>(index) : item->id;
    WPARAM wParam = static_cast<DWORD>(MAKELONG(id, item->type | item->state));
    Draw(t, index, ODA_SELECT);
    Send(t.owner, WM_MENUSELECT, wParam, reinterpret_cast<LPARAM>(t.menu));
  }
}

// The arrow keys move to the next item that is not a separator, wrapping round.
void Move(Tracker& t, int step) {
  int count = t.Count();
  if (t.focused >= 0) {
    if (count == 1) return;
    for (int i = t.focused + step; i >= 0 && i < count; i += step)
      if (!(t.Item(i)->type & MFT_SEPARATOR)) return Select(t, i);
  }
  for (int i = step > 0 ? 0 : count - 1; i >= 0 && i < count; i += step)
    if (!(t.Item(i)->type & MFT_SEPARATOR)) return Select(t, i);
}

// Enter on the focused item: a command ends the menu with it; a disabled item or no
// item ends it with nothing; a pop-up item would open its sub-menu, which is not
// simulated, so it does nothing.
void Execute(Tracker& t) {
  MenuItem* item = t.Item(t.focused);
  if (item && (item->type & MF_POPUP)) return;
  t.ended = true;
  if (item && !(item->state & (MF_GRAYED | MF_DISABLED)) && !(item->type & MFT_SEPARATOR)) t.chosen = item->id;
}

void OnKey(Tracker& t, const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      switch (msg.wParam) {
        case VK_UP: return Move(t, -1);
        case VK_DOWN: return Move(t, 1);
        case VK_ESCAPE:
        case VK_MENU:
        case VK_F10: t.ended = true; return;
        default: Translate(msg); return;  // Enter comes back as a character
      }
    case WM_CHAR:
    case WM_SYSCHAR:
      if (msg.wParam == '\r' || msg.wParam == ' ') Execute(t);
      return;
    default:
      return;
  }
}

void OnMessage(Tracker& t, const MSG& msg) {
  if (msg.message == WM_CANCELMODE) {
    t.ended = true;
  } else if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
    OnKey(t, msg);
  } else if (msg.message < WM_MOUSEFIRST || msg.message > WM_MOUSELAST) {
    Dispatch(msg);  // there is no pointer here; everything else goes on as usual
  }
}

int IndexOfCommand(Tracker& t, UINT id) {
  for (int i = 0; i < t.Count(); ++i) {
    const MenuItem* item = t.Item(i);
    if (!(item->type & (MF_POPUP | MFT_SEPARATOR)) && item->id == id) return i;
  }
  return -1;
}

// The script's actions as steps of the loop, in order.
Steps StepsOf(Tracker& t, const winsim::MenuScript& script) {
  Steps steps;
  for (const winsim::MenuScript::Action& action : script.m_actions) {
    using Kind = winsim::MenuScript::Action::Kind;
    steps.push_back([&t, action] {
      if (action.kind == Kind::Run) return action.step();
      if (action.kind == Kind::Cancel) {
        t.ended = true;
        return;
      }
      if (action.kind == Kind::ClickOutside) {
        t.ended = t.Record().endedByClick = t.clickEnds;
        return;
      }
      int index = IndexOfCommand(t, action.id);
      if (index < 0) {
        t.Record().scriptError = "no item with command " + std::to_string(action.id);
        t.ended = true;
        return;
      }
      Select(t, index);
      if (action.kind == Kind::Choose) Execute(t);
    });
  }
  return steps;
}

void RunLoop(Tracker& t, Steps* steps) {
  while (!t.ended && !S().cancelled && LiveMenu(t.menu) && LiveWindow(t.window)) {
    MSG msg;
    Next next = TakeNext(&msg, false);
    if (next == Next::Quit) break;  // left for the outer loop
    if (next == Next::Message) {
      OnMessage(t, msg);
      continue;
    }
    // A scripted menu closes when its script is done; an unscripted one stays open
    // while time passes (within the idle budget), then the user dismisses it.
    if (steps ? steps->empty() || !IdleTurn(steps) : !IdleTurn(nullptr)) break;
  }
}

}  // namespace

namespace winsim::detail {

void CancelMenuOf(HWND owner) {
  if (S().open && S().openOwner == owner) S().cancelled = true;
}

void NoteMessageTo(HWND hwnd) {
  if (hwnd && hwnd == S().owedOwner) S().owedOwner = nullptr;
}

void NoteQueueRead() {
  if (!S().owedOwner) return;
  S().staleOwner = S().owedOwner;
  S().owedOwner = nullptr;
}

}  // namespace winsim::detail

BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*) {
  if (!LiveMenu(hMenu)) return Fail(FALSE, ERROR_INVALID_MENU_HANDLE);
  WindowRecord* owner = LiveWindow(hWnd);
  if (!owner) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("TrackPopupMenu")) return Fail(FALSE, e);
  TrackState& s = S();
  winsim::TrackPopupMenuCall call{};
  call.menu = hMenu;
  call.x = x;
  call.y = y;
  s.calls.push_back(call);
  if (s.open) {
    s.calls.back().error = ERROR_POPUP_ALREADY_ACTIVE;
    return Fail(FALSE, ERROR_POPUP_ALREADY_ACTIVE);
  }

  s.open = true;
  s.openOwner = owner->hwnd;
  s.cancelled = false;
  Tracker t(hMenu, owner->hwnd, s.calls.size() - 1);
  // The owner must be the foreground window, and the last menu's ending must have been
  // followed by a message to its owner, or the menu ignores clicks outside it.
  t.clickEnds = ForegroundWindow() == t.owner && s.staleOwner != t.owner;
  if (s.staleOwner == t.owner) s.staleOwner = nullptr;
  bool scripted = !s.scripts.empty();
  Steps steps;
  if (scripted) {
    steps = StepsOf(t, s.scripts.front());
    s.scripts.pop_front();
  }

  if (!(uFlags & TPM_NONOTIFY)) {
    Send(t.owner, WM_ENTERMENULOOP, TRUE, 0);
    Send(t.owner, WM_INITMENU, reinterpret_cast<WPARAM>(hMenu), 0);
    Send(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
  }
  Measure(t);
  if (LiveMenu(hMenu) && LiveWindow(t.owner)) {
    t.window = CreateSystemWindow("#32768", "", WS_POPUP | WS_VISIBLE, t.owner);
    t.hdc = NewSystemDC();
    t.Record().hdc = t.hdc;
    for (int i = 0; i < t.Count(); ++i) Draw(t, i, ODA_DRAWENTIRE);
    RunLoop(t, scripted ? &steps : nullptr);
  }

  if (MenuItem* item = t.Item(t.focused)) item->state &= ~static_cast<UINT>(MF_HILITE);
  DestroySystemWindow(t.window);
  DeleteSystemDC(t.hdc);
  if (!(uFlags & TPM_NONOTIFY) && LiveWindow(t.owner)) {
    Send(t.owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    Send(t.owner, WM_MENUSELECT, static_cast<DWORD>(MAKELONG(0, 0xFFFF)), 0);
    Send(t.owner, WM_EXITMENULOOP, TRUE, 0);
  }
  S().open = false;
  S().openOwner = nullptr;
  if (ForegroundWindow() == t.owner) S().owedOwner = t.owner;
  t.Record().chosen = t.chosen;
  BOOL result = (uFlags & TPM_RETURNCMD) ? static_cast<BOOL>(t.chosen) : TRUE;
  if (t.chosen && !(uFlags & TPM_RETURNCMD) && LiveWindow(t.owner)) Post(t.owner, WM_COMMAND, t.chosen, 0);
  return result;
}

namespace winsim {

MenuScript& MenuScript::Run(std::function<void()> step) {
  m_actions.push_back(Action{Action::Kind::Run, 0, std::move(step)});
  return *this;
}

MenuScript& MenuScript::Highlight(UINT id) {
  m_actions.push_back(Action{Action::Kind::Highlight, id, nullptr});
  return *this;
}

MenuScript& MenuScript::Choose(UINT id) {
  m_actions.push_back(Action{Action::Kind::Choose, id, nullptr});
  return *this;
}

MenuScript& MenuScript::Cancel() {
  m_actions.push_back(Action{Action::Kind::Cancel, 0, nullptr});
  return *this;
}

MenuScript& MenuScript::ClickOutside() {
  m_actions.push_back(Action{Action::Kind::ClickOutside, 0, nullptr});
  return *this;
}

void ScriptTrackPopupMenu(MenuScript script) { S().scripts.push_back(std::move(script)); }

std::vector<TrackPopupMenuCall> TrackPopupMenuCalls() { return S().calls; }

}  // namespace winsim
