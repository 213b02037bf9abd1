// The import table hooks: the imports the layer knows with what each returns when it
// fails, finding and writing their slots, and the program's nothrow new.
#include "support/Fault.h"

#include <shellapi.h>
#include <share.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <new>

namespace fault::detail {
namespace {

template <typename F>
struct CResult;
template <typename R, typename... A>
struct CResult<R(WINAPI*)(A...)> {
  using Type = R;
};

template <typename F, typename Tag>
CImport Entry(const char* pszName, Tag failValue, bool bErrorIsResult) {
  using Thunk = CThunk<F, Tag>;
  Thunk::s_pfnFailValue = failValue;
  Thunk::s_bErrorIsResult = bErrorIsResult;
  return CImport{pszName, &typeid(F), reinterpret_cast<void*>(&Thunk::Call), &Thunk::s_pImport, {}, nullptr, {}};
}

// An import that reports failure by its result alone, and one that returns the error.
#define IMPORT(fn, value) \
  Entry<decltype(&fn)>(   \
      #fn, [](DWORD) -> CResult<decltype(&fn)>::Type { return value; }, false)
#define VOID_IMPORT(fn) \
  Entry<decltype(&fn)>( \
      #fn, [](DWORD) {}, false)
#define REGISTRY(fn)    \
  Entry<decltype(&fn)>( \
      #fn, [](DWORD dwError) { return static_cast<LSTATUS>(dwError); }, true)

std::vector<CImport>& Imports() {
  static std::vector<CImport> imports = [] {
    std::vector<CImport> v = {
        REGISTRY(RegOpenKeyExA),
        REGISTRY(RegCreateKeyExA),
        REGISTRY(RegQueryValueExA),
        REGISTRY(RegSetValueExA),
        REGISTRY(RegEnumKeyExA),
        REGISTRY(RegEnumValueA),
        REGISTRY(RegDeleteValueA),
        REGISTRY(RegDeleteKeyA),
        REGISTRY(RegCloseKey),
        IMPORT(CreateFileMappingA, nullptr),
        IMPORT(OpenFileMappingA, nullptr),
        IMPORT(MapViewOfFile, nullptr),
        IMPORT(UnmapViewOfFile, FALSE),
        IMPORT(CreateMutexA, nullptr),
        IMPORT(WaitForSingleObject, WAIT_FAILED),
        IMPORT(ReleaseMutex, FALSE),
        IMPORT(CloseHandle, FALSE),
        IMPORT(LoadLibraryA, nullptr),
        IMPORT(LoadLibraryExA, nullptr),
        IMPORT(GetFileAttributesA, INVALID_FILE_ATTRIBUTES),
        IMPORT(FreeLibrary, FALSE),
        IMPORT(GetProcAddress, nullptr),
        IMPORT(GetPrivateProfileStringA, 0),
        IMPORT(GetPrivateProfileIntA, 0),
        IMPORT(GetPrivateProfileSectionA, 0),
        IMPORT(FindFirstFileA, INVALID_HANDLE_VALUE),
        IMPORT(FindClose, FALSE),
        IMPORT(GetTempPathA, 0),
        IMPORT(GetTempFileNameA, 0),
        IMPORT(DeleteFileA, FALSE),
        IMPORT(CreateProcessA, FALSE),
        IMPORT(GetTickCount, 0),
        IMPORT(GetVersionExA, FALSE),
        IMPORT(MultiByteToWideChar, 0),
        IMPORT(GetUserDefaultLangID, 0),
        IMPORT(GetWindowsDirectoryA, 0),
        IMPORT(IsDBCSLeadByte, FALSE),
        IMPORT(GetACP, 0),
        VOID_IMPORT(Sleep),
        IMPORT(RegisterApplicationRestart, E_FAIL),
        IMPORT(OpenPrinterA, FALSE),
        IMPORT(OpenPrinterW, FALSE),
        IMPORT(GetPrinterA, FALSE),
        IMPORT(ClosePrinter, FALSE),
        IMPORT(_fsopen, nullptr),
        IMPORT(fclose, EOF),
        IMPORT(fgets, nullptr),
        IMPORT(RegisterClassA, 0),
        IMPORT(CreateWindowExA, nullptr),
        IMPORT(RegisterWindowMessageA, 0),
        IMPORT(LoadImageA, nullptr),
        IMPORT(DestroyIcon, FALSE),
        IMPORT(LoadMenuA, nullptr),
        IMPORT(GetSubMenu, nullptr),
        IMPORT(ModifyMenuA, FALSE),
        IMPORT(GetMenuItemInfoA, FALSE),
        IMPORT(SetMenuItemInfoA, FALSE),
        IMPORT(AppendMenuA, FALSE),
        IMPORT(LoadStringA, 0),
        IMPORT(LoadBitmapA, nullptr),
        IMPORT(DestroyMenu, FALSE),
        IMPORT(SetTimer, 0),
        IMPORT(KillTimer, FALSE),
        IMPORT(GetClassNameA, 0),
        IMPORT(MessageBoxA, 0),
        IMPORT(UpdateWindow, FALSE),
        IMPORT(ShowWindow, FALSE),
        IMPORT(TrackPopupMenu, FALSE),
        IMPORT(SetForegroundWindow, FALSE),
        IMPORT(SetFocus, nullptr),
        IMPORT(GetAsyncKeyState, 0),
        IMPORT(GetCursorPos, FALSE),
        IMPORT(DrawMenuBar, FALSE),
        IMPORT(SendMessageA, 0),
        IMPORT(PostMessageA, FALSE),
        IMPORT(IsWindow, FALSE),
        IMPORT(GetWindowLongA, 0),
        IMPORT(FillRect, 0),
        IMPORT(GetSysColor, 0),
        IMPORT(GetSystemMetrics, 0),
        IMPORT(Shell_NotifyIconA, FALSE),
        IMPORT(CreateICA, nullptr),
        IMPORT(CreateSolidBrush, nullptr),
        IMPORT(CreateCompatibleDC, nullptr),
        IMPORT(SelectObject, nullptr),
        IMPORT(BitBlt, FALSE),
        IMPORT(StretchBlt, FALSE),
        IMPORT(GetObjectA, 0),
        IMPORT(GetTextExtentPoint32A, FALSE),
        IMPORT(TextOutA, FALSE),
        IMPORT(SetTextColor, CLR_INVALID),
        IMPORT(SetBkColor, CLR_INVALID),
        IMPORT(DeleteObject, FALSE),
        IMPORT(DeleteDC, FALSE),
    };
    for (CImport& import : v) *import.ppThunkImport = &import;
    return v;
  }();
  return imports;
}

std::vector<HMODULE> g_modules;  // besides the executable

// Every slot of the modules' import tables that holds the named function.
std::vector<void**> Slots(const char* pszName) {
  std::vector<void**> slots;
  std::vector<HMODULE> modules = g_modules;
  modules.push_back(GetModuleHandleA(nullptr));
  for (HMODULE hModule : modules) {
    BYTE* pBase = reinterpret_cast<BYTE*>(hModule);
    const auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress); pDesc->Name; ++pDesc) {
      auto* pName = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDesc->OriginalFirstThunk);
      auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDesc->FirstThunk);
      for (; pName->u1.AddressOfData; ++pName, ++pSlot)
        if (!IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal) &&
            strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData)->Name, pszName) == 0)
          slots.push_back(reinterpret_cast<void**>(&pSlot->u1.Function));
    }
  }
  return slots;
}

