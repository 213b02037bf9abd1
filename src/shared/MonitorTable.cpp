// Shared monitor table: look-up, addition and removal of keys in the named blocks, each
// under the table's mutex. Every access maps the block from its start through the entry
// examined, and releases that view before mapping the next; nothing is held beyond one
// call.
#include "shared/MonitorTable.h"

#include <cstddef>
#include <cstring>

namespace {

// Table lock scopes open now in this process.
int g_nTableLockDepth = 0;

#pragma pack(push, 1)
struct MapFileEntry {
  char szName[MONITOR_NAME_SIZE];
  WORD wReserved;
  DWORD hWndKind12;
  DWORD hWndKind0;
  DWORD hWndKind3;
};
struct MapFileEntry2 {
  char szName[MONITOR_NAME_SIZE2];
  WORD wReserved;
  DWORD hWndKind12;
  DWORD hWndKind0;
  DWORD hWndKind3;
};
#pragma pack(pop)

static_assert(sizeof(MapFileEntry) == MONITOR_ENTRY_SIZE, "entry layout is shared with other programs");
static_assert(offsetof(MapFileEntry, szName) == 0, "");
static_assert(offsetof(MapFileEntry, wReserved) == 260, "");
static_assert(offsetof(MapFileEntry, hWndKind12) == 262, "");
static_assert(offsetof(MapFileEntry, hWndKind0) == 266, "");
static_assert(offsetof(MapFileEntry, hWndKind3) == 270, "");
static_assert(sizeof(MapFileEntry2) == MONITOR_ENTRY_SIZE2, "entry layout is shared with other programs");
static_assert(offsetof(MapFileEntry2, szName) == 0, "");
static_assert(offsetof(MapFileEntry2, wReserved) == 520, "");
static_assert(offsetof(MapFileEntry2, hWndKind12) == 522, "");
static_assert(offsetof(MapFileEntry2, hWndKind0) == 526, "");
static_assert(offsetof(MapFileEntry2, hWndKind3) == 530, "");

// Window handles are shared as 32-bit values between 32- and 64-bit programs and
// widened back by sign extension.
HWND ToHwnd(DWORD dwValue) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(dwValue))); }
DWORD ToValue(HWND hWnd) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd)); }

bool HasSlot(int nKind) { return nKind >= MONITOR_KIND_0 && nKind <= MONITOR_KIND_TRAY; }

template <typename TEntry>
DWORD ReadSlot(const TEntry* pEntry, int nKind) {
  switch (nKind) {
    case MONITOR_KIND_0:
      return pEntry->hWndKind0;
    case MONITOR_KIND_1:
    case MONITOR_KIND_2:
      return pEntry->hWndKind12;
    default:
      return pEntry->hWndKind3;
  }
}

template <typename TEntry>
void WriteSlot(TEntry* pEntry, int nKind, DWORD dwValue) {
  switch (nKind) {
    case MONITOR_KIND_0:
      pEntry->hWndKind0 = dwValue;
      break;
    case MONITOR_KIND_1:
    case MONITOR_KIND_2:
      pEntry->hWndKind12 = dwValue;
      break;
    case MONITOR_KIND_TRAY:
      pEntry->hWndKind3 = dwValue;
      break;
    default:
      break;
  }
}

template <typename TEntry>
bool OtherSlotsEmpty(const TEntry* pEntry, int nKind) {
  switch (nKind) {
    case MONITOR_KIND_0:
      return pEntry->hWndKind12 == 0 && pEntry->hWndKind3 == 0;
    case MONITOR_KIND_1:
    case MONITOR_KIND_2:
      return pEntry->hWndKind0 == 0 && pEntry->hWndKind3 == 0;
    default:
      return pEntry->hWndKind12 == 0 && pEntry->hWndKind0 == 0;
  }
}

template <typename TEntry>
BYTE FirstByte(const TEntry* pEntry) {
  return static_cast<BYTE>(pEntry->szName[0]);
}

// A peer may fill szName completely and end it with wReserved's first byte, or not at
// all: compare a terminated copy of those bytes, never reading past the entry.
template <typename TEntry>
bool NameMatches(const TEntry* pEntry, LPCSTR szKey) {
  const size_t cbName = sizeof(pEntry->szName) + 1;
  char szName[sizeof(pEntry->szName) + 2];
  memcpy(szName, pEntry, cbName);
  szName[cbName] = '\0';
  return lstrcmpiA(szName, szKey) == 0;
}

// The caller has chosen the block by the key's length, so the key fits szName; a key
// that fills it is ended by wReserved, cleared with the slots.
template <typename TEntry>
void CopyKey(TEntry* pEntry, LPCSTR szKey) {
  const size_t cchKey = static_cast<size_t>(lstrlenA(szKey));
  memcpy(pEntry->szName, szKey, cchKey);
  if (cchKey < sizeof(pEntry->szName)) pEntry->szName[cchKey] = '\0';
}

template <typename TEntry>
void ClearSlots(TEntry* pEntry) {
  pEntry->wReserved = 0;
  pEntry->hWndKind12 = 0;
  pEntry->hWndKind0 = 0;
  pEntry->hWndKind3 = 0;
}

