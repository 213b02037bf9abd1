// Driving a running resident from another process: its window, its menu, its table slot
// and its tray icon's colour, through the same calls any other program would use.
#include "support/ResidentControl_win.h"

#include "base/StrUtil.h"
#include "cmdline/CommandLine.h"
#include "frame/MainFrame.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"
#include "shared/MonitorTable.h"

#include <cstdio>
#include <cstring>

namespace residentctl {
namespace {

const DWORD POLL_MS = 5;
const char MENU_CLASS[] = "#32768";
// Wine draws the icons in a window of its own when no tray manager runs; each icon
// takes a cell of the small icon's width and a 2-pixel border on either side.
const char WINE_TRAY_CLASS[] = "__winex11_standalone_tray";
const int WINE_TRAY_ICON_BORDER = 2;
// Pixels closer to grey than this (largest minus smallest channel) carry no colour.
const int MIN_CHROMA = 64;

// Polls until the condition holds or the time is up; true when it held.
template <typename TCondition>
bool WaitFor(DWORD timeoutMs, TCondition condition) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(POLL_MS);
  }
}

DWORD HwndValue(HWND hWnd) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd)); }

HWND FindVisibleMenu(DWORD dwProcessId) {
  for (HWND hMenu = FindWindowExA(nullptr, nullptr, MENU_CLASS, nullptr); hMenu;
       hMenu = FindWindowExA(nullptr, hMenu, MENU_CLASS, nullptr)) {
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hMenu, &dwOwner);
    if (IsWindowVisible(hMenu) && (dwProcessId == 0 || dwOwner == dwProcessId)) return hMenu;
  }
  return nullptr;
}

bool MenuClosed(HWND hMenu) { return !IsWindow(hMenu) || !IsWindowVisible(hMenu); }

// The printer whose tray slot holds the window.
std::string PrinterOf(HWND hResident) {
  std::vector<TableEntry> entries;
  int nEnd = -1;
  if (!ReadTable(&entries, &nEnd)) return "";
  for (const TableEntry& e : entries)
    if (e.nFirstByte != MONITOR_FREE_ENTRY && e.nKind3 == HwndValue(hResident)) return e.name;
  return "";
}

enum Colour { COLOURLESS = -1, GREEN, AMBER, RED, OTHER, COLOUR_COUNT };
const char* const COLOUR_NAMES[COLOUR_COUNT] = {"green", "amber", "red", "other"};

// The colour a pixel's hue falls in: the icons' bodies are pure enough for wide bands.
Colour ColourOf(DWORD rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  const int nMax = r > g ? (r > b ? r : b) : (g > b ? g : b);
  const int nMin = r < g ? (r < b ? r : b) : (g < b ? g : b);
  const int d = nMax - nMin;
  if (d < MIN_CHROMA) return COLOURLESS;
  int nHue;
  if (nMax == r)
    nHue = (60 * (g - b) / d + 360) % 360;
  else if (nMax == g)
    nHue = 120 + 60 * (b - r) / d;
  else
    nHue = 240 + 60 * (r - g) / d;
  if (nHue < 15 || nHue >= 345) return RED;
  if (nHue >= 20 && nHue < 70) return AMBER;
  if (nHue >= 75 && nHue < 165) return GREEN;
  return OTHER;
}

}  // namespace

bool CaptureScreen(const RECT& rc, std::vector<DWORD>* pPixels) {
  const int cx = rc.right - rc.left;
  const int cy = rc.bottom - rc.top;
  if (cx <= 0 || cy <= 0) return false;
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = cx;
  bmi.bmiHeader.biHeight = -cy;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* pBits = nullptr;
  HDC hScreen = GetDC(nullptr);
  HDC hMem = CreateCompatibleDC(hScreen);
  HBITMAP hBitmap = CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
  bool bCopied = false;
  if (hMem && hBitmap) {
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    bCopied = BitBlt(hMem, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY) != FALSE;
    SelectObject(hMem, hOld);
    if (bCopied) {
      const DWORD* p = static_cast<const DWORD*>(pBits);
      pPixels->assign(p, p + static_cast<size_t>(cx) * cy);
    }
  }
  if (hBitmap) DeleteObject(hBitmap);
  if (hMem) DeleteDC(hMem);
  ReleaseDC(nullptr, hScreen);
  return bCopied;
}

