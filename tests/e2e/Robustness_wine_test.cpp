// The real resident under load under Wine: a long run of menus, icon changes, shell
// restarts and timer ticks leaks no handles or GDI objects; twenty residents for twenty
// printers, started one after another or all at once, keep the shared table well formed
// and all end cleanly; none started at once with the others loses its slot, as the
// residents take turns at the table.
#include "e2e/E2eTest.h"

#include "shared/MonitorTable.h"

#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

namespace e2e {
namespace {

// --- What a process holds, read from outside -----------------------------------------
//
// Wine 8 answers GetGuiResources with ERROR_CALL_NOT_IMPLEMENTED and GetProcessHandleCount
// with 0, so the counts are read where Wine keeps them: kernel handles from the system's
// handle list, GDI objects from the process's GDI handle table (the PEB points to it; on
// x86_64 each entry is 24 bytes with its type at offset 14, 0 for a free entry). USER
// objects fall back to the process's windows when GetGuiResources has no answer.

const ULONG SYSTEM_HANDLE_INFORMATION = 16;
struct SystemHandleEntry {
  ULONG nOwnerPid;
  BYTE nObjectType;
  BYTE nHandleFlags;
  USHORT nHandleValue;
  PVOID pObject;
  ULONG nAccessMask;
};
const size_t PEB_GDI_TABLE_OFFSET = 0xF8;
const size_t GDI_ENTRY_SIZE = 24;
const size_t GDI_ENTRY_TYPE_OFFSET = 14;
const size_t GDI_MAX_HANDLES = 0x10000;

typedef LONG(NTAPI* PFN_NtQuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
typedef LONG(NTAPI* PFN_NtQueryInformationProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

template <typename TFunction>
TFunction NtFunction(const char* pszName) {
  return reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), pszName)));
}

struct ResourceCounts {
  long nKernelHandles = -1;
  long nGdiObjects = -1;
  long nUserObjects = -1;
  const char* pszUserMeasure = "";
};

long KernelHandleCount(DWORD dwProcessId) {
  auto pfnQuery = NtFunction<PFN_NtQuerySystemInformation>("NtQuerySystemInformation");
  if (!pfnQuery) return -1;
  std::vector<BYTE> buffer(1 << 20);
  ULONG cbNeeded = 0;
  while (pfnQuery(SYSTEM_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()), &cbNeeded) != 0) {
    if (buffer.size() >= (64u << 20)) return -1;
    buffer.resize(buffer.size() * 2);
  }
  ULONG nCount;
  memcpy(&nCount, buffer.data(), sizeof(nCount));
  const BYTE* pFirst = buffer.data() + sizeof(ULONG_PTR);
  long n = 0;
  for (ULONG i = 0; i < nCount; ++i) {
    SystemHandleEntry entry;
    memcpy(&entry, pFirst + i * sizeof(entry), sizeof(entry));
    if (entry.nOwnerPid == dwProcessId) ++n;
  }
  return n;
}

long GdiObjectCount(HANDLE hProcess) {
  if (sizeof(void*) != 8) return -1;  // the layout above is the 64-bit one
  auto pfnQuery = NtFunction<PFN_NtQueryInformationProcess>("NtQueryInformationProcess");
  PROCESS_BASIC_INFORMATION pbi = {};
  ULONG cb = 0;
  if (!pfnQuery || pfnQuery(hProcess, ProcessBasicInformation, &pbi, sizeof(pbi), &cb) != 0) return -1;
  ULONG_PTR nTable = 0;
  SIZE_T cbRead = 0;
  if (!ReadProcessMemory(hProcess, reinterpret_cast<BYTE*>(pbi.PebBaseAddress) + PEB_GDI_TABLE_OFFSET, &nTable,
                         sizeof(nTable), &cbRead) ||
      !nTable)
    return -1;
  std::vector<BYTE> table(GDI_MAX_HANDLES * GDI_ENTRY_SIZE);
  if (!ReadProcessMemory(hProcess, reinterpret_cast<void*>(nTable), table.data(), table.size(), &cbRead)) return -1;
  long n = 0;
  for (size_t i = 0; i < GDI_MAX_HANDLES; ++i)
    if (table[i * GDI_ENTRY_SIZE + GDI_ENTRY_TYPE_OFFSET] != 0) ++n;
  return n;
}

