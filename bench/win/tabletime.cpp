// tabletime: the shared monitor table on a full block of 500 entries, timed on the real
// platform, where every view is a system call (scripts/bench). Prints one line per
// operation: "name<TAB>microseconds per call".
#include "shared/MonitorTable.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const int CALLS = 200;

std::string Key(int i) {
  char szKey[32];
  snprintf(szKey, sizeof(szKey), "Bench Printer %03d", i);
  return szKey;
}

double MicrosecondsPerCall(const LARGE_INTEGER& start, int calls) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1e6 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) /
         calls;
}

}  // namespace

int main() {
  // A live window for every slot, so that a look-up of the last key finds it held.
  HWND hWnd = CreateWindowExA(0, "STATIC", "tabletime", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  HANDLE hKeep = nullptr;
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    HWND hOther = nullptr;
    HANDLE hMapFile = nullptr;
    const std::string key = Key(i);
    if (RegisterMonitorWindow(key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther, &hMapFile) !=
            MONITOR_REG_CLAIMED ||
        SetMonitorWindow(key.c_str(), "", hWnd, MONITOR_KIND_TRAY) != 0) {
      fprintf(stderr, "tabletime: the table cannot be filled (entry %d)\n", i);
      return 1;
    }
    if (hKeep) CloseHandle(hMapFile);
    else hKeep = hMapFile;  // the block lives as long as one handle does
  }
  const std::string last = Key(MONITOR_ENTRY_COUNT - 1);

  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < CALLS; ++i) {
    HWND hOther = nullptr;
    HANDLE hMapFile = nullptr;
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

  CloseHandle(hKeep);
  DestroyWindow(hWnd);
  return 0;
}