HWND FindResident(DWORD timeoutMs) {
  HWND hWnd = nullptr;
  WaitFor(timeoutMs, [&] { return (hWnd = FindWindowA(TRAY_WND_CLASS, TRAY_WND_TITLE)) != nullptr; });
  return hWnd;
}

bool WaitGone(HWND hWnd, DWORD timeoutMs) {
  return WaitFor(timeoutMs, [&] { return !IsWindow(hWnd); });
}

bool PostTrayMouse(HWND hResident, UINT uMouseMsg) {
  return PostMessageA(hResident, WM_TRAYNOTIFY, 0, uMouseMsg) != FALSE;
}

HWND WaitForMenu(DWORD timeoutMs) {
  HWND hMenu = nullptr;
  WaitFor(timeoutMs, [&] { return (hMenu = FindVisibleMenu(0)) != nullptr; });
  return hMenu;
}

int MenuPosition(HWND hResident, UINT nCommand) {
  CCommandLine printer;
  if (!CopyStr(printer.m_szPrinterName, PrinterOf(hResident).c_str()) || !printer.m_szPrinterName[0]) return -1;
  if (printer.FillFromPrinter() != 1 || !printer.LookUpModelID()) return -1;
  char szResDll[MAX_PATH] = {0};
  if (!GetResDllPath(szResDll, printer.m_szDriverName, printer.m_szModelID)) return -1;
  HMODULE hResDll = LoadLibraryA(szResDll);
  if (!hResDll) return -1;

  // The resident's own steps: the resource menu's pop-up with the driver's items after it.
  int nPosition = -1;
  HMENU hMenu = LoadMenuA(hResDll, MAKEINTRESOURCEA(IDR_TRAYMENU));
  HMENU hPopup = hMenu ? GetSubMenu(hMenu, 0) : nullptr;
  if (hPopup) {
    CMainFrame frame;
    CopyStr(frame.m_szDriverName, printer.m_szDriverName);
    frame.m_hResDll = hResDll;
    frame.BuildAuxMenu(hPopup);
    frame.m_hResDll = nullptr;
    int nSelectable = 0;
    for (int i = 0, n = GetMenuItemCount(hPopup); i < n && nPosition < 0; ++i) {
      if (GetMenuState(hPopup, i, MF_BYPOSITION) & MF_SEPARATOR) continue;
      // The resident makes the first item Printer Status, whatever the resource says.
      const UINT nID = i == 0 ? ID_PRINTER_STATUS : GetMenuItemID(hPopup, i);
      if (nID == nCommand) nPosition = nSelectable;
      ++nSelectable;
    }
  }
  if (hMenu) DestroyMenu(hMenu);
  FreeLibrary(hResDll);
  return nPosition;
}

bool ChooseMenuItem(HWND hResident, UINT nCommand, DWORD timeoutMs) {
  DWORD dwProcessId = 0;
  GetWindowThreadProcessId(hResident, &dwProcessId);
  HWND hMenu = nullptr;
  if (!WaitFor(timeoutMs, [&] { return (hMenu = FindVisibleMenu(dwProcessId)) != nullptr; })) return false;
  // Looked up once the menu is open: by then the resident has taken its table slot.
  const int nPosition = MenuPosition(hResident, nCommand);
  if (nPosition < 0) {
    PostMessageA(hMenu, WM_KEYDOWN, VK_ESCAPE, 1);
    return false;
  }
  // The menu opens with nothing highlighted: the first VK_DOWN reaches the first item.
  for (int i = 0; i <= nPosition; ++i) PostMessageA(hMenu, WM_KEYDOWN, VK_DOWN, 1);
  PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 1);
  return WaitFor(timeoutMs, [&] { return MenuClosed(hMenu); });
}

bool CancelMenu(DWORD timeoutMs) {
  HWND hMenu = WaitForMenu(timeoutMs);
  if (!hMenu) return false;
  PostMessageA(hMenu, WM_KEYDOWN, VK_ESCAPE, 1);
  return WaitFor(timeoutMs, [&] { return MenuClosed(hMenu); });
}