BOOL CALLBACK CountProcessWindow(HWND hWnd, LPARAM lParam) {
  auto* pCount = reinterpret_cast<std::pair<DWORD, long>*>(lParam);
  DWORD dwProcessId = 0;
  GetWindowThreadProcessId(hWnd, &dwProcessId);
  if (dwProcessId == pCount->first) {
    ++pCount->second;
    EnumChildWindows(hWnd, CountProcessWindow, lParam);
  }
  return TRUE;
}

ResourceCounts CountResources(HANDLE hProcess, DWORD dwProcessId) {
  ResourceCounts counts;
  counts.nKernelHandles = KernelHandleCount(dwProcessId);
  counts.nGdiObjects = GdiObjectCount(hProcess);
  counts.nUserObjects = static_cast<long>(GetGuiResources(hProcess, GR_USEROBJECTS));
  counts.pszUserMeasure = "user_objects";
  if (counts.nUserObjects == 0) {
    std::pair<DWORD, long> windows(dwProcessId, 0);
    EnumWindows(CountProcessWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND h = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
         h = FindWindowExA(HWND_MESSAGE, h, nullptr, nullptr))
      CountProcessWindow(h, reinterpret_cast<LPARAM>(&windows));
    counts.nUserObjects = windows.second;
    counts.pszUserMeasure = "windows";
  }
  return counts;
}

// --- The soak ----------------------------------------------------------------------------

const int SOAK_MENUS = 200;
const int SOAK_NOTIFY_EVERY = 10;  // menus between icon changes and shell restarts
const DWORD SOAK_MIN_MS = 4500;    // at least two timer periods
// Lazily made caches of the platform (fonts, the menu's own objects) may settle a few
// entries later than the first menu; a leak of one object per menu, per icon change or
// per tick shows as 20 or more.
const long SOAK_TOLERANCE = 5;

class SoakTest : public E2eTest {};

TEST_F(SoakTest, MenusIconChangesShellRestartsAndTicksLeakNothing) {
  const testenv::DemoDriver driver = testenv::InstallDemoDriver(testenv::ExistingPrinter(), testenv::ExistingPrinter());
  ASSERT_FALSE(HasFailure());
  CResidentProcess resident;
  ASSERT_TRUE(resident.Start(StartupArgs(driver)));
  HWND hWnd = WaitUntilServing(resident, testenv::ExistingPrinter());
  ASSERT_NE(nullptr, hWnd);
  const std::string target = TargetKeyOf(testenv::ExistingPrinter());
  const UINT nTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

  // One of everything first, so that what the platform makes once is counted before.
  auto openAndCancel = [&] {
    return residentctl::PostTrayMouse(hWnd, WM_RBUTTONDOWN) && residentctl::CancelMenu(END_TIMEOUT_MS);
  };
  ASSERT_TRUE(openAndCancel());
  PostMessageA(hWnd, WM_TRAYICONCHANGE, 0, 0);
  PostMessageA(hWnd, nTaskbarCreated, 0, 0);
  SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, END_TIMEOUT_MS, nullptr);
  const ResourceCounts before = CountResources(resident.Process(), resident.ProcessId());

  const DWORD start = GetTickCount();
  for (int i = 1; i <= SOAK_MENUS; ++i) {
    ASSERT_TRUE(openAndCancel()) << "menu " << i;
    if (i % SOAK_NOTIFY_EVERY == 0) {
      const DWORD nIcon = static_cast<DWORD>(i / SOAK_NOTIFY_EVERY % 3);
      testenv::SetRegDword(HKEY_CURRENT_USER, target, TRAY_ICON_SELECTED, nIcon);
      PostMessageA(hWnd, WM_TRAYICONCHANGE, 0, 0);
      PostMessageA(hWnd, nTaskbarCreated, 0, 0);
    }
  }
  const DWORD elapsed = GetTickCount() - start;
  if (elapsed < SOAK_MIN_MS) Sleep(SOAK_MIN_MS - elapsed);
  SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, END_TIMEOUT_MS, nullptr);
  const ResourceCounts after = CountResources(resident.Process(), resident.ProcessId());

  auto change = [](long nBefore, long nAfter) { return std::to_string(nBefore) + " -> " + std::to_string(nAfter); };
  const std::string handles = change(before.nKernelHandles, after.nKernelHandles);
  const std::string gdi = change(before.nGdiObjects, after.nGdiObjects);
  const std::string user = change(before.nUserObjects, after.nUserObjects);
  printf("soak: %d menus in %lu ms; kernel handles %s, GDI objects %s, %s %s\n", SOAK_MENUS,
         static_cast<unsigned long>(GetTickCount() - start), handles.c_str(), gdi.c_str(), after.pszUserMeasure,
         user.c_str());
  RecordProperty("kernel_handles", handles);
  RecordProperty("gdi_objects", gdi);
  RecordProperty(after.pszUserMeasure, user);
  ASSERT_GT(before.nKernelHandles, 0);
  ASSERT_GT(before.nGdiObjects, 0);
  EXPECT_LE(after.nKernelHandles, before.nKernelHandles + SOAK_TOLERANCE);
  EXPECT_LE(after.nGdiObjects, before.nGdiObjects + SOAK_TOLERANCE);
  EXPECT_LE(after.nUserObjects, before.nUserObjects + SOAK_TOLERANCE);
  EXPECT_TRUE(resident.IsRunning());
  PostMessageA(hWnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(0, resident.Wait(END_TIMEOUT_MS));
}