// Maps the block from its start through entry nIndex into view; returns that entry,
// or null when the view cannot be mapped.
template <typename TEntry>
TEntry* MapEntry(HANDLE hMap, int nIndex, CMappedView& view) {
  view.Close();
  view.Reset(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, (nIndex + 1) * sizeof(TEntry)));
  return view.IsValid() ? static_cast<TEntry*>(view.Get()) + nIndex : nullptr;
}

// Second pass of a registration: the first free entry before the end marker takes the
// key, else the end-marker entry does and the marker moves one entry on. Result 0 also
// when the table is full.
template <typename TEntry>
int AddKey(HANDLE hMap, LPCSTR szKey, int nKind, DWORD dwValue) {
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    CMappedView view;
    TEntry* pEntry = MapEntry<TEntry>(hMap, i, view);
    if (!pEntry) return MONITOR_REG_NO_VIEW;
    BYTE bFirst = FirstByte(pEntry);
    if (bFirst == MONITOR_FREE_ENTRY) {
      CopyKey(pEntry, szKey);
      ClearSlots(pEntry);
    } else if (bFirst == MONITOR_END_MARKER) {
      // The last entry gets no marker after it: every scan stops at the block's end,
      // and nothing beyond the block may be mapped or written.
      TEntry* pNext = nullptr;
      if (i + 1 < MONITOR_ENTRY_COUNT) {
        pNext = MapEntry<TEntry>(hMap, i + 1, view);
        if (!pNext) return MONITOR_REG_NO_VIEW;
        pEntry = pNext - 1;
      }
      CopyKey(pEntry, szKey);
      if (pNext) pNext->szName[0] = static_cast<char>(MONITOR_END_MARKER);
      ClearSlots(pEntry);
    } else if (!NameMatches(pEntry, szKey)) {
      continue;
    }
    // A peer that added the same key since the look-up shares its entry.
    WriteSlot(pEntry, nKind, dwValue);
    return MONITOR_REG_CLAIMED;
  }
  return MONITOR_REG_CLAIMED;
}

// A key whose first byte is the end marker's would hide every entry after it, and an
// empty one would match a freed entry: neither is ever looked up or stored.
bool IsStorableKey(LPCSTR szKey) { return szKey[0] && static_cast<BYTE>(szKey[0]) != MONITOR_END_MARKER; }

template <typename TEntry>
int RegisterIn(LPCSTR szMapName, LPCSTR szKey, int nKind, DWORD dwValue, HWND* phWndOther, HANDLE* phMapFile) {
  const DWORD cbBlock = static_cast<DWORD>(MONITOR_ENTRY_COUNT * sizeof(TEntry));
  CKernelHandle hMap(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, cbBlock, szMapName));
  const bool bExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!hMap.IsValid()) return MONITOR_REG_NO_TABLE;
  {
    CMappedView view;
    TEntry* pFirst = MapEntry<TEntry>(hMap, 0, view);
    if (!pFirst) return MONITOR_REG_NO_TABLE;
    // A new block comes zero-filled: mark it empty.
    if (!bExisted) pFirst->szName[0] = static_cast<char>(MONITOR_END_MARKER);
  }
  *phMapFile = hMap.Detach();
  // As for a full table: nothing is stored, and the resident runs without a slot.
  if (!IsStorableKey(szKey)) return MONITOR_REG_CLAIMED;

  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    CMappedView view;
    TEntry* pEntry = MapEntry<TEntry>(*phMapFile, i, view);
    if (!pEntry) return MONITOR_REG_NO_VIEW;
    if (FirstByte(pEntry) == MONITOR_END_MARKER) break;
    if (!NameMatches(pEntry, szKey)) continue;
    if (!HasSlot(nKind)) return MONITOR_REG_TAKEN;
    DWORD dwHeld = ReadSlot(pEntry, nKind);
    if (dwHeld != 0 && IsWindow(ToHwnd(dwHeld))) {
      *phWndOther = ToHwnd(dwHeld);
      return MONITOR_REG_TAKEN;
    }
    WriteSlot(pEntry, nKind, dwValue);
    return MONITOR_REG_CLAIMED;
  }
  // Not found. Once the last entry is taken there is no end marker, yet entries freed
  // since then are still reused; a table with none free stores nothing.
  return AddKey<TEntry>(*phMapFile, szKey, nKind, dwValue);
}

template <typename TEntry>
int SetIn(LPCSTR szMapName, LPCSTR szKey, HWND hWnd, int nKind) {
  CKernelHandle hMap(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, szMapName));
  if (!hMap.IsValid()) return -1;
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    CMappedView view;
    TEntry* pEntry = MapEntry<TEntry>(hMap, i, view);
    if (!pEntry) return -1;
    if (FirstByte(pEntry) == MONITOR_END_MARKER) return -2;
    if (NameMatches(pEntry, szKey)) {
      WriteSlot(pEntry, nKind, ToValue(hWnd));
      return 0;
    }
  }
  return 1;
}

