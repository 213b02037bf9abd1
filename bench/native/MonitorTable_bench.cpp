// Shared monitor table on a full block of 500 entries, over winsim: the worst cases, where
// the key sits in the last entry or in none. Keys differ only in their last four
// characters, so every comparison reads a whole key; the argument is the key length
// (260 is the longest for the first block, 520 for the second).
#include "shared/MonitorTable.h"

#include <benchmark/benchmark.h>

#include <windows.h>

#include "winsim/control.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kWndClass[] = "Prw3BenchWindow";

std::string Key(size_t cchKey, int n) {
  char szDigits[8];
  std::snprintf(szDigits, sizeof(szDigits), "%04d", n);
  std::string key = "\\\\printserver\\Printer ";
  key.resize(cchKey - 4, 'x');
  return key + szDigits;
}

// A fresh winsim with one block filled by the program's own calls: every key registered
// for the tray kind and given its own live window. Holds one mapping handle so the block
// outlives every call the benchmark makes.
class CFullTable {
public:
  explicit CFullTable(size_t cchKey) : m_cchKey(cchKey) {
    winsim::Reset();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kWndClass;
    RegisterClassA(&wc);
    for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
      const std::string key = Key(cchKey, i);
      HWND hOther = nullptr;
      HANDLE hMap = nullptr;
      if (RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap) !=
          MONITOR_REG_CLAIMED)
        m_error = "registration of " + std::to_string(i) + " failed";
      if (!m_hMap)
        m_hMap = hMap;
      else if (hMap)
        CloseHandle(hMap);
      HWND hWnd = CreateWindowExA(0, kWndClass, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
      m_windows.push_back(hWnd);
      if (!hWnd || SetMonitorWindow(key.c_str(), "", hWnd, MONITOR_KIND_TRAY) != 0)
        m_error = "window of " + std::to_string(i) + " not stored";
    }
    if (m_error.empty()) CheckFull();
  }
  ~CFullTable() {
    for (HWND hWnd : m_windows) DestroyWindow(hWnd);
    if (m_hMap) CloseHandle(m_hMap);
  }
  CFullTable(const CFullTable&) = delete;
  CFullTable& operator=(const CFullTable&) = delete;

  // Empty when the block is as intended.
  const std::string& Error() const { return m_error; }
  std::string LastKey() const { return Key(m_cchKey, MONITOR_ENTRY_COUNT - 1); }
  std::string MissingKey() const { return Key(m_cchKey, MONITOR_ENTRY_COUNT); }
  HWND LastWindow() const { return m_windows.back(); }
  void Fail(const std::string& error) { m_error = error; }

  // The first byte of the last entry and whether that entry holds the last key, as a
  // peer program sees them.
  bool LastEntry(BYTE* pbFirst, bool* pbHoldsLastKey) const {
    const bool bLong = m_cchKey > static_cast<size_t>(MONITOR_NAME_SIZE);
    const int cbEntry = bLong ? MONITOR_ENTRY_SIZE2 : MONITOR_ENTRY_SIZE;
    const size_t cbName = bLong ? MONITOR_NAME_SIZE2 : MONITOR_NAME_SIZE;
    HANDLE hMap = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, bLong ? MONITOR_MAP_NAME2 : MONITOR_MAP_NAME);
    if (!hMap) return false;
    const BYTE* pBase = static_cast<const BYTE*>(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (pBase) {
      const char* pEntry = reinterpret_cast<const char*>(pBase + (MONITOR_ENTRY_COUNT - 1) * cbEntry);
      *pbFirst = static_cast<BYTE>(pEntry[0]);
      *pbHoldsLastKey = std::string(pEntry, strnlen(pEntry, cbName)) == LastKey();
      UnmapViewOfFile(pBase);
    }
    CloseHandle(hMap);
    return pBase != nullptr;
  }

private:
  // The last key must sit in the last entry, and a key not there must find no room.
  void CheckFull() {
    BYTE bFirst = 0;
    bool bHoldsLastKey = false;
    if (!LastEntry(&bFirst, &bHoldsLastKey) || !bHoldsLastKey) {
      m_error = "the last key is not in entry 499";
      return;
    }
    if (SetMonitorWindow(MissingKey().c_str(), "", LastWindow(), MONITOR_KIND_TRAY) != 1)
      m_error = "the table is not full";
  }

  size_t m_cchKey;
  HANDLE m_hMap = nullptr;
  std::vector<HWND> m_windows;
  std::string m_error;
};

// Registers and closes the handle the caller would own; returns the result.
int RegisterOnce(const std::string& key, HWND* phOther) {
  HANDLE hMap = nullptr;
  const int nResult = RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, phOther, &hMap);
  if (hMap) CloseHandle(hMap);
  return nResult;
}

// One resident's whole life in the table: its registration, then its removal.
int RegisterAndUnregister(const std::string& key) {
  HWND hOther = nullptr;
  HANDLE hMap = nullptr;
  const int nResult = RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMap);
  UnregisterMonitorWindow(hMap, key.c_str(), "", MONITOR_KIND_TRAY, FALSE);
  if (hMap) CloseHandle(hMap);
  return nResult;
}

