// winsim test controls for resources: a module's icons, bitmaps, strings and menus, read
// from the same .rc file that windres compiles for Windows, and what was loaded.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

struct MenuTemplateItem {
  std::string text;  // empty for MENUITEM SEPARATOR
  UINT id;           // 0 for a pop-up or a separator
  UINT flags;        // MF_ bits: MF_POPUP, MF_GRAYED, MF_DISABLED, MF_CHECKED, ...
  std::vector<MenuTemplateItem> items;  // a pop-up's items
};

struct ModuleResources {
  std::map<WORD, std::vector<SIZE>> icons;  // the images of each icon file
  std::map<WORD, SIZE> bitmaps;
  std::map<WORD, std::string> strings;
  std::map<WORD, std::vector<MenuTemplateItem>> menus;
};

// Reads an .rc file: ICON and BITMAP (sizes read from the files, named relative to the
// .rc file), MENU (POPUP, MENUITEM, MENUITEM SEPARATOR, GRAYED, INACTIVE, CHECKED,
// MENUBREAK, MENUBARBREAK, HELP), STRINGTABLE (with the "" and backslash escapes), numeric
// ids or names from #define; #include lines and LANGUAGE statements are skipped. Null,
// with the reason in *error, for anything else.
std::shared_ptr<ModuleResources> ParseRcFile(const std::string& path, std::string* error = nullptr);
std::shared_ptr<ModuleResources> ParseRc(const std::string& text, const std::string& baseDir,
                                         std::string* error = nullptr);

struct IconInfo {
  HMODULE module;
  WORD id;
  int cx, cy;
};
// What a live icon was loaded from; nothing once destroyed.
std::optional<IconInfo> LoadedIcon(HICON hIcon);
size_t LiveIconCount();

}  // namespace winsim
