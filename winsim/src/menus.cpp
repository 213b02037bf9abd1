// winsim menus: the menu store and the calls that build, read, change and destroy menus.
// Items are set the platform's way: the old-style flags of AppendMenuA and ModifyMenuA
// are turned into an item-info change, as SetMenuItemInfoA applies it.
#include "menus.h"

#include "core.h"
#include "window_store.h"

#include "winsim/control.h"

#include <algorithm>
#include <map>
#include <memory>

using namespace winsim::detail;

namespace {

const UINT kInfoTypeMask = MFT_STRING | MFT_BITMAP | MFT_OWNERDRAW | MFT_SEPARATOR | MFT_MENUBARBREAK |
                           MFT_MENUBREAK | MFT_RADIOCHECK | MFT_RIGHTORDER | MFT_RIGHTJUSTIFY;
const UINT kTypeMask = kInfoTypeMask | MF_POPUP;
const UINT kInfoStateMask = ~kTypeMask & ~static_cast<UINT>(MF_BYPOSITION | MF_MOUSESELECT);

struct MenuState {
  std::map<ULONG_PTR, std::unique_ptr<Menu>> menus;
};

MenuState& S() {
  static MenuState s;
  return s;
}

const ResetHook g_reset([] { S() = MenuState{}; });

bool IsStringItem(UINT flags) { return (flags & (MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR)) == 0; }

// One change to an item, in the form SetMenuItemInfoA takes.
struct Change {
  UINT mask = 0;
  UINT type = 0;
  UINT state = 0;
  UINT id = 0;
  HMENU subMenu = nullptr;
  ULONG_PTR data = 0;
  LPCSTR text = nullptr;
  HBITMAP bitmap = nullptr;
};

// The change the old-style flags of AppendMenuA and ModifyMenuA stand for.
Change FromFlags(UINT flags, UINT_PTR id, LPCSTR str) {
  Change c;
  c.mask = MIIM_STATE | MIIM_ID | MIIM_FTYPE;
  if (IsStringItem(flags)) {
    // Setting text clears a bitmap and the reverse; a string item without a string is
    // a separator.
    c.mask |= MIIM_STRING | MIIM_BITMAP;
    if (!str) flags |= MF_SEPARATOR;
    c.text = str;
  } else if (flags & MFT_BITMAP) {
    c.mask |= MIIM_BITMAP | MIIM_STRING;
    c.bitmap = reinterpret_cast<HBITMAP>(const_cast<LPSTR>(str));
  }
  if (flags & MF_OWNERDRAW) {
    c.mask |= MIIM_DATA;
    c.data = reinterpret_cast<ULONG_PTR>(str);
  }
  if ((flags & MF_POPUP) && LiveMenu(reinterpret_cast<HMENU>(id))) {
    c.mask |= MIIM_SUBMENU;
    c.subMenu = reinterpret_cast<HMENU>(id);
  }
  // Separators are disabled; MF_DEFAULT is not taken from these calls.
  if (flags & MF_SEPARATOR) flags |= MF_GRAYED | MF_DISABLED;
  c.state = flags & kInfoStateMask & ~static_cast<UINT>(MFS_DEFAULT);
  c.type = flags & kInfoTypeMask;
  c.id = static_cast<UINT>(id);
  return c;
}

BOOL Apply(MenuItem* item, const Change& c) {
  if (c.mask & MIIM_FTYPE) item->type = (item->type & ~kInfoTypeMask) | (c.type & kInfoTypeMask);
  if (c.mask & MIIM_STRING) {
    item->hasText = c.text != nullptr;
    item->text = c.text ? c.text : "";
  }
  if (c.mask & MIIM_STATE) item->state = c.state & kInfoStateMask;
  if (c.mask & MIIM_ID) item->id = c.id;
  if (c.mask & MIIM_SUBMENU) {
    item->subMenu = c.subMenu;
    if (c.subMenu) {
      Menu* sub = LiveMenu(c.subMenu);
      if (!sub) return Fail(FALSE, ERROR_INVALID_PARAMETER);
      sub->popup = true;
      item->type |= MF_POPUP;
    } else {
      item->type &= ~static_cast<UINT>(MF_POPUP);
    }
  }
  if (c.mask & MIIM_DATA) item->data = c.data;
  if (c.mask & MIIM_BITMAP) item->bitmap = c.bitmap;
  if (!item->hasText && !(item->type & MFT_OWNERDRAW) && !item->bitmap) item->type |= MFT_SEPARATOR;
  return TRUE;
}

struct Found {
  Menu* menu = nullptr;
  size_t index = 0;
  MenuItem* item() const { return &menu->items[index]; }
};

// By command the search goes depth first into sub-menus, where a match wins over a
// later item; a pop-up item whose own id matches is taken only when nothing else is.
Found FindByCommand(Menu* menu, UINT id, int depth) {
  Found fallback;
  if (depth > 32) return fallback;  // a menu that contains itself
  for (size_t i = 0; i < menu->items.size(); ++i) {
    MenuItem& item = menu->items[i];
    if (item.type & MF_POPUP) {
      if (Menu* sub = LiveMenu(item.subMenu)) {
        Found inner = FindByCommand(sub, id, depth + 1);
        if (inner.menu) return inner;
      }
      if (item.id == id && !fallback.menu) fallback = Found{menu, i};
    } else if (item.id == id) {
      return Found{menu, i};
    }
  }
  return fallback;
}

Found FindItem(HMENU hMenu, UINT item, bool byPosition) {
  Menu* menu = LiveMenu(hMenu);
  if (!menu) return Found{};
  if (byPosition) return item < menu->items.size() ? Found{menu, item} : Found{};
  return FindByCommand(menu, item, 0);
}

bool ValidInfoSize(UINT cbSize) {
  return cbSize == sizeof(MENUITEMINFOA) || cbSize == static_cast<UINT>(FIELD_OFFSET(MENUITEMINFOA, hbmpItem));
}

std::string Describe(const Menu& menu, int indent) {
  std::string out;
  for (const MenuItem& item : menu.items) {
    std::string line(static_cast<size_t>(indent) * 2, ' ');
    if (item.type & MFT_SEPARATOR) {
      out += line + "---\n";
      continue;
    }
    line += (item.type & MFT_OWNERDRAW) ? std::string("ownerdraw") : "\"" + item.text + "\"";
    line += (item.type & MF_POPUP) ? std::string(" popup") : " " + std::to_string(item.id);
    if (item.state & MF_GRAYED)
      line += " grayed";
    else if (item.state & MF_DISABLED)
      line += " disabled";
    if (item.state & MF_CHECKED) line += " checked";
    if (item.state & MFS_DEFAULT) line += " default";
    if (item.state & MFS_HILITE) line += " hilite";
    out += line + "\n";
    if (item.type & MF_POPUP)
      if (const Menu* sub = LiveMenu(item.subMenu)) out += Describe(*sub, indent + 1);
  }
  return out;
}

}  // namespace

