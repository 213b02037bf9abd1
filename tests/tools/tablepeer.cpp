// A second program on the shared monitor table, for tests under Wine.
//   tablepeer register <key>  registers a hidden window as the key's tray resident as the
//                             resident does, prints "<register result> <window> <set result>"
//                             and stays until its window gets WM_CLOSE (then removes itself)
//                             or a minute has passed; results other than 0 end it at once.
//   tablepeer dump <key>      prints the entries of the key's block up to the end marker.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "shared/MonitorTable.h"

namespace {

const char PEER_CLASS[] = "Prw3TablePeer";
const UINT IDLE_LIMIT_MS = 60000;

std::string g_key;
HANDLE g_hMapFile;

LRESULT CALLBACK PeerWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_TIMER:
      DestroyWindow(hWnd);
      return 0;
    case WM_DESTROY:
      UnregisterMonitorWindow(g_hMapFile, g_key.c_str(), "", MONITOR_KIND_TRAY, FALSE);
      CloseHandle(g_hMapFile);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hWnd, uMsg, wParam, lParam);
  }
}

int Register() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PeerWndProc;
  wc.lpszClassName = PEER_CLASS;
  RegisterClassA(&wc);
  HWND hWnd = CreateWindowExA(0, PEER_CLASS, g_key.c_str(), WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  if (!hWnd) {
    printf("no window %lu\n", GetLastError());
    return 1;
  }
  HWND hOther = nullptr;
  int result = RegisterMonitorWindow(g_key.c_str(), "", MONITOR_KIND_TRAY, MONITOR_WND_PLACEHOLDER, &hOther,
                                     &g_hMapFile);
  int setResult = result == 0 ? SetMonitorWindow(g_key.c_str(), "", hWnd, MONITOR_KIND_TRAY) : 0;
  printf("%d %lu %d\n", result, static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hWnd)), setResult);
  fflush(stdout);
  if (result != 0) {
    if (g_hMapFile) CloseHandle(g_hMapFile);
    return 0;
  }
  SetTimer(hWnd, 1, IDLE_LIMIT_MS, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

int Dump() {
  const bool bLong = g_key.size() > static_cast<size_t>(MONITOR_NAME_SIZE);
  const char* szBlock = bLong ? MONITOR_MAP_NAME2 : MONITOR_MAP_NAME;
  const int cbEntry = bLong ? MONITOR_ENTRY_SIZE2 : MONITOR_ENTRY_SIZE;
  const int cbName = bLong ? MONITOR_NAME_SIZE2 : MONITOR_NAME_SIZE;
  HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, szBlock);
  if (!hMap) {
    printf("%s: not open (%lu)\n", szBlock, GetLastError());
    return 1;
  }
  const BYTE* pBase = static_cast<const BYTE*>(MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0));
  if (!pBase) {
    CloseHandle(hMap);
    return 1;
  }
  for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
    const BYTE* p = pBase + i * cbEntry;
    if (p[0] == MONITOR_END_MARKER) {
      printf("%3d end marker\n", i);
      break;
    }
    DWORD slots[3];
    memcpy(slots, p + cbName + 2, sizeof(slots));
    printf("%3d %-10s \"%.*s\" kind12=%08lx kind0=%08lx kind3=%08lx\n", i, p[0] ? "occupied" : "free", cbName,
           reinterpret_cast<const char*>(p), static_cast<unsigned long>(slots[0]),
           static_cast<unsigned long>(slots[1]), static_cast<unsigned long>(slots[2]));
  }
  UnmapViewOfFile(pBase);
  CloseHandle(hMap);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: tablepeer register|dump <key>\n");
    return 2;
  }
  g_key = argv[2];
  if (strcmp(argv[1], "register") == 0) return Register();
  if (strcmp(argv[1], "dump") == 0) return Dump();
  fprintf(stderr, "unknown mode %s\n", argv[1]);
  return 2;
}