template <typename TEntry>
void UnregisterIn(HANDLE hMap, LPCSTR szKey, int nKind) {
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    CMappedView view;
    TEntry* pEntry = MapEntry<TEntry>(hMap, i, view);
    if (!pEntry || FirstByte(pEntry) == MONITOR_END_MARKER) return;
    if (!NameMatches(pEntry, szKey)) continue;
    if (!HasSlot(nKind)) return;
    if (OtherSlotsEmpty(pEntry, nKind)) pEntry->szName[0] = static_cast<char>(MONITOR_FREE_ENTRY);
    WriteSlot(pEntry, nKind, 0);
    return;
  }
}

template <typename TEntry>
HWND FindIn(LPCSTR szMapName, LPCSTR szKey, int nKind) {
  CKernelHandle hMap(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, szMapName));
  if (!hMap.IsValid() || !HasSlot(nKind)) return nullptr;
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    CMappedView view;
    const TEntry* pEntry = MapEntry<TEntry>(hMap, i, view);
    if (!pEntry || FirstByte(pEntry) == MONITOR_END_MARKER) return nullptr;
    if (!NameMatches(pEntry, szKey)) continue;
    const HWND hWnd = ToHwnd(ReadSlot(pEntry, nKind));
    return hWnd && IsWindow(hWnd) ? hWnd : nullptr;
  }
  return nullptr;
}

}  // namespace

CMonitorTableLock::CMonitorTableLock() : m_bOwned(false) {
  // Inside another scope of this (single-threaded) process nothing is waited for: that
  // scope holds the mutex, or has already waited for it in vain.
  if (g_nTableLockDepth++ > 0) return;
  m_hMutex.Reset(CreateMutexA(nullptr, FALSE, MONITOR_MUTEX_NAME));
  if (!m_hMutex.IsValid()) return;
  const DWORD dwWait = WaitForSingleObject(m_hMutex, MONITOR_LOCK_TIMEOUT_MS);
  m_bOwned = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
}

CMonitorTableLock::~CMonitorTableLock() {
  --g_nTableLockDepth;
  if (m_bOwned) ReleaseMutex(m_hMutex);
}

int RegisterMonitorWindow(LPCSTR szName1, LPCSTR szName2, int nKind, DWORD hWndValue, HWND* phWndOther,
                          HANDLE* phMapFile) {
  CMonitorTableLock lock;
  *phWndOther = nullptr;
  *phMapFile = nullptr;
  LPCSTR szKey = szName1[0] ? szName1 : szName2;
  const int cchKey = lstrlenA(szKey);
  if (cchKey <= MONITOR_NAME_SIZE)
    return RegisterIn<MapFileEntry>(MONITOR_MAP_NAME, szKey, nKind, hWndValue, phWndOther, phMapFile);
  if (cchKey <= MONITOR_NAME_SIZE2)
    return RegisterIn<MapFileEntry2>(MONITOR_MAP_NAME2, szKey, nKind, hWndValue, phWndOther, phMapFile);
  return MONITOR_REG_NO_TABLE;
}

int SetMonitorWindow(LPCSTR szName1, LPCSTR szName2, HWND hWnd, int nKind) {
  CMonitorTableLock lock;
  LPCSTR szKey = szName1[0] ? szName1 : szName2;
  if (!IsStorableKey(szKey)) return 1;
  const int cchKey = lstrlenA(szKey);
  if (cchKey <= MONITOR_NAME_SIZE) return SetIn<MapFileEntry>(MONITOR_MAP_NAME, szKey, hWnd, nKind);
  if (cchKey <= MONITOR_NAME_SIZE2) return SetIn<MapFileEntry2>(MONITOR_MAP_NAME2, szKey, hWnd, nKind);
  return -1;
}

void UnregisterMonitorWindow(HANDLE hMapFile, LPCSTR szName1, LPCSTR szName2, int nKind, BOOL bUseName2) {
  CMonitorTableLock lock;
  LPCSTR szKey = bUseName2 ? szName2 : szName1;
  if (!IsStorableKey(szKey)) return;
  const int cchKey = lstrlenA(szKey);
  if (cchKey <= MONITOR_NAME_SIZE)
    UnregisterIn<MapFileEntry>(hMapFile, szKey, nKind);
  else if (cchKey <= MONITOR_NAME_SIZE2)
    UnregisterIn<MapFileEntry2>(hMapFile, szKey, nKind);
}

HWND FindMonitorWindow(LPCSTR szName1, LPCSTR szName2, int nKind) {
  CMonitorTableLock lock;
  LPCSTR szKey = szName1[0] ? szName1 : szName2;
  if (!IsStorableKey(szKey)) return nullptr;
  const int cchKey = lstrlenA(szKey);
  if (cchKey <= MONITOR_NAME_SIZE) return FindIn<MapFileEntry>(MONITOR_MAP_NAME, szKey, nKind);
  if (cchKey <= MONITOR_NAME_SIZE2) return FindIn<MapFileEntry2>(MONITOR_MAP_NAME2, szKey, nKind);
  return nullptr;
}
