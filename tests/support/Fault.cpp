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

struct CImport {
  const char* pszName;
  const std::type_info* pType;
  void* pfnThunk;
  std::vector<void**> slots;  // written while a rule is in place
  void* pfnReal;
  std::vector<CRule*> rules;  // outermost first
};

namespace {

// The thunk of one import. Tag, the type of the import's failure function, gives every
// import a thunk of its own, also beside another of the same type.
template <typename Tag, typename R, typename... A>
struct CThunk {
  static inline CImport* s_pImport = nullptr;
  static inline R (*s_pfnFailure)(DWORD) = nullptr;  // what a failed call returns, given its error

  static R WINAPI Call(A... args) {
    decltype(Replacement(&Call))* pReplacement = nullptr;
    for (auto it = s_pImport->rules.rbegin(); it != s_pImport->rules.rend(); ++it) {
      CRule& rule = **it;
      if (++rule.nCalls == rule.nFailAt || rule.nFailAt == kEveryCall) {
        SetLastError(rule.dwError);
        return s_pfnFailure(rule.dwError);
      }
      if (!pReplacement) pReplacement = static_cast<decltype(pReplacement)>(rule.pReplacement.get());
    }
    const auto pfnReal = reinterpret_cast<decltype(&Call)>(s_pImport->pfnReal);
    if constexpr (std::is_void_v<R>) {
      return pReplacement ? (*pReplacement)(pfnReal, args...) : pfnReal(args...);
    } else {
      const R result = pReplacement ? (*pReplacement)(pfnReal, args...) : pfnReal(args...);
      // An import that returns its error (the registry's) succeeds with 0; any other with
      // a result but its failure.
      const R failure = s_pfnFailure(0);
      const bool bSucceeded = failure == s_pfnFailure(1) ? result != failure : result == R();
      for (CRule* pRule : s_pImport->rules) pRule->nSuccesses += bSucceeded;
      return result;
    }
  }
};

template <typename R, typename... A, typename Tag>
CImport* Entry(const char* pszName, R(WINAPI* pfn)(A...), Tag failure) {
  using Thunk = CThunk<Tag, R, A...>;
  Thunk::s_pfnFailure = failure;
  return Thunk::s_pImport = new CImport{pszName, &typeid(pfn), reinterpret_cast<void*>(&Thunk::Call), {}, nullptr, {}};
}

template <typename R, typename... A>
R ResultOf(R(WINAPI*)(A...));

// An import that fails with a value of its own, with its type's zero, or with the error
// (the registry's). The entries live as long as the program.
#define FAILS_AS(fn, value) Entry(#fn, &fn, [](DWORD) -> decltype(ResultOf(&fn)) { return value; })
#define IMPORT(fn) FAILS_AS(fn, decltype(ResultOf(&fn))())
#define REGISTRY(fn) Entry(#fn, &fn, [](DWORD dwError) { return static_cast<LSTATUS>(dwError); })

const std::vector<CImport*>& Imports() {
  static const std::vector<CImport*> imports = {
      REGISTRY(RegOpenKeyExA),
      REGISTRY(RegCreateKeyExA),
      REGISTRY(RegQueryValueExA),
      REGISTRY(RegSetValueExA),
      REGISTRY(RegEnumKeyExA),
      REGISTRY(RegEnumValueA),
      REGISTRY(RegDeleteValueA),
      REGISTRY(RegDeleteKeyA),
      REGISTRY(RegCloseKey),
      IMPORT(CreateFileMappingA),
      IMPORT(OpenFileMappingA),
      IMPORT(MapViewOfFile),
      IMPORT(UnmapViewOfFile),
      IMPORT(CreateMutexA),
      FAILS_AS(WaitForSingleObject, WAIT_FAILED),
      IMPORT(CloseHandle),
      IMPORT(LoadLibraryA),
      IMPORT(LoadLibraryExA),
      FAILS_AS(GetFileAttributesA, INVALID_FILE_ATTRIBUTES),
      IMPORT(FreeLibrary),
      IMPORT(GetProcAddress),
      IMPORT(GetPrivateProfileStringA),
      IMPORT(GetPrivateProfileIntA),
      IMPORT(GetPrivateProfileSectionA),
      FAILS_AS(FindFirstFileA, INVALID_HANDLE_VALUE),
      IMPORT(FindClose),
      IMPORT(GetTempPathA),
      IMPORT(GetTempFileNameA),
      IMPORT(DeleteFileA),
      IMPORT(CreateProcessA),
      IMPORT(GetTickCount),
      IMPORT(GetVersionExA),
      IMPORT(MultiByteToWideChar),
      IMPORT(GetUserDefaultLangID),
      IMPORT(GetWindowsDirectoryA),
      IMPORT(IsDBCSLeadByte),
      IMPORT(GetACP),
      IMPORT(Sleep),
      FAILS_AS(RegisterApplicationRestart, E_FAIL),
      IMPORT(OpenPrinterA),
      IMPORT(OpenPrinterW),
      IMPORT(GetPrinterA),
      IMPORT(ClosePrinter),
      IMPORT(_fsopen),
      FAILS_AS(fclose, EOF),
      IMPORT(fgets),
      IMPORT(RegisterClassA),
      IMPORT(CreateWindowExA),
      IMPORT(RegisterWindowMessageA),
      IMPORT(LoadImageA),
      IMPORT(DestroyIcon),
      IMPORT(LoadMenuA),
      IMPORT(GetSubMenu),
      IMPORT(ModifyMenuA),
      IMPORT(GetMenuItemInfoA),
      IMPORT(SetMenuItemInfoA),
      IMPORT(AppendMenuA),
      IMPORT(LoadStringA),
      IMPORT(LoadBitmapA),
      IMPORT(DestroyMenu),
      IMPORT(SetTimer),
      IMPORT(KillTimer),
      IMPORT(GetClassNameA),
      IMPORT(MessageBoxA),
      IMPORT(UpdateWindow),
      IMPORT(ShowWindow),
      IMPORT(TrackPopupMenu),
      IMPORT(SetForegroundWindow),
      IMPORT(SetFocus),
      IMPORT(GetAsyncKeyState),
      IMPORT(GetCursorPos),
      IMPORT(DrawMenuBar),
      IMPORT(SendMessageA),
      IMPORT(PostMessageA),
      IMPORT(IsWindow),
      IMPORT(GetWindowLongA),
      IMPORT(FillRect),
      IMPORT(GetSysColor),
      IMPORT(GetSystemMetrics),
      IMPORT(Shell_NotifyIconA),
      IMPORT(CreateICA),
      IMPORT(CreateSolidBrush),
      IMPORT(CreateCompatibleDC),
      IMPORT(SelectObject),
      IMPORT(BitBlt),
      IMPORT(StretchBlt),
      IMPORT(GetObjectA),
      IMPORT(GetTextExtentPoint32A),
      IMPORT(TextOutA),
      FAILS_AS(SetTextColor, CLR_INVALID),
      FAILS_AS(SetBkColor, CLR_INVALID),
      IMPORT(DeleteObject),
      IMPORT(DeleteDC),
  };
  return imports;
}

// The modules whose import tables hooks take, the executable last.
std::vector<HMODULE> g_modules = {GetModuleHandleA(nullptr)};

// Every slot of the modules' import tables that holds the named function.
std::vector<void**> Slots(const char* pszName) {
  std::vector<void**> slots;
  for (HMODULE hModule : g_modules) {
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
  for (CImport* pImport : Imports()) {
    if (strcmp(pImport->pszName, pszName) != 0) continue;
    if (pType && *pType != *pImport->pType) ADD_FAILURE() << pszName << " hooked with another type";
    return *pImport;
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

}  // namespace fault::detail

namespace fault {

std::vector<const char*> KnownImports() {
  std::vector<const char*> names;
  for (const detail::CImport* pImport : detail::Imports()) names.push_back(pImport->pszName);
  return names;
}

CAlsoIn::CAlsoIn(HMODULE hModule) { detail::g_modules.insert(detail::g_modules.end() - 1, hModule); }
CAlsoIn::~CAlsoIn() { detail::g_modules.erase(detail::g_modules.end() - 2); }

namespace {

detail::CRule g_new;  // the program's nothrow new, as an import's rule

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
std::atomic<int> g_nHeld{0};

// The program's nothrow new, the nth allocation failing while a CFailNew asks for it.
void* New(size_t cb) {
  if (++g_new.nCalls == g_new.nFailAt || g_new.nFailAt == kEveryCall) return nullptr;
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
  ++g_nHeld;
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

CFailNew::CFailNew(unsigned nFailAt) { g_new = {0, nFailAt, 0, 0, nullptr}; }
CFailNew::~CFailNew() { g_new.nFailAt = 0; }
unsigned CFailNew::Calls() const { return g_new.nCalls; }
int BlocksHeld() { return g_nHeld; }

}  // namespace fault

// The program allocates only through the nothrow forms; the tests' own allocations never fail.
void* operator new(std::size_t cb, const std::nothrow_t&) noexcept { return fault::New(cb); }
void* operator new[](std::size_t cb, const std::nothrow_t&) noexcept { return fault::New(cb); }

// Every other delete form of the runtime ends here. A guarded block's pages are decommitted.
void operator delete(void* p) noexcept {
  MEMORY_BASIC_INFORMATION mbi;
  if (p < fault::Arena() || p >= fault::Arena() + fault::kArena) {
    std::free(p);
    return;
  }
  --fault::g_nHeld;
  if (VirtualQuery(p, &mbi, sizeof(mbi))) VirtualFree(mbi.BaseAddress, mbi.RegionSize, MEM_DECOMMIT);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