// --- Many residents ------------------------------------------------------------------------

const int RESIDENT_COUNT = 20;
const int ROUNDS = 20;
// A resident that lost its slot in a race never shows in the table; one still waiting
// for its turn at the table shows late. Only one not shown this long after every window
// appeared counts as lost.
const DWORD LATE_MS = 10000;

// Holds the table's block open for the whole test (it goes with its last handle) and
// reads it as a peer would.
class CTableObserver {
public:
  CTableObserver() : m_hMap(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME)) {
    if (m_hMap) m_pBase = static_cast<const BYTE*>(MapViewOfFile(m_hMap, FILE_MAP_READ, 0, 0, 0));
  }
  ~CTableObserver() {
    if (m_pBase) UnmapViewOfFile(m_pBase);
    if (m_hMap) CloseHandle(m_hMap);
  }
  CTableObserver(const CTableObserver&) = delete;
  CTableObserver& operator=(const CTableObserver&) = delete;
  bool IsOpen() const { return m_pBase != nullptr; }

  // Empty when well formed: every occupied entry before the end marker holds one of the
  // keys, no key twice, and nothing at all after the marker. Else what is wrong.
  std::string Check(const std::set<std::string>& keys) const {
    std::set<std::string> seen;
    bool bEnded = false;
    for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
      const BYTE* p = m_pBase + i * MONITOR_ENTRY_SIZE;
      if (bEnded) {
        for (int b = 0; b < MONITOR_ENTRY_SIZE; ++b)
          if (p[b] != 0) return "entry " + std::to_string(i) + " is used after the end marker";
        continue;
      }
      if (p[0] == MONITOR_END_MARKER) {
        bEnded = true;
        continue;
      }
      if (p[0] == MONITOR_FREE_ENTRY) continue;
      std::string name(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), MONITOR_NAME_SIZE));
      if (!keys.count(name)) return "entry " + std::to_string(i) + " holds \"" + name + "\"";
      if (!seen.insert(name).second) return "\"" + name + "\" in two entries";
    }
    return bEnded ? "" : "no end marker";
  }

  // The windows held in tray slots (occupied entries only).
  std::set<DWORD> TrayWindows() const {
    std::set<DWORD> windows;
    std::vector<residentctl::TableEntry> entries;
    int nEnd = -1;
    if (residentctl::ReadTable(&entries, &nEnd))
      for (const residentctl::TableEntry& e : entries)
        if (e.nFirstByte != MONITOR_FREE_ENTRY && e.nKind3 != 0) windows.insert(e.nKind3);
    return windows;
  }

private:
  HANDLE m_hMap = nullptr;
  const BYTE* m_pBase = nullptr;
};

DWORD HwndValue(HWND hWnd) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd)); }

class ManyResidentsTest : public E2eTest {
protected:
  void SetUp() override {
    E2eTest::SetUp();
    for (int i = 1; i <= RESIDENT_COUNT; ++i) {
      char szName[32];
      snprintf(szName, sizeof(szName), "prw3 many %02d", i);
      m_keys.push_back(szName);
      ASSERT_NO_FATAL_FAILURE(AddPrinter(szName));
    }
    // The driver's part serves every printer of the driver.
    testenv::InstallDemoDriver(m_keys[0], testenv::ExistingPrinter());
    ASSERT_FALSE(HasFailure());
  }

  static std::string Args(const std::string& key) { return "/P \"" + key + "\""; }

  // Starts a /R process for each key at once; each must end with 0.
  void RemoveAll() {
    std::vector<std::unique_ptr<CResidentProcess>> removers;
    for (const std::string& key : m_keys) {
      removers.push_back(std::make_unique<CResidentProcess>());
      EXPECT_TRUE(removers.back()->Start("/R " + Args(key)));
    }
    for (auto& remover : removers) EXPECT_EQ(0, remover->Wait(END_TIMEOUT_MS));
  }

