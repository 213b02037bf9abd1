// winsim file mappings: read-write paging-file blocks shared by (case-sensitive) name,
// viewed from offset 0. A block is a host shared-memory object; every view maps it at an
// address of its own. A block's name lasts while a handle to it is open; its memory
// while a handle or a view is.
#include "core.h"

#include "winsim/control.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>

using namespace winsim::detail;

namespace {

const char kMappingKind[] = "mapping";
const SIZE_T kPageSize = 4096;
// Unmapped views whose addresses stay reserved, so that a stale pointer faults instead
// of reaching a newer view placed there.
const size_t kQuarantine = 256;

SIZE_T WholePages(SIZE_T size) { return (size + kPageSize - 1) / kPageSize * kPageSize; }

struct Mapping {
  ~Mapping() {
    if (fd >= 0) close(fd);
  }
  std::string name;  // empty: unnamed, or its name went with its last handle
  SIZE_T size = 0;
  int fd = -1;  // whole pages; the block is their last `size` bytes
  size_t handles = 0;
  size_t views = 0;
};

// A view's pages hold the block so that it ends exactly where the page after them, kept
// inaccessible, begins: any touch past the block faults at once (with or without
// AddressSanitizer), even where the platform's page rounding would let it pass.
struct View {
  Mapping* mapping;
  SIZE_T size;
  BYTE* region;
  SIZE_T regionSize;  // the pages and the guard page
};

struct MappingState {
  std::map<Mapping*, std::unique_ptr<Mapping>> live;
  std::map<std::string, Mapping*> named;
  std::multimap<const BYTE*, View> views;
  SIZE_T largestView = 0;
  std::deque<std::pair<BYTE*, SIZE_T>> quarantine;
};

MappingState& S() {
  static MappingState s;
  return s;
}

// A view no longer: its pages become inaccessible and stay reserved for a while.
void Retire(const View& v) {
  mmap(v.region, v.regionSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
  auto& q = S().quarantine;
  q.emplace_back(v.region, v.regionSize);
  if (q.size() > kQuarantine) {
    munmap(q.front().first, q.front().second);
    q.pop_front();
  }
}

// The quarantine outlives Reset: old views' addresses must not come back.
const ResetHook kReset([] {
  MappingState& s = S();
  for (auto& v : s.views) Retire(v.second);
  s.views.clear();
  s.named.clear();
  s.live.clear();
  s.largestView = 0;
});

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
  m->fd = memfd_create("winsim-mapping", MFD_CLOEXEC);
  if (m->fd < 0 || ftruncate(m->fd, static_cast<off_t>(WholePages(m->size))) != 0)
    return Fail<HANDLE>(nullptr, ERROR_NOT_ENOUGH_MEMORY);
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
  if (size > WholePages(m->size)) return Fail<LPVOID>(nullptr, ERROR_ACCESS_DENIED);
  if (DWORD e = Fault("MapViewOfFile")) return Fail<LPVOID>(nullptr, e);

  const SIZE_T pages = WholePages(m->size);
  View v{m, size, nullptr, pages + kPageSize};
  void* region = mmap(nullptr, v.regionSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (region == MAP_FAILED) return Fail<LPVOID>(nullptr, ERROR_NOT_ENOUGH_MEMORY);
  v.region = static_cast<BYTE*>(region);
  if (mmap(v.region, pages, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, m->fd, 0) == MAP_FAILED) {
    munmap(v.region, v.regionSize);
    return Fail<LPVOID>(nullptr, ERROR_NOT_ENOUGH_MEMORY);
  }
  BYTE* base = v.region + (pages - m->size);
  S().views.emplace(base, v);
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
  Retire(it->second);
  views.erase(it);
  --m->views;
  DropIfUnused(m);
  return TRUE;
}