bool LastEntryFree(const CFullTable& table) {
  BYTE bFirst = 0xFF;
  bool bHoldsLastKey = false;
  return table.LastEntry(&bFirst, &bHoldsLastKey) && bFirst == MONITOR_FREE_ENTRY;
}

// SetMonitorWindow for a key, timed on a table set up without error.
void TimeSetMonitorWindow(benchmark::State& state, const CFullTable& table, const std::string& key) {
  if (!table.Error().empty()) return state.SkipWithError(table.Error().c_str());
  const HWND hWnd = table.LastWindow();
  for (auto _ : state) {
    const int nResult = SetMonitorWindow(key.c_str(), "", hWnd, MONITOR_KIND_TRAY);
    benchmark::DoNotOptimize(nResult);
  }
}

// A resident already runs for the printer: its live window is handed back.
void BM_RegisterLastKeyLiveWindow(benchmark::State& state) {
  CFullTable table(static_cast<size_t>(state.range(0)));
  const std::string key = table.LastKey();
  HWND hOther = nullptr;
  if (table.Error().empty() && (RegisterOnce(key, &hOther) != MONITOR_REG_TAKEN || hOther != table.LastWindow()))
    table.Fail("the live window of the last entry was not handed back");
  if (!table.Error().empty()) return state.SkipWithError(table.Error().c_str());
  for (auto _ : state) {
    const int nResult = RegisterOnce(key, &hOther);
    benchmark::DoNotOptimize(nResult);
    benchmark::DoNotOptimize(hOther);
  }
}

// The previous resident is gone: its dead window's slot is claimed with the placeholder,
// which later iterations claim again, so the table stays the same.
void BM_RegisterLastKeyClaim(benchmark::State& state) {
  CFullTable table(static_cast<size_t>(state.range(0)));
  const std::string key = table.LastKey();
  DestroyWindow(table.LastWindow());
  HWND hOther = nullptr;
  if (table.Error().empty() && RegisterOnce(key, &hOther) != MONITOR_REG_CLAIMED)
    table.Fail("the dead slot of the last entry was not claimed");
  if (!table.Error().empty()) return state.SkipWithError(table.Error().c_str());
  for (auto _ : state) {
    const int nResult = RegisterOnce(key, &hOther);
    benchmark::DoNotOptimize(nResult);
  }
}

void BM_SetMonitorWindowLastKey(benchmark::State& state) {
  CFullTable table(static_cast<size_t>(state.range(0)));
  TimeSetMonitorWindow(state, table, table.LastKey());
}

// A resident's whole life in the table with the last entry the only free one: the look-up
// scans every entry, the addition finds the free last entry, and the removal frees it again.
void BM_RegisterUnregisterLastEntry(benchmark::State& state) {
  CFullTable table(static_cast<size_t>(state.range(0)));
  const std::string key = table.LastKey();
  if (table.Error().empty()) {
    RegisterAndUnregister(key);
    if (!LastEntryFree(table)) table.Fail("the last entry was not freed");
  }
  if (!table.Error().empty()) return state.SkipWithError(table.Error().c_str());
  for (auto _ : state) {
    const int nResult = RegisterAndUnregister(key);
    benchmark::DoNotOptimize(nResult);
  }
  if (!LastEntryFree(table)) state.SkipWithError("the pair did not leave the last entry free");
}

// A key the full table does not hold: both of registration's scans run to the end and
// nothing is stored.
void BM_RegisterMissingKey(benchmark::State& state) {
  CFullTable table(static_cast<size_t>(state.range(0)));
  const std::string key = table.MissingKey();
  if (!table.Error().empty()) return state.SkipWithError(table.Error().c_str());
  for (auto _ : state) {
    HWND hOther = nullptr;
    const int nResult = RegisterOnce(key, &hOther);
    benchmark::DoNotOptimize(nResult);
  }
  if (SetMonitorWindow(key.c_str(), "", table.LastWindow(), MONITOR_KIND_TRAY) != 1)
    state.SkipWithError("a registration in the full table stored its key");
}

void BM_SetMonitorWindowMissingKey(benchmark::State& state) {
  CFullTable table(static_cast<size_t>(state.range(0)));
  TimeSetMonitorWindow(state, table, table.MissingKey());
}

// A typical printer name, the longest key of the first block, and the longest of the second.
void KeyLengths(benchmark::internal::Benchmark* b) { b->Arg(32)->Arg(MONITOR_NAME_SIZE)->Arg(MONITOR_NAME_SIZE2); }

BENCHMARK(BM_RegisterLastKeyLiveWindow)->Apply(KeyLengths);
BENCHMARK(BM_RegisterLastKeyClaim)->Apply(KeyLengths);
BENCHMARK(BM_SetMonitorWindowLastKey)->Apply(KeyLengths);
BENCHMARK(BM_RegisterUnregisterLastEntry)->Apply(KeyLengths);
BENCHMARK(BM_RegisterMissingKey)->Apply(KeyLengths);
BENCHMARK(BM_SetMonitorWindowMissingKey)->Apply(KeyLengths);

}  // namespace