namespace winsim::detail {

Menu* LiveMenu(HMENU hMenu) {
  auto it = S().menus.find(reinterpret_cast<ULONG_PTR>(hMenu) & 0xFFFFFFFF);
  return it == S().menus.end() ? nullptr : it->second.get();
}

HMENU NewMenu(bool popup) {
  auto menu = std::make_unique<Menu>();
  ULONG_PTR key = NewUserHandle();
  menu->handle = reinterpret_cast<HMENU>(key);
  menu->popup = popup;
  HMENU h = menu->handle;
  S().menus[key] = std::move(menu);
  return h;
}

BOOL AppendItem(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
  Menu* menu = LiveMenu(hMenu);
  if (!menu) return FALSE;
  MenuItem item;
  if (!Apply(&item, FromFlags(uFlags, uIDNewItem, lpNewItem))) return FALSE;
  menu->items.push_back(item);
  return TRUE;
}

void DestroyMenuTree(HMENU hMenu) {
  Menu* menu = LiveMenu(hMenu);
  if (!menu) return;
  std::vector<HMENU> subMenus;
  for (const MenuItem& item : menu->items)
    if (item.type & MF_POPUP) subMenus.push_back(item.subMenu);
  S().menus.erase(reinterpret_cast<ULONG_PTR>(menu->handle));
  for (HMENU sub : subMenus) DestroyMenuTree(sub);
}

}  // namespace winsim::detail

HMENU WINAPI CreatePopupMenu(void) {
  if (DWORD e = Fault("CreatePopupMenu")) return Fail<HMENU>(nullptr, e);
  return NewMenu(true);
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
  if (!LiveMenu(hMenu)) return Fail<HMENU>(nullptr, ERROR_INVALID_MENU_HANDLE);
  if (DWORD e = Fault("GetSubMenu")) return Fail<HMENU>(nullptr, e);
  Found found = FindItem(hMenu, static_cast<UINT>(nPos), true);
  if (!found.menu || nPos < 0 || !(found.item()->type & MF_POPUP)) return nullptr;
  return found.item()->subMenu;
}

