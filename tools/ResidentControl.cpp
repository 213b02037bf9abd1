// Driving a running resident from another process: its window, its menu, its table slot
// and its tray icon's colour, through the same calls any other program would use.
#include "tools/ResidentControl.h"

#include "base/Scoped.h"
#include "profile/Contracts.h"
#include "shared/MonitorTable.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace residentctl {

HWND FindResident(DWORD timeoutMs) {
  HWND hWnd = nullptr;
  WaitFor(timeoutMs, [&] { return (hWnd = FindWindowA(TRAY_WND_CLASS, TRAY_WND_TITLE)) != nullptr; });
  return hWnd;
}

bool WaitGone(HWND hWnd, DWORD timeoutMs) {
  return WaitFor(timeoutMs, [&] { return !IsWindow(hWnd); });
}

HWND WaitForMenu(DWORD dwProcessId, DWORD timeoutMs) {
  HWND hMenu = nullptr;
  WaitFor(timeoutMs, [&] {
    while ((hMenu = FindWindowExA(nullptr, hMenu, "#32768", nullptr)) != nullptr) {
      DWORD dwOwner = 0;
      GetWindowThreadProcessId(hMenu, &dwOwner);
      if (IsWindowVisible(hMenu) && (dwProcessId == 0 || dwOwner == dwProcessId)) return true;
    }
    return false;
  });
  return hMenu;
}

HWND SelectMenuItem(HWND hResident, int nPosition, DWORD timeoutMs) {
  DWORD dwProcessId = 0;
  GetWindowThreadProcessId(hResident, &dwProcessId);
  HWND hMenu = WaitForMenu(dwProcessId, timeoutMs);
  if (!hMenu || nPosition < 0) return nullptr;
  // The menu opens with nothing highlighted: the first VK_DOWN reaches the first item.
  for (int i = 0; i <= nPosition; ++i) PostMessageA(hMenu, WM_KEYDOWN, VK_DOWN, 1);
  return hMenu;
}

bool ChooseMenuItem(HWND hResident, int nPosition, DWORD timeoutMs) {
  HWND hMenu = SelectMenuItem(hResident, nPosition, timeoutMs);
  if (!hMenu) return false;
  PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 1);
  return WaitFor(timeoutMs, [&] { return !IsWindow(hMenu) || !IsWindowVisible(hMenu); });
}

bool CloseMenu(HWND hResident, DWORD timeoutMs) {
  DWORD dwProcessId = 0;
  GetWindowThreadProcessId(hResident, &dwProcessId);
  HWND hMenu = WaitForMenu(dwProcessId, timeoutMs);
  if (!hMenu) return false;
  PostMessageA(hMenu, WM_KEYDOWN, VK_ESCAPE, 1);
  return WaitFor(timeoutMs, [&] { return !IsWindow(hMenu) || !IsWindowVisible(hMenu); });
}

std::vector<std::pair<std::string, DWORD>> TraySlots() {
  std::vector<std::pair<std::string, DWORD>> slots;
  CKernelHandle hMap(OpenFileMappingA(FILE_MAP_READ, FALSE, MONITOR_MAP_NAME));
  CMappedView pView(hMap.IsValid() ? MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0) : nullptr);
  const BYTE* pBase = static_cast<const BYTE*>(pView.Get());
  for (int i = 0; pBase && i < MONITOR_ENTRY_COUNT; ++i) {
    const BYTE* p = pBase + i * MONITOR_ENTRY_SIZE;
    if (p[0] == MONITOR_END_MARKER) break;
    DWORD dwWindow;
    memcpy(&dwWindow, p + MONITOR_NAME_SIZE + 10, sizeof(dwWindow));
    if (p[0] != MONITOR_FREE_ENTRY)
      slots.emplace_back(
          std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), MONITOR_NAME_SIZE)),
          dwWindow);
  }
  return slots;
}

HWND TableWindow(const std::string& key) {
  for (const auto& slot : TraySlots())
    if (lstrcmpiA(slot.first.c_str(), key.c_str()) == 0)
      return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(slot.second)));
  return nullptr;
}

bool CaptureScreen(const RECT& rc, std::vector<DWORD>* pPixels) {
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  BITMAPINFO bmi = {};
  bmi.bmiHeader = {sizeof(bmi.bmiHeader), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* pBits = nullptr;
  HDC hScreen = GetDC(nullptr);
  CDeviceContext hMem(CreateCompatibleDC(hScreen));
  CGdiObject hBitmap(CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0));
  bool bCopied = false;
  if (cx > 0 && cy > 0 && hMem.IsValid() && hBitmap.IsValid()) {
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    bCopied = BitBlt(hMem, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY) != FALSE;
    SelectObject(hMem, hOld);
    if (bCopied) pPixels->assign(static_cast<const DWORD*>(pBits), static_cast<const DWORD*>(pBits) + cx * cy);
  }
  ReleaseDC(nullptr, hScreen);
  return bCopied;
}

std::vector<std::string> TrayIconColors() {
  std::vector<std::string> colours;
  // Wine's own tray window: each icon takes a cell of the small icon's width and a
  // 2-pixel border on either side.
  HWND hTray = FindWindowA("__winex11_standalone_tray", nullptr);
  RECT rc;
  std::vector<DWORD> pixels;
  if (!hTray || !IsWindowVisible(hTray) || !GetClientRect(hTray, &rc)) return colours;
  MapWindowPoints(hTray, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  if (!CaptureScreen(rc, &pixels)) return colours;
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top, cxCell = GetSystemMetrics(SM_CXSMICON) + 4;
  for (int x0 = 0; x0 + cxCell <= cx; x0 += cxCell) {
    // The icons' bodies are pure enough for wide bands of hue; grey pixels count for none.
    std::map<std::string, int> counts;
    for (int y = 0; y < cy; ++y)
      for (int x = x0; x < x0 + cxCell; ++x) {
        const DWORD rgb = pixels[static_cast<size_t>(y) * cx + x];
        const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        const int nMax = r > g ? (r > b ? r : b) : (g > b ? g : b),
                  d = nMax - (r < g ? (r < b ? r : b) : (g < b ? g : b));
        if (d < 64) continue;
        const int nHue = nMax == r   ? (60 * (g - b) / d + 360) % 360
                         : nMax == g ? 120 + 60 * (b - r) / d
                                     : 240 + 60 * (r - g) / d;
        ++counts[nHue < 15 || nHue >= 345   ? "red"
                 : nHue >= 20 && nHue < 70  ? "amber"
                 : nHue >= 75 && nHue < 165 ? "green"
                                            : "other"];
      }
    auto dominant = std::max_element(
        counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    if (dominant != counts.end()) colours.push_back(dominant->first);
  }
  return colours;
}

}  // namespace residentctl
