// winsim internals of the menu store, shared by the menu calls, TrackPopupMenu and
// LoadMenuA: menus and their items as the platform keeps them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim::detail {

struct MenuItem {
  UINT type = 0;  // MFT_ bits, plus MF_POPUP while the item opens a sub-menu
  UINT state = 0;
  UINT id = 0;
  HMENU subMenu = nullptr;
  ULONG_PTR data = 0;
  bool hasText = false;  // an item without text (separator, owner-drawn) differs from ""
  std::string text;
  HBITMAP bitmap = nullptr;
};

struct Menu {
  HMENU handle = nullptr;
  bool popup = false;
  std::vector<MenuItem> items;
};

// The menu behind a live handle, or null.
Menu* LiveMenu(HMENU hMenu);
// A new empty menu (a pop-up, or a menu bar as LoadMenuA's top level is).
HMENU NewMenu(bool popup);
// AppendMenuA on a live menu, without the public call's fault injection.
BOOL AppendItem(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
// Destroys a live menu and its sub-menus.
void DestroyMenuTree(HMENU hMenu);

// DefWindowProcA's WM_CANCELMODE: ends the open pop-up menu of that owner.
void CancelMenuOf(HWND owner);
// A message sent or posted to a window, and the thread reading its queue: after a menu
// whose owner was in the foreground, the owner must get a message before the thread
// reads its queue again, or the next menu no longer closes on a click outside it.
void NoteMessageTo(HWND hwnd);
void NoteQueueRead();

}  // namespace winsim::detail