BOOL WINAPI ModifyMenuA(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
  if (DWORD e = Fault("ModifyMenuA")) return Fail(FALSE, e);
  Found found = FindItem(hMnu, uPosition, (uFlags & MF_BYPOSITION) != 0);
  if (!found.menu) return FALSE;
  MenuItem* item = found.item();
  // Giving a pop-up item another sub-menu destroys the one it had.
  if ((item->type & MF_POPUP) && (uFlags & MF_POPUP) && item->subMenu != reinterpret_cast<HMENU>(uIDNewItem))
    DestroyMenuTree(item->subMenu);
  return Apply(item, FromFlags(uFlags & ~static_cast<UINT>(MF_BYPOSITION), uIDNewItem, lpNewItem));
}

BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
  if (DWORD e = Fault("AppendMenuA")) return Fail(FALSE, e);
  return AppendItem(hMenu, uFlags, uIDNewItem, lpNewItem);
}

BOOL WINAPI GetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPosition, LPMENUITEMINFOA lpmii) {
  if (!lpmii || !ValidInfoSize(lpmii->cbSize)) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("GetMenuItemInfoA")) return Fail(FALSE, e);
  Found found = FindItem(hmenu, item, fByPosition != FALSE);
  if (!found.menu) return Fail(FALSE, ERROR_MENU_ITEM_NOT_FOUND);
  const MenuItem& it = *found.item();
  bool hasBitmapField = lpmii->cbSize == sizeof(MENUITEMINFOA);
  UINT mask = lpmii->fMask;

  if (mask & MIIM_TYPE) {
    if (mask & (MIIM_STRING | MIIM_FTYPE | MIIM_BITMAP)) return Fail(FALSE, ERROR_INVALID_PARAMETER);
    lpmii->fType = it.type & kInfoTypeMask;
    if (it.bitmap) lpmii->fType |= MFT_BITMAP;
    if (hasBitmapField) lpmii->hbmpItem = it.bitmap;
    if (lpmii->fType & MFT_BITMAP) {
      lpmii->dwTypeData = reinterpret_cast<LPSTR>(it.bitmap);
      lpmii->cch = 0;
    } else if (lpmii->fType & (MFT_OWNERDRAW | MFT_SEPARATOR)) {
      lpmii->dwTypeData = nullptr;
      lpmii->cch = 0;
    }
  }
  if (mask & (MIIM_TYPE | MIIM_STRING)) {
    if (!it.hasText) {
      if (lpmii->dwTypeData && lpmii->cch) lpmii->dwTypeData[0] = '\0';
      lpmii->cch = 0;
    } else if (lpmii->dwTypeData && lpmii->cch) {
      // A cut copy ends with a terminator in the buffer's last byte.
      UINT n = std::min(static_cast<UINT>(it.text.size()), lpmii->cch - 1);
      it.text.copy(lpmii->dwTypeData, n);
      lpmii->dwTypeData[n] = '\0';
      lpmii->cch = n;
    } else {
      lpmii->cch = static_cast<UINT>(it.text.size());
    }
  }
  if (mask & MIIM_FTYPE) lpmii->fType = it.type & kInfoTypeMask;
  if ((mask & MIIM_BITMAP) && hasBitmapField) lpmii->hbmpItem = it.bitmap;
  if (mask & MIIM_STATE) lpmii->fState = it.state & kInfoStateMask;
  if (mask & MIIM_ID) lpmii->wID = it.id;
  lpmii->hSubMenu = (mask & MIIM_SUBMENU) ? it.subMenu : nullptr;
  if (mask & MIIM_CHECKMARKS) {
    lpmii->hbmpChecked = nullptr;
    lpmii->hbmpUnchecked = nullptr;
  }
  if (mask & MIIM_DATA) lpmii->dwItemData = it.data;
  return TRUE;
}

