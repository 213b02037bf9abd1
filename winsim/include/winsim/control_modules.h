// winsim test controls for libraries: register the modules LoadLibraryA can find (by
// Windows path, with native functions as exports) and watch their load counts.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace winsim {

// A module's resources (icons, menus, strings, bitmaps); defined and filled by the
// resources area. A module without resources holds null.
struct ModuleResources;

struct ModuleImage {
  std::map<std::string, FARPROC> exports;  // GetProcAddress names, case-sensitive
  std::shared_ptr<ModuleResources> resources;
};

// A native function as an export: AsExport(&MyPrSetRegDefaultValue).
template <typename F>
FARPROC AsExport(F* fn) {
  // Through void (*)(), the one function pointer type -Wcast-function-type lets through.
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

// Makes a library file exist at `path` (e.g. "C:\\Drivers\\PRNLIB.DLL"). Registering
// the same path again replaces its image. Returns the handle it has whenever loaded.
HMODULE RegisterModule(const std::string& path, ModuleImage image);

// Registered modules loaded now, for leak checks.
size_t LoadedModuleCount();

// The executable's handle; its path is C:\prw3tray.exe.
HMODULE MainModuleHandle();

}  // namespace winsim
