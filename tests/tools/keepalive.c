// Keeps the Wine desktop of the test prefix alive between test programs: Wine closes it
// about a second after the last window goes, and the next test would restart it. Holds
// one hidden window and ends once its stamp file has not been touched for a while.
#include <windows.h>

#include <stdlib.h>

static ULONGLONG g_nIdleTicks;
static const char* g_pszStamp;

static ULONGLONG FileTimeTicks(FILETIME time) {
  ULARGE_INTEGER value = {{time.dwLowDateTime, time.dwHighDateTime}};
  return value.QuadPart;
}

static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (nMsg == WM_TIMER && (!GetFileAttributesExA(g_pszStamp, GetFileExInfoStandard, &data) ||
                           FileTimeTicks(now) >= FileTimeTicks(data.ftLastWriteTime) + g_nIdleTicks))
    DestroyWindow(hWnd);
  else if (nMsg == WM_DESTROY)
    PostQuitMessage(0);
  else
    return DefWindowProcA(hWnd, nMsg, wParam, lParam);
  return 0;
}

// keepalive.exe <idle-seconds> <stamp-file> <ready-file>: the ready file is written once
// the window (and with it the desktop) exists.
int main(int argc, char** argv) {
  WNDCLASSA wc = {0};
  HWND hWnd;
  MSG msg;

  if (argc != 4) return 2;
  g_nIdleTicks = (ULONGLONG)strtoul(argv[1], NULL, 10) * 10000000u;
  g_pszStamp = argv[2];
  // One per prefix: a second one started by a racing test runner leaves at once.
  CreateMutexA(NULL, FALSE, "prw3-test-keepalive");
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "Prw3TestKeepAlive";
  if (!RegisterClassA(&wc)) return 1;
  hWnd = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, NULL, NULL, wc.hInstance, NULL);
  if (!hWnd || !SetTimer(hWnd, 1, 1000, NULL)) return 1;
  CloseHandle(CreateFileA(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));

  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
