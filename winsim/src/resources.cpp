// winsim resource loading: menus, icons, strings and bitmaps from the resources
// registered with a module (the executable has none). What is loaded is a new,
// independent object that outlives the module.
#include "core.h"
#include "gdi.h"
#include "menus.h"
#include "modules.h"
#include "window_store.h"

#include "winsim/control.h"

#include <algorithm>
#include <map>

using namespace winsim::detail;
using winsim::ModuleResources;

namespace {

struct Icon {
  winsim::IconInfo info;
  bool shared;
};

struct ResourceState {
  std::map<ULONG_PTR, Icon> icons;
  std::map<std::pair<HMODULE, WORD>, HICON> sharedIcons;  // LR_SHARED loads
};

ResourceState& S() {
  static ResourceState s;
  return s;
}

const ResetHook g_reset([] { S() = ResourceState{}; });

// The resources behind an instance handle; sets *error when there are none.
std::shared_ptr<ModuleResources> ResourcesOf(HINSTANCE hInstance, DWORD* error) {
  std::shared_ptr<ModuleResources> resources = LoadedModuleResources(hInstance);
  if (!resources) *error = ERROR_RESOURCE_DATA_NOT_FOUND;
  return resources;
}

// An integer resource name, or "#123"; false for any other name.
bool IdOf(LPCSTR name, WORD* id) {
  if (IS_INTRESOURCE(name)) {
    *id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    return true;
  }
  if (!name || name[0] != '#' || !name[1]) return false;
  unsigned long value = 0;
  for (const char* p = name + 1; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<unsigned long>(*p - '0');
    if (value > 0xFFFF) return false;
  }
  *id = static_cast<WORD>(value);
  return true;
}

// Looks a resource up in one of the maps: a missing type and a missing name give
// different errors.
template <typename Map>
const typename Map::mapped_type* Lookup(const Map& map, LPCSTR name, DWORD* error) {
  WORD id = 0;
  auto it = IdOf(name, &id) ? map.find(id) : map.end();
  if (it != map.end()) return &it->second;
  *error = map.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

void AppendTemplate(HMENU hMenu, const std::vector<winsim::MenuTemplateItem>& items) {
  for (const winsim::MenuTemplateItem& item : items) {
    if (item.flags & MF_POPUP) {
      HMENU sub = NewMenu(true);
      AppendTemplate(sub, item.items);
      AppendItem(hMenu, item.flags, reinterpret_cast<UINT_PTR>(sub), item.text.c_str());
    } else {
      // An item without text is a separator, as in the compiled resource.
      AppendItem(hMenu, item.flags, item.id, item.text.empty() ? nullptr : item.text.c_str());
    }
  }
}

HBITMAP LoadBitmapResource(HINSTANCE hInstance, LPCSTR name) {
  DWORD error = 0;
  std::shared_ptr<ModuleResources> resources = ResourcesOf(hInstance, &error);
  const SIZE* size = resources ? Lookup(resources->bitmaps, name, &error) : nullptr;
  if (!size) return Fail<HBITMAP>(nullptr, error);
  // A bitmap resource becomes a bitmap of the display's format.
  return NewBitmap(size->cx, size->cy, 1, kScreenBitsPixel);
}

HICON LoadIconResource(HINSTANCE hInstance, LPCSTR name, int cx, int cy, UINT fuLoad) {
  DWORD error = 0;
  std::shared_ptr<ModuleResources> resources = ResourcesOf(hInstance, &error);
  WORD id = 0;
  const std::vector<SIZE>* images = resources ? Lookup(resources->icons, name, &error) : nullptr;
  // An icon that is not there is looked for as an animated icon too, a type modules
  // seldom have: that search's error is the one reported.
  if (resources && !images) error = ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (!images || !IdOf(name, &id)) return Fail<HICON>(nullptr, error);
  ResourceState& s = S();
  HMODULE module = hInstance ? hInstance : winsim::MainModuleHandle();
  if (fuLoad & LR_SHARED) {
    auto it = s.sharedIcons.find({module, id});
    if (it != s.sharedIcons.end()) return it->second;
  }
  // Without a size the first image's own size is taken, or the default icon size.
  if (!cx) cx = (fuLoad & LR_DEFAULTSIZE) || images->empty() ? 32 : images->front().cx;
  if (!cy) cy = (fuLoad & LR_DEFAULTSIZE) || images->empty() ? 32 : images->front().cy;
  ULONG_PTR key = NewUserHandle();
  s.icons[key] = Icon{winsim::IconInfo{module, id, cx, cy}, (fuLoad & LR_SHARED) != 0};
  HICON hIcon = reinterpret_cast<HICON>(key);
  if (fuLoad & LR_SHARED) s.sharedIcons[{module, id}] = hIcon;
  return hIcon;
}

}  // namespace

HMENU WINAPI LoadMenuA(HINSTANCE hInstance, LPCSTR lpMenuName) {
  if (DWORD e = Fault("LoadMenuA")) return Fail<HMENU>(nullptr, e);
  DWORD error = 0;
  std::shared_ptr<ModuleResources> resources = ResourcesOf(hInstance, &error);
  const auto* items = resources ? Lookup(resources->menus, lpMenuName, &error) : nullptr;
  if (!items) return Fail<HMENU>(nullptr, error);
  // Every load builds a new tree: the top level is a menu bar, its pop-ups are menus.
  HMENU hMenu = NewMenu(false);
  AppendTemplate(hMenu, *items);
  return hMenu;
}

HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad) {
  if (DWORD e = Fault("LoadImageA")) return Fail<HANDLE>(nullptr, e);
  if (fuLoad & LR_LOADFROMFILE) return Fail<HANDLE>(nullptr, ERROR_FILE_NOT_FOUND);
  switch (type) {
    case IMAGE_ICON:
      return LoadIconResource(hInst, name, cx, cy, fuLoad);
    case IMAGE_BITMAP:
      return LoadBitmapResource(hInst, name);
    default:
      return Fail<HANDLE>(nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  auto it = S().icons.find(reinterpret_cast<ULONG_PTR>(hIcon));
  if (it == S().icons.end()) return Fail(FALSE, ERROR_INVALID_CURSOR_HANDLE);
  if (DWORD e = Fault("DestroyIcon")) return Fail(FALSE, e);
  // A shared icon belongs to the system: destroying it is accepted and does nothing.
  if (!it->second.shared) S().icons.erase(it);
  return TRUE;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  // No read-only pointer form in the ANSI call.
  if (cchBufferMax == 0) return -1;
  if (!lpBuffer || cchBufferMax < 0) return Fail(0, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("LoadStringA")) return Fail(0, e);
  lpBuffer[0] = '\0';
  DWORD error = 0;
  std::shared_ptr<ModuleResources> resources = ResourcesOf(hInstance, &error);
  if (!resources) return Fail(0, error);
  // Strings are stored in blocks of sixteen: a missing block is a missing resource, a
  // missing string in a present block is just empty.
  WORD id = LOWORD(uID);
  const auto& strings = resources->strings;
  auto block = strings.lower_bound(static_cast<WORD>(id & 0xFFF0));
  if (block == strings.end() || (block->first >> 4) != (id >> 4))
    return Fail(0, strings.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
  auto it = strings.find(id);
  if (it == strings.end()) return 0;
  int n = std::min(static_cast<int>(it->second.size()), cchBufferMax - 1);
  it->second.copy(lpBuffer, static_cast<size_t>(n));
  lpBuffer[n] = '\0';
  return n;
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
  if (DWORD e = Fault("LoadBitmapA")) return Fail<HBITMAP>(nullptr, e);
  return LoadBitmapResource(hInstance, lpBitmapName);
}

namespace winsim {

std::optional<IconInfo> LoadedIcon(HICON hIcon) {
  auto it = S().icons.find(reinterpret_cast<ULONG_PTR>(hIcon));
  if (it == S().icons.end()) return std::nullopt;
  return it->second.info;
}

size_t LiveIconCount() { return S().icons.size(); }

}  // namespace winsim