  std::vector<std::string> m_keys;
};

TEST_F(ManyResidentsTest, TwentyResidentsKeepTheTableWellFormedAndEndCleanly) {
  const std::set<std::string> keys(m_keys.begin(), m_keys.end());
  std::unique_ptr<CTableObserver> observer;

  // One after another: each holds its own slot.
  std::vector<std::unique_ptr<CResidentProcess>> residents;
  for (const std::string& key : m_keys) {
    residents.push_back(std::make_unique<CResidentProcess>());
    ASSERT_TRUE(residents.back()->Start(Args(key)));
    HWND hWnd = WaitUntilServing(*residents.back(), key);
    ASSERT_NE(nullptr, hWnd) << key;
    if (!observer) observer = std::make_unique<CTableObserver>();
  }
  ASSERT_TRUE(observer->IsOpen());
  EXPECT_EQ("", observer->Check(keys));
  EXPECT_EQ(static_cast<size_t>(RESIDENT_COUNT), observer->TrayWindows().size());
  for (size_t i = 0; i < residents.size(); ++i)
    EXPECT_EQ(FindProcessWindow(residents[i]->ProcessId()), residentctl::TableWindow(m_keys[i])) << m_keys[i];
  for (const std::string& key : m_keys) {
    CResidentProcess remover;
    ASSERT_TRUE(remover.Start("/R " + Args(key)));
    EXPECT_EQ(0, remover.Wait(END_TIMEOUT_MS)) << key;
  }
  for (auto& resident : residents) EXPECT_EQ(0, resident->Wait(END_TIMEOUT_MS));
  EXPECT_EQ("", observer->Check(keys));
  EXPECT_TRUE(observer->TrayWindows().empty()) << "no entry holds a window";

  // All at once, round after round, each printer's resident twice: of each pair one
  // serves the printer from its slot, the other tells it to re-read its icon and ends.
  std::string lost;
  int nLostTotal = 0;
  const DWORD start = GetTickCount();
  for (int round = 1; round <= ROUNDS; ++round) {
    residents.clear();
    for (const std::string& key : m_keys)
      for (int twin = 0; twin < 2; ++twin) {
        residents.push_back(std::make_unique<CResidentProcess>());
        ASSERT_TRUE(residents.back()->Start(Args(key)));
      }
    // A pair counts as lost while not exactly one of it runs with its window in the table.
    int nLost = 0;
    for (DWORD since = GetTickCount();; Sleep(20)) {
      const std::set<DWORD> held = observer->TrayWindows();
      nLost = 0;
      for (size_t i = 0; i < residents.size(); i += 2) {
        int nRunning = 0, nHeld = 0;
        for (size_t k = i; k < i + 2; ++k) {
          if (!residents[k]->IsRunning()) continue;
          ++nRunning;
          if (held.count(HwndValue(FindProcessWindow(residents[k]->ProcessId())))) ++nHeld;
        }
        if (nRunning != 1 || nHeld != 1) ++nLost;
      }
      if (nLost == 0 || GetTickCount() - since >= LATE_MS) break;
    }
    nLostTotal += nLost;
    lost += (lost.empty() ? "" : " ") + std::to_string(nLost);
    EXPECT_EQ(0, nLost) << "round " << round;
    EXPECT_EQ("", observer->Check(keys)) << "round " << round << ", all running";

    RemoveAll();
    // A resident running beside its twin, or without its slot, cannot be reached by /R.
    for (auto& resident : residents)
      if (HWND hWnd = FindProcessWindow(resident->ProcessId())) PostMessageA(hWnd, WM_CLOSE, 0, 0);
    for (size_t i = 0; i < residents.size(); ++i)
      EXPECT_EQ(0, residents[i]->Wait(END_TIMEOUT_MS)) << m_keys[i / 2] << ", round " << round;
    EXPECT_EQ("", observer->Check(keys)) << "round " << round << ", all ended";
    EXPECT_TRUE(observer->TrayWindows().empty()) << "round " << round << ": an entry still holds a window";
  }
  RecordProperty("slots_lost_per_round", lost);
  printf("many residents: %d rounds of %d printers started twice at once in %lu ms; printers without exactly one "
         "resident in its slot per round: %s (%d in all)\n",
         ROUNDS, RESIDENT_COUNT, static_cast<unsigned long>(GetTickCount() - start), lost.c_str(), nLostTotal);
}

}  // namespace
}  // namespace e2e
