// winsim file mappings: read-write paging-file blocks shared by (case-sensitive) name,
// viewed from offset 0. A block's name lasts while a handle to it is open; its memory
// while a handle or a view is.
#include "core.h"

#include "winsim/control.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <string>

using namespace winsim::detail;

namespace {

const char kMappingKind[] = "mapping";
const SIZE_T kPageSize = 4096;

struct Mapping {
  std::string name;  // empty: unnamed, or its name went with its last handle
  SIZE_T size = 0;
  // Exactly `size` bytes, so AddressSanitizer flags any touch past the block, even
  // where the platform's page rounding would let it pass.
  std::unique_ptr<BYTE[]> data;
  size_t handles = 0;
  size_t views = 0;
};

struct View {
  Mapping* mapping;
  SIZE_T size;
};

struct MappingState {
  std::map<Mapping*, std::unique_ptr<Mapping>> live;
  std::map<std::string, Mapping*> named;
  std::multimap<const BYTE*, View> views;
  SIZE_T largestView = 0;
};

MappingState& S() {
  static MappingState s;
  return s;
}

const ResetHook kReset([] { S() = MappingState{}; });

void DropIfUnused(Mapping* m) {
  if (m->handles == 0 && m->views == 0) S().live.erase(m);
}

void CloseMapping(void* object) {
  auto* m = static_cast<Mapping*>(object);
  if (--m->handles == 0 && !m->name.empty()) {
    S().named.erase(m->name);
    m->name.clear();
  }
  DropIfUnused(m);
}

HANDLE NewMappingHandle(Mapping* m) {
  ++m->handles;
  return NewHandle(kMappingKind, m, CloseMapping);
}

}  // namespace

namespace winsim {

size_t FileMappingCount() { return S().live.size(); }
size_t MappedViewCount() { return S().views.size(); }
bool FileMappingExists(const std::string& name) { return S().named.count(name) != 0; }
SIZE_T LargestMappedViewSize() { return S().largestView; }

}  // namespace winsim

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                 DWORD dwMaximumSizeLow, LPCSTR lpName) {
  // Only the read-write paging-file blocks the program uses are simulated.
  if (hFile != INVALID_HANDLE_VALUE || flProtect != PAGE_READWRITE)
    return Fail<HANDLE>(nullptr, ERROR_INVALID_PARAMETER);
  uint64_t size = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  if (size == 0) return Fail<HANDLE>(nullptr, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("CreateFileMappingA")) return Fail<HANDLE>(nullptr, e);

  MappingState& s = S();
  std::string name = lpName ? lpName : "";
  if (!name.empty()) {
    auto it = s.named.find(name);
    // An existing block keeps its own size.
    if (it != s.named.end()) return Fail(NewMappingHandle(it->second), ERROR_ALREADY_EXISTS);
  }
  auto m = std::make_unique<Mapping>();
  m->size = static_cast<SIZE_T>(size);
  m->data.reset(new (std::nothrow) BYTE[m->size]());
  if (!m->data) return Fail<HANDLE>(nullptr, ERROR_NOT_ENOUGH_MEMORY);
  m->name = name;
  Mapping* raw = m.get();
  s.live[raw] = std::move(m);
  if (!name.empty()) s.named[name] = raw;
  return Fail(NewMappingHandle(raw), ERROR_SUCCESS);
}

HANDLE WINAPI OpenFileMappingA(DWORD, BOOL, LPCSTR lpName) {
  if (!lpName) return Fail<HANDLE>(nullptr, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("OpenFileMappingA")) return Fail<HANDLE>(nullptr, e);
  auto it = S().named.find(lpName);
  if (it == S().named.end()) return Fail<HANDLE>(nullptr, ERROR_FILE_NOT_FOUND);
  return NewMappingHandle(it->second);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD, DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                            SIZE_T dwNumberOfBytesToMap) {
  auto* m = static_cast<Mapping*>(HandleObject(hFileMappingObject, kMappingKind));
  if (!m) return Fail<LPVOID>(nullptr, ERROR_INVALID_HANDLE);
  if (dwFileOffsetHigh || dwFileOffsetLow) return Fail<LPVOID>(nullptr, ERROR_INVALID_PARAMETER);
  // The platform rounds the block up to whole pages: a view may reach into the last
  // page, not beyond it.
  SIZE_T size = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : m->size;
  if (size > (m->size + kPageSize - 1) / kPageSize * kPageSize) return Fail<LPVOID>(nullptr, ERROR_ACCESS_DENIED);
  if (DWORD e = Fault("MapViewOfFile")) return Fail<LPVOID>(nullptr, e);

  BYTE* base = m->data.get();
  S().views.emplace(base, View{m, size});
  S().largestView = std::max(S().largestView, size);
  ++m->views;
  return base;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  if (DWORD e = Fault("UnmapViewOfFile")) return Fail(FALSE, e);
  auto& views = S().views;
  const BYTE* p = static_cast<const BYTE*>(lpBaseAddress);
  // Any address inside a view unmaps it, as on the platform.
  auto it = std::find_if(views.begin(), views.end(),
                         [p](const auto& v) { return p >= v.first && p < v.first + v.second.size; });
  if (it == views.end()) return Fail(FALSE, ERROR_INVALID_ADDRESS);
  Mapping* m = it->second.mapping;
  views.erase(it);
  --m->views;
  DropIfUnused(m);
  return TRUE;
}