bool ReadTable(std::vector<TableEntry>* pEntries, int* pnEndMarker) {
  pEntries->clear();
  *pnEndMarker = -1;
  HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME);
  if (!hMap) return false;
  const BYTE* pBase = static_cast<const BYTE*>(MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0));
  if (pBase) {
    for (int i = 0; i < MONITOR_ENTRY_COUNT; ++i) {
      const BYTE* p = pBase + i * MONITOR_ENTRY_SIZE;
      if (p[0] == MONITOR_END_MARKER) {
        *pnEndMarker = i;
        break;
      }
      TableEntry e;
      e.nIndex = i;
      e.nFirstByte = p[0];
      e.name.assign(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), MONITOR_NAME_SIZE));
      memcpy(&e.nKind12, p + MONITOR_NAME_SIZE + 2, sizeof(DWORD));
      memcpy(&e.nKind0, p + MONITOR_NAME_SIZE + 6, sizeof(DWORD));
      memcpy(&e.nKind3, p + MONITOR_NAME_SIZE + 10, sizeof(DWORD));
      pEntries->push_back(e);
    }
    UnmapViewOfFile(pBase);
  }
  CloseHandle(hMap);
  return pBase != nullptr;
}

HWND TableWindow(const std::string& key) {
  std::vector<TableEntry> entries;
  int nEnd = -1;
  if (!ReadTable(&entries, &nEnd)) return nullptr;
  for (const TableEntry& e : entries)
    if (e.nFirstByte != MONITOR_FREE_ENTRY && lstrcmpiA(e.name.c_str(), key.c_str()) == 0)
      return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(e.nKind3)));
  return nullptr;
}

std::vector<std::string> TrayIconColors() {
  std::vector<std::string> colours;
  HWND hTray = FindWindowA(WINE_TRAY_CLASS, nullptr);
  RECT rc;
  if (!hTray || !IsWindowVisible(hTray) || !GetClientRect(hTray, &rc)) return colours;
  MapWindowPoints(hTray, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  std::vector<DWORD> pixels;
  if (!CaptureScreen(rc, &pixels)) return colours;

  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  const int cxCell = GetSystemMetrics(SM_CXSMICON) + 2 * WINE_TRAY_ICON_BORDER;
  for (int x0 = 0; x0 + cxCell <= cx; x0 += cxCell) {
    int counts[COLOUR_COUNT] = {0};
    for (int y = 0; y < cy; ++y)
      for (int x = x0; x < x0 + cxCell; ++x) {
        const Colour colour = ColourOf(pixels[static_cast<size_t>(y) * cx + x]);
        if (colour != COLOURLESS) ++counts[colour];
      }
    int nDominant = 0;
    for (int i = 1; i < COLOUR_COUNT; ++i)
      if (counts[i] > counts[nDominant]) nDominant = i;
    if (counts[nDominant] > 0) colours.push_back(COLOUR_NAMES[nDominant]);
  }
  return colours;
}

bool SaveScreenBitmap(const std::string& path) {
  RECT rc = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  std::vector<DWORD> pixels;
  if (!CaptureScreen(rc, &pixels)) return false;
  // 24 bits a pixel: viewers take the fourth byte of a 32-bit file for transparency.
  const int cx = rc.right, cy = rc.bottom;
  const DWORD cbRow = (static_cast<DWORD>(cx) * 3 + 3) & ~3u;
  std::vector<BYTE> bits(static_cast<size_t>(cbRow) * cy);
  for (int y = 0; y < cy; ++y)
    for (int x = 0; x < cx; ++x) memcpy(&bits[static_cast<size_t>(cy - 1 - y) * cbRow + x * 3], &pixels[y * cx + x], 3);
  BITMAPINFOHEADER bih = {};
  bih.biSize = sizeof(bih);
  bih.biWidth = cx;
  bih.biHeight = cy;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biCompression = BI_RGB;
  BITMAPFILEHEADER bfh = {};
  bfh.bfType = 0x4D42;  // "BM"
  bfh.bfOffBits = sizeof(bfh) + sizeof(bih);
  bfh.bfSize = bfh.bfOffBits + static_cast<DWORD>(bits.size());
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool bWritten = fwrite(&bfh, sizeof(bfh), 1, f) == 1 && fwrite(&bih, sizeof(bih), 1, f) == 1 &&
                  fwrite(bits.data(), 1, bits.size(), f) == bits.size();
  return fclose(f) == 0 && bWritten;
}

}  // namespace residentctl
