// tabletime: the shared monitor table on a full block of 500 entries, timed on the real
// platform, where every view the operations map is a system call (scripts/bench). Prints
// one line per operation: "name<TAB>microseconds per call".
#include "shared/MonitorTable.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const int CALLS = 20;

std::string Key(int i) {
  char szKey[32];
  snprintf(szKey, sizeof(szKey), "Bench Printer %03d", i);
  return szKey;
}

double MicrosecondsPerCall(const LARGE_INTEGER& start, int calls) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1e6 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / calls;
}

// Fills the block the way a long-running machine would have it: every entry a printer's,
// its tray slot held by hWnd. Written through one view with the shared layout (key, two
// reserved bytes, then the 32-bit slots of kinds 1/2, 0 and 3): filling it call by call
// would take minutes here. Returns the handle that keeps the block alive, or null.
HANDLE FillTable(HWND hWnd) {
  HWND hOther = nullptr;
  HANDLE hMapFile = nullptr;
  if (RegisterMonitorWindow(Key(0).c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMapFile) !=
      MONITOR_REG_CLAIMED)
    return nullptr;
  const SIZE_T cbBlock = static_cast<SIZE_T>(MONITOR_ENTRY_COUNT) * MONITOR_ENTRY_SIZE;
  BYTE* pBlock = static_cast<BYTE*>(MapViewOfFile(hMapFile, FILE_MAP_ALL_ACCESS, 0, 0, cbBlock));
  if (!pBlock) {
    CloseHandle(hMapFile);
    return nullptr;
  }
  const DWORD dwWnd = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd));
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    BYTE* pEntry = pBlock + static_cast<SIZE_T>(i) * MONITOR_ENTRY_SIZE;
    memset(pEntry, 0, MONITOR_ENTRY_SIZE);
    const std::string key = Key(i);
    memcpy(pEntry, key.c_str(), key.size());
    memcpy(pEntry + MONITOR_ENTRY_SIZE - sizeof(DWORD), &dwWnd, sizeof(dwWnd));
  }
  UnmapViewOfFile(pBlock);
  return hMapFile;
}

}  // namespace

int main() {
  HWND hWnd = CreateWindowExA(0, "STATIC", "tabletime", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  HANDLE hKeep = FillTable(hWnd);
  const std::string last = Key(MONITOR_ENTRY_COUNT - 1);
  HWND hOther = nullptr;
  HANDLE hMapFile = nullptr;
  if (!hKeep ||
      RegisterMonitorWindow(last.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMapFile) !=
          MONITOR_REG_TAKEN ||
      hOther != hWnd) {
    fprintf(stderr, "tabletime: the table could not be filled\n");
    return 1;
  }
  CloseHandle(hMapFile);

  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < CALLS; ++i) {
    RegisterMonitorWindow(last.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMapFile);
    CloseHandle(hMapFile);
  }
  printf("RegisterMonitorWindow, last of 500 keys, slot held\t%.0f\n", MicrosecondsPerCall(start, CALLS));

  QueryPerformanceCounter(&start);
  for (int i = 0; i < CALLS; ++i) SetMonitorWindow(last.c_str(), "", hWnd, MONITOR_KIND_TRAY);
  printf("SetMonitorWindow, last of 500 keys\t%.0f\n", MicrosecondsPerCall(start, CALLS));

  QueryPerformanceCounter(&start);
  for (int i = 0; i < CALLS; ++i) UnregisterMonitorWindow(hKeep, "Bench Printer absent", "", MONITOR_KIND_TRAY, FALSE);
  printf("UnregisterMonitorWindow, key not in the full table\t%.0f\n", MicrosecondsPerCall(start, CALLS));

  const std::string first = Key(0);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < CALLS; ++i) SetMonitorWindow(first.c_str(), "", hWnd, MONITOR_KIND_TRAY);
  printf("SetMonitorWindow, first key\t%.0f\n", MicrosecondsPerCall(start, CALLS));

  CloseHandle(hKeep);
  DestroyWindow(hWnd);
  return 0;
}
