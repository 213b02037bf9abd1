// Fuzz target: the shared monitor table on blocks of any content. The input first makes
// and fills the blocks as a foreign program might have left them (any size in whole
// pages or the real one, garbage entries, names without terminators, stale slots, the
// end marker anywhere or nowhere), then runs a short sequence of registrations, stores
// and removals with keys of any length, kinds in and out of range and any window values.
#include "shared/MonitorTable.h"
#include "winsim/control.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kPageSize = 4096;
const int kMaxOperations = 24;

struct Block {
  const char* pszName;
  DWORD cbEntry;
  size_t cchName;
};
const Block kBlocks[] = {{MONITOR_MAP_NAME, MONITOR_ENTRY_SIZE, MONITOR_NAME_SIZE},
                         {MONITOR_MAP_NAME2, MONITOR_ENTRY_SIZE2, MONITOR_NAME_SIZE2}};

const size_t kKeyLengths[] = {0, 1, 2, 259, 260, 261, 519, 520, 521, 1000};

void Check(bool ok) {
  if (!ok) abort();
}

HWND NewWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "FuzzTableWindow";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

struct Windows {
  HWND hLive;
  HWND hDead;
};

const Windows& TestWindows() {
  static const Windows windows = [] {
    Windows w{NewWindow(), NewWindow()};
    DestroyWindow(w.hDead);
    return w;
  }();
  return windows;
}

DWORD ToValue(HWND hWnd) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd)); }

DWORD ConsumeSlotValue(FuzzedDataProvider& fdp) {
  switch (fdp.ConsumeIntegralInRange(0, 4)) {
    case 0: return 0;
    case 1: return MONITOR_WND_PLACEHOLDER;
    case 2: return ToValue(TestWindows().hLive);
    case 3: return ToValue(TestWindows().hDead);
    default: return fdp.ConsumeIntegral<DWORD>();
  }
}

std::string ConsumeKey(FuzzedDataProvider& fdp) {
  if (fdp.ConsumeBool()) return fdp.ConsumeRandomLengthString(600);
  const size_t cch = kKeyLengths[fdp.ConsumeIntegralInRange<size_t>(0, sizeof(kKeyLengths) / sizeof(size_t) - 1)];
  char c = fdp.ConsumeIntegral<char>();
  if (c == '\0') c = 'a';
  return std::string(cch, c);
}

// Writes one entry as a peer might: raw bytes anywhere in it, or a name of a chosen
// length (terminated or not) with the three slots.
void FillEntry(BYTE* pEntry, const Block& block, FuzzedDataProvider& fdp) {
  if (fdp.ConsumeBool()) {
    const size_t nOffset = fdp.ConsumeIntegralInRange<size_t>(0, block.cbEntry - 1);
    const size_t cb = fdp.ConsumeIntegralInRange<size_t>(0, block.cbEntry - nOffset);
    const std::vector<uint8_t> bytes = fdp.ConsumeBytes<uint8_t>(cb);
    if (!bytes.empty()) memcpy(pEntry + nOffset, bytes.data(), bytes.size());
    return;
  }
  const std::string key = ConsumeKey(fdp);
  const size_t cch = std::min(key.size(), block.cchName + 2);
  memcpy(pEntry, key.data(), cch);
  if (cch < block.cchName + 2 && fdp.ConsumeBool()) pEntry[cch] = '\0';
  for (size_t nSlot = 0; nSlot < 3; ++nSlot) {
    const DWORD dwValue = ConsumeSlotValue(fdp);
    memcpy(pEntry + block.cchName + 2 + 4 * nSlot, &dwValue, sizeof(dwValue));
  }
}

// Makes a block as a foreign program left it; returns its handle, held for the run.
HANDLE MakeBlock(const Block& block, FuzzedDataProvider& fdp) {
  const DWORD cbReal = block.cbEntry * MONITOR_ENTRY_COUNT;
  const DWORD nPages = (cbReal + kPageSize - 1) / kPageSize;
  const DWORD cbBlock = fdp.ConsumeBool() ? cbReal : kPageSize * fdp.ConsumeIntegralInRange<DWORD>(1, nPages);
  HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, cbBlock, block.pszName);
  Check(hMap != nullptr);
  BYTE* pBase = static_cast<BYTE*>(MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, cbBlock));
  Check(pBase != nullptr);
  const size_t nEntries = cbBlock / block.cbEntry;

  memset(pBase, fdp.ConsumeIntegral<uint8_t>(), cbBlock);
  const int nFilled = fdp.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < nFilled; ++i)
    FillEntry(pBase + block.cbEntry * fdp.ConsumeIntegralInRange<size_t>(0, nEntries - 1), block, fdp);
  // The end marker anywhere, or (more often than chance) on the last entry or nowhere.
  size_t nEnd = nEntries;
  switch (fdp.ConsumeIntegralInRange(0, 3)) {
    case 0: nEnd = nEntries - 1; break;
    case 1: nEnd = fdp.ConsumeIntegralInRange<size_t>(0, nEntries - 1); break;
    default: break;
  }
  if (nEnd < nEntries) pBase[block.cbEntry * nEnd] = MONITOR_END_MARKER;

  UnmapViewOfFile(pBase);
  return hMap;
}

const Block& BlockOfKey(const char* pszKey) { return strlen(pszKey) > MONITOR_NAME_SIZE ? kBlocks[1] : kBlocks[0]; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  TestWindows();
  std::vector<HANDLE> held;
  for (const Block& block : kBlocks)
    if (fdp.ConsumeBool()) held.push_back(MakeBlock(block, fdp));

  for (int nOp = 0; nOp < kMaxOperations && fdp.remaining_bytes() > 0; ++nOp) {
    const int nOperation = fdp.ConsumeIntegralInRange(0, 2);
    const std::string key = ConsumeKey(fdp);
    const bool bPortOnly = fdp.ConsumeBool();
    const std::string other = bPortOnly ? "" : ConsumeKey(fdp);
    const char* pszName1 = bPortOnly ? "" : key.c_str();
    const char* pszName2 = bPortOnly ? key.c_str() : other.c_str();
    const int nKind = fdp.ConsumeIntegralInRange(-1, 4);

    if (nOperation == 0) {
      HWND hOther = reinterpret_cast<HWND>(1);
      HANDLE hMap = reinterpret_cast<HANDLE>(1);
      const int nResult = RegisterMonitorWindow(pszName1, pszName2, nKind, ConsumeSlotValue(fdp), &hOther, &hMap);
      if (nResult >= 0 && nResult <= 2) {
        Check(hMap != nullptr);
        held.push_back(hMap);
        Check(nResult == 1 ? (!hOther || IsWindow(hOther)) : !hOther);
      } else {
        Check(!hMap && !hOther && strlen(pszName1[0] ? pszName1 : pszName2) > MONITOR_NAME_SIZE2);
      }
    } else if (nOperation == 1) {
      const int nResult = SetMonitorWindow(pszName1, pszName2, reinterpret_cast<HWND>(ConsumeSlotValue(fdp)), nKind);
      Check(nResult >= -2 && nResult <= 1);
    } else {
      // The caller's own handle of the key's block, as a resident keeps it.
      HANDLE hMap = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, BlockOfKey(key.c_str()).pszName);
      UnregisterMonitorWindow(hMap, pszName1, pszName2, nKind, bPortOnly);
      if (hMap) CloseHandle(hMap);
    }
    Check(winsim::MappedViewCount() == 0);
  }

  for (HANDLE hMap : held) CloseHandle(hMap);
  Check(winsim::FileMappingCount() == 0 && winsim::KernelHandleCount() == 0);
  return 0;
}