void Write(const std::vector<void**>& slots, void* pfn) {
  for (void** ppSlot : slots) {
    DWORD dwOld = 0;
    VirtualProtect(ppSlot, sizeof(void*), PAGE_READWRITE, &dwOld);
    *ppSlot = pfn;
    VirtualProtect(ppSlot, sizeof(void*), dwOld, &dwOld);
  }
}

}  // namespace

CImport& Find(const char* pszName, const std::type_info* pType) {
  for (CImport& import : Imports()) {
    if (strcmp(import.pszName, pszName) != 0) continue;
    if (pType && *pType != *import.pType) ADD_FAILURE() << pszName << " hooked with another type";
    return import;
  }
  ADD_FAILURE() << "the fault layer does not know " << pszName;
  std::abort();
}

void Push(CImport& import, CRule* pRule) {
  if (import.rules.empty()) {
    import.slots = Slots(import.pszName);
    if (import.slots.empty()) ADD_FAILURE() << import.pszName << " is not in the import table";
    import.pfnReal = import.slots.empty() ? nullptr : *import.slots.front();
    Write(import.slots, import.pfnThunk);
  }
  import.rules.push_back(pRule);
}

void Pop(CImport& import, CRule* pRule) {
  import.rules.erase(std::remove(import.rules.begin(), import.rules.end(), pRule), import.rules.end());
  if (import.rules.empty()) Write(import.slots, import.pfnReal);
}

