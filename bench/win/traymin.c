/* traymin: the smallest tray program we can write, the yardstick for the resident's
 * start-up time, memory and idle wake-ups (scripts/bench).
 *   traymin                     a window, one icon from the system, a message loop
 *   traymin PRINTER RESDLL      the same, with the work any printer tray program does
 *                               between its window and its icon: the printer's level-2
 *                               record from the spooler, and its icon (700) from the
 *                               resource library, freed again
 * WM_CLOSE ends it and removes the icon. */
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <stdlib.h>

#define WM_TRAYMIN_NOTIFY (WM_USER + 100)

static NOTIFYICONDATAA g_nid;

static LRESULT CALLBACK TrayMinWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_DESTROY) {
    Shell_NotifyIconA(NIM_DELETE, &g_nid);
    PostQuitMessage(0);
  }
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

/* The printer's record, read as a tray program must read it to know its driver and port. */
static BOOL ReadPrinterRecord(LPSTR pszPrinter) {
  HANDLE hPrinter = NULL;
  DWORD cbNeeded = 0;
  BYTE* pInfo;
  BOOL bRead;
  if (!OpenPrinterA(pszPrinter, &hPrinter, NULL)) return FALSE;
  GetPrinterA(hPrinter, 2, NULL, 0, &cbNeeded);
  pInfo = cbNeeded ? (BYTE*)malloc(cbNeeded) : NULL;
  bRead = pInfo && GetPrinterA(hPrinter, 2, pInfo, cbNeeded, &cbNeeded);
  free(pInfo);
  ClosePrinter(hPrinter);
  return bRead;
}

static HICON LoadPrinterIcon(LPCSTR pszResDll) {
  HMODULE hResDll = LoadLibraryA(pszResDll);
  HICON hIcon;
  if (!hResDll) return NULL;
  hIcon = (HICON)LoadImageA(hResDll, MAKEINTRESOURCEA(700), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
  FreeLibrary(hResDll);
  return hIcon;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrev, LPSTR lpCmdLine, int nShow) {
  WNDCLASSA wc;
  HWND hWnd;
  HICON hIcon;
  MSG msg;
  (void)hPrev;
  (void)lpCmdLine;
  (void)nShow;

  ZeroMemory(&wc, sizeof(wc));
  wc.lpfnWndProc = TrayMinWndProc;
  wc.hInstance = hInstance;
  wc.lpszClassName = "TrayMinWClass";
  if (!RegisterClassA(&wc)) return 1;
  hWnd = CreateWindowExA(0,
                         wc.lpszClassName,
                         "traymin",
                         WS_OVERLAPPEDWINDOW,
                         CW_USEDEFAULT,
                         CW_USEDEFAULT,
                         CW_USEDEFAULT,
                         CW_USEDEFAULT,
                         NULL,
                         NULL,
                         hInstance,
                         NULL);
  if (!hWnd) return 1;

  if (__argc == 3) {
    if (!ReadPrinterRecord(__argv[1])) return 1;
    hIcon = LoadPrinterIcon(__argv[2]);
  } else {
    hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
  }
  if (!hIcon) return 1;

  g_nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  g_nid.hWnd = hWnd;
  g_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  g_nid.uCallbackMessage = WM_TRAYMIN_NOTIFY;
  g_nid.hIcon = hIcon;
  lstrcpynA(g_nid.szTip, "traymin", sizeof(g_nid.szTip));
  if (!Shell_NotifyIconA(NIM_ADD, &g_nid)) return 1;

  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