BOOL WINAPI SetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPositon, LPCMENUITEMINFOA lpmii) {
  if (!lpmii || !ValidInfoSize(lpmii->cbSize)) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  UINT mask = lpmii->fMask;
  if ((mask & MIIM_TYPE) && (mask & (MIIM_STRING | MIIM_FTYPE | MIIM_BITMAP)))
    return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if ((mask & MIIM_FTYPE) && (lpmii->fType & MFT_BITMAP)) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("SetMenuItemInfoA")) return Fail(FALSE, e);
  Found found = FindItem(hmenu, item, fByPositon != FALSE);
  if (!found.menu) return Fail(FALSE, ERROR_MENU_ITEM_NOT_FOUND);

  Change c;
  c.mask = mask & ~static_cast<UINT>(MIIM_TYPE);
  c.type = lpmii->fType;
  c.state = lpmii->fState;
  c.id = lpmii->wID;
  c.subMenu = lpmii->hSubMenu;
  c.data = lpmii->dwItemData;
  c.text = lpmii->dwTypeData;
  c.bitmap = lpmii->cbSize == sizeof(MENUITEMINFOA) ? lpmii->hbmpItem : nullptr;
  // MIIM_TYPE is the older form of a type change with the text or the bitmap.
  if (mask & MIIM_TYPE) {
    c.mask |= MIIM_FTYPE;
    if (IsStringItem(lpmii->fType)) {
      c.mask |= MIIM_STRING;
    } else if (lpmii->fType & MFT_BITMAP) {
      c.mask |= MIIM_BITMAP;
      c.bitmap = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(LOWORD(lpmii->dwTypeData)));
    }
  }
  return Apply(found.item(), c);
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
  Menu* menu = LiveMenu(hMenu);
  if (!menu) return Fail(-1, ERROR_INVALID_MENU_HANDLE);
  if (DWORD e = Fault("GetMenuItemCount")) return Fail(-1, e);
  return static_cast<int>(menu->items.size());
}

UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
  if (DWORD e = Fault("GetMenuItemID")) return Fail(static_cast<UINT>(-1), e);
  Found found = FindItem(hMenu, static_cast<UINT>(nPos), true);
  if (!found.menu || nPos < 0 || (found.item()->type & MF_POPUP)) return static_cast<UINT>(-1);
  return found.item()->id;
}

int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
  if (DWORD e = Fault("GetMenuStringA")) return Fail(0, e);
  if (lpString && cchMax > 0) lpString[0] = '\0';
  Found found = FindItem(hMenu, uIDItem, (flags & MF_BYPOSITION) != 0);
  if (!found.menu) return Fail(0, ERROR_MENU_ITEM_NOT_FOUND);
  const MenuItem& item = *found.item();
  if (!item.hasText) return 0;
  int len = static_cast<int>(item.text.size());
  if (!lpString || cchMax <= 0) return len;
  int n = std::min(len, cchMax - 1);
  item.text.copy(lpString, static_cast<size_t>(n));
  lpString[n] = '\0';
  return n;
}

UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
  if (DWORD e = Fault("GetMenuState")) return Fail(static_cast<UINT>(-1), e);
  Found found = FindItem(hMenu, uId, (uFlags & MF_BYPOSITION) != 0);
  if (!found.menu) return static_cast<UINT>(-1);
  const MenuItem& item = *found.item();
  if (!(item.type & MF_POPUP)) return item.type | item.state;
  // A pop-up item reports its sub-menu's item count in the high byte.
  const Menu* sub = LiveMenu(item.subMenu);
  if (!sub) return static_cast<UINT>(-1);
  return static_cast<UINT>(sub->items.size() << 8) | ((item.state | item.type) & 0xFF);
}

BOOL WINAPI DestroyMenu(HMENU hMenu) {
  if (!LiveMenu(hMenu)) return Fail(FALSE, ERROR_INVALID_MENU_HANDLE);
  if (DWORD e = Fault("DestroyMenu")) return Fail(FALSE, e);
  DestroyMenuTree(hMenu);
  return TRUE;
}

BOOL WINAPI IsMenu(HMENU hMenu) {
  if (DWORD e = Fault("IsMenu")) return Fail(FALSE, e);
  return LiveMenu(hMenu) ? TRUE : Fail(FALSE, ERROR_INVALID_MENU_HANDLE);
}

BOOL WINAPI DrawMenuBar(HWND hWnd) {
  if (!LiveWindow(hWnd)) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("DrawMenuBar")) return Fail(FALSE, e);
  // Nothing to redraw: the hidden windows here have no menu bar.
  return TRUE;
}

namespace winsim {

size_t LiveMenuCount() { return S().menus.size(); }

std::string DumpMenu(HMENU hMenu) {
  const Menu* menu = LiveMenu(hMenu);
  return menu ? Describe(*menu, 0) : "(no menu)\n";
}

}  // namespace winsim
