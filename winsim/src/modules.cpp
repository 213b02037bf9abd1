// winsim libraries: the modules tests register by Windows path, loaded and freed with
// reference counts; exports are native functions, resources are held for another area.
#include "modules.h"

#include "core.h"

#include "winsim/control.h"

#include <cstring>
#include <string>
#include <vector>

namespace winsim::detail {
namespace {

struct Module {
  std::string path;
  winsim::ModuleImage image;
  HMODULE handle;
  unsigned loads = 0;
};

const uintptr_t kMainModule = 0x00400000;

struct ModuleState {
  std::vector<Module> modules;  // in registration order, which a bare name's search follows
  uintptr_t nextBase = 0x10000000;
};

ModuleState& S() {
  static ModuleState s;
  return s;
}

const ResetHook g_reset([] { S() = ModuleState{}; });

bool SameName(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::string Normalized(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

Module* FindByPath(const std::string& path) {
  for (Module& m : S().modules)
    if (SameName(m.path, path)) return &m;
  return nullptr;
}

// A bare name finds a module already loaded under that file name first, as the loader
// does, then the first registered one; without an extension ".dll" is assumed.
Module* FindByFileName(std::string name) {
  if (name.find('.') == std::string::npos) name += ".dll";
  Module* found = nullptr;
  for (Module& m : S().modules) {
    if (!SameName(FileName(m.path), name)) continue;
    if (m.loads) return &m;
    if (!found) found = &m;
  }
  return found;
}

Module* FindLoaded(HMODULE h) {
  for (Module& m : S().modules)
    if (m.handle == h && m.loads) return &m;
  return nullptr;
}

}  // namespace

const std::string& MainModulePath() {
  static const std::string path = "C:\\prw3tray.exe";
  return path;
}

std::shared_ptr<winsim::ModuleResources> LoadedModuleResources(HMODULE module) {
  Module* m = FindLoaded(module);
  return m ? m->image.resources : nullptr;
}

}  // namespace winsim::detail

using namespace winsim::detail;

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (DWORD e = Fault("LoadLibraryA")) return Fail<HMODULE>(nullptr, e);
  if (!lpLibFileName || !*lpLibFileName) return Fail<HMODULE>(nullptr, ERROR_MOD_NOT_FOUND);
  std::string name = Normalized(lpLibFileName);
  Module* m = name.find('\\') == std::string::npos ? FindByFileName(name) : FindByPath(name);
  if (!m) return Fail<HMODULE>(nullptr, ERROR_MOD_NOT_FOUND);
  ++m->loads;
  return m->handle;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (DWORD e = Fault("GetProcAddress")) return Fail<FARPROC>(nullptr, e);
  // The executable exports nothing.
  if (!hModule || reinterpret_cast<uintptr_t>(hModule) == kMainModule) return Fail<FARPROC>(nullptr, ERROR_PROC_NOT_FOUND);
  Module* m = FindLoaded(hModule);
  if (!m) return Fail<FARPROC>(nullptr, ERROR_MOD_NOT_FOUND);
  // Exports by ordinal are not simulated.
  if (IS_INTRESOURCE(lpProcName)) return Fail<FARPROC>(nullptr, ERROR_PROC_NOT_FOUND);
  auto it = m->image.exports.find(lpProcName);
  if (it == m->image.exports.end()) return Fail<FARPROC>(nullptr, ERROR_PROC_NOT_FOUND);
  return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (DWORD e = Fault("FreeLibrary")) return Fail(FALSE, e);
  if (!hLibModule) return Fail(FALSE, ERROR_INVALID_HANDLE);
  Module* m = FindLoaded(hLibModule);
  if (!m) return Fail(FALSE, ERROR_MOD_NOT_FOUND);
  --m->loads;
  return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (DWORD e = Fault("GetModuleFileNameA")) return Fail<DWORD>(0, e);
  const std::string* path = &MainModulePath();
  if (hModule && reinterpret_cast<uintptr_t>(hModule) != kMainModule) {
    Module* m = FindLoaded(hModule);
    if (!m) return Fail<DWORD>(0, ERROR_MOD_NOT_FOUND);
    path = &m->path;
  }
  DWORD len = static_cast<DWORD>(path->size());
  if (len < nSize) {
    std::memcpy(lpFilename, path->c_str(), len + 1);
    SetLastError(ERROR_SUCCESS);  // as Wine does on success
    return len;
  }
  // A path that does not fit fills the buffer without a terminator (Wine, Windows XP;
  // later Windows versions end the cut path with one).
  std::memcpy(lpFilename, path->data(), nSize);
  return Fail(nSize, ERROR_INSUFFICIENT_BUFFER);
}

namespace winsim {

HMODULE RegisterModule(const std::string& path, ModuleImage image) {
  std::string normalized = Normalized(path);
  if (Module* m = FindByPath(normalized)) {
    m->image = std::move(image);
    return m->handle;
  }
  ModuleState& s = S();
  HMODULE handle = reinterpret_cast<HMODULE>(s.nextBase);
  s.nextBase += 0x10000;
  s.modules.push_back(Module{normalized, std::move(image), handle});
  return handle;
}

size_t LoadedModuleCount() {
  size_t n = 0;
  for (const Module& m : S().modules) n += m.loads > 0;
  return n;
}

HMODULE MainModuleHandle() { return reinterpret_cast<HMODULE>(kMainModule); }

}  // namespace winsim