std::vector<const char*> Names() {
  std::vector<const char*> names;
  for (const CImport& import : Imports()) names.push_back(import.pszName);
  return names;
}

}  // namespace fault::detail

namespace fault {

CAlsoIn::CAlsoIn(HMODULE hModule) { detail::g_modules.push_back(hModule); }
CAlsoIn::~CAlsoIn() { detail::g_modules.pop_back(); }

namespace {

unsigned g_nNewCalls = 0;
unsigned g_nNewFailAt = 0;

// The program's blocks, each at the end of pages of its own with a reserved (inaccessible)
// page after it, as the page heap lays them out. Pages are never used twice, so a block
// used after its delete faults as well.
const size_t kPage = 4096;
const size_t kArena = size_t{1} << 33;
char* Arena() {
  static char* const pArena = static_cast<char*>(VirtualAlloc(nullptr, kArena, MEM_RESERVE, PAGE_NOACCESS));
  return pArena;
}
std::atomic<size_t> g_cbArenaUsed{0};

void* GuardedBlock(size_t cb) {
  const size_t cbBlock = (std::max<size_t>(cb, 1) + 15) / 16 * 16;  // the alignment new promises
  const size_t cbPages = (cbBlock + kPage - 1) / kPage * kPage;
  const size_t at = g_cbArenaUsed.fetch_add(cbPages + kPage);
  if (at + cbPages + kPage > kArena) {
    std::fprintf(stderr, "the guarded heap is used up\n");
    std::abort();
  }
  char* pPages = static_cast<char*>(VirtualAlloc(Arena() + at, cbPages, MEM_COMMIT, PAGE_READWRITE));
  // Filled as the page heap fills, so that a string read running into the slack goes on
  // to the guard page.
  memset(pPages, 0xD0, cbPages);
  return pPages + cbPages - cbBlock;
}

// An access violation ends the run at once, also inside a timer callback, where the
// platform would swallow it and the test go on as if the step had simply ended.
LONG CALLBACK EndOnAccessViolation(EXCEPTION_POINTERS* pInfo) {
  if (pInfo->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
  const LPTOP_LEVEL_EXCEPTION_FILTER pfnFilter = SetUnhandledExceptionFilter(nullptr);
  if (pfnFilter) pfnFilter(pInfo);  // a test's own filter says what ran
  std::fprintf(stderr, "access violation at %p\n", pInfo->ExceptionRecord->ExceptionAddress);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_CONTINUE_SEARCH;
}
const PVOID g_pEndOnAccessViolation = AddVectoredExceptionHandler(1, EndOnAccessViolation);

}  // namespace

CFailNew::CFailNew(unsigned nFailAt) {
  g_nNewCalls = 0;
  g_nNewFailAt = nFailAt;
}
CFailNew::~CFailNew() { g_nNewFailAt = 0; }
unsigned CFailNew::Calls() const { return g_nNewCalls; }

}  // namespace fault

// The program allocates only through the nothrow forms; the tests' own allocations never fail.
void* operator new(std::size_t cb, const std::nothrow_t&) noexcept {
  ++fault::g_nNewCalls;
  if (fault::g_nNewFailAt == fault::kEveryCall || fault::g_nNewFailAt == fault::g_nNewCalls) return nullptr;
  return fault::GuardedBlock(cb);
}
void* operator new[](std::size_t cb, const std::nothrow_t& tag) noexcept { return operator new(cb, tag); }

// Every other delete form of the runtime ends here. A guarded block's pages are decommitted.
void operator delete(void* p) noexcept {
  if (p < fault::Arena() || p >= fault::Arena() + fault::kArena) {
    std::free(p);
    return;
  }
  MEMORY_BASIC_INFORMATION mbi;
  VirtualQuery(p, &mbi, sizeof(mbi));
  VirtualFree(mbi.BaseAddress, mbi.RegionSize, MEM_DECOMMIT);
}
