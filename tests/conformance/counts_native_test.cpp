// winsim's live-object counts, which the native tests' leak checks read: each must follow
// the objects it counts, or those checks pass whatever the program leaks.
#include <windows.h>
#include <share.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "winsim/control.h"

TEST(WinsimCounts, EachCountFollowsTheObjectsItCounts) {
  winsim::AddPrinter("Office Printer", "LPT1:", "Drv");
  winsim::WriteFileBytes("C:\\x.txt", "x");
  winsim::ModuleImage image;
  image.resources = std::make_shared<winsim::ModuleResources>();
  image.resources->icons[700] = {SIZE{16, 16}};
  winsim::RegisterModule("C:\\res.dll", image);
  HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, nullptr);
  EXPECT_EQ(1u, winsim::KernelHandleCount());
  const struct {
    const char* what;
    size_t (*count)();
  } counts[] = {{"keys", winsim::OpenKeyCount},         {"views", winsim::MappedViewCount},
                {"finds", winsim::OpenFindHandleCount}, {"streams", winsim::OpenStreamCount},
                {"printers", winsim::OpenPrinterCount}, {"modules", winsim::LoadedModuleCount},
                {"icons", winsim::LiveIconCount},       {"menus", winsim::LiveMenuCount},
                {"brushes", [] { return winsim::LiveGdiObjects().brushes; }},
                {"bitmaps", [] { return winsim::LiveGdiObjects().bitmaps; }},
                {"contexts", [] { return winsim::LiveGdiObjects().dcs; }}};
  std::vector<size_t> before;
  for (const auto& c : counts) before.push_back(c.count());

  // One object of each kind, then all closed again.
  HKEY hKey = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, "K", 0, nullptr, 0, KEY_READ, nullptr, &hKey, nullptr);
  void* pView = MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  WIN32_FIND_DATAA fd;
  HANDLE hFind = FindFirstFileA("C:\\x.txt", &fd);
  FILE* pFile = _fsopen("C:\\x.txt", "r", _SH_DENYNO);
  HANDLE hPrinter = nullptr;
  char szPrinter[] = "Office Printer";
  OpenPrinterA(szPrinter, &hPrinter, nullptr);
  HMODULE hModule = LoadLibraryA("C:\\res.dll");
  HANDLE hIcon = LoadImageA(hModule, MAKEINTRESOURCEA(700), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
  HMENU hMenu = CreatePopupMenu();
  HBRUSH hBrush = CreateSolidBrush(RGB(1, 2, 3));
  HBITMAP hBitmap = CreateBitmap(16, 16, 1, 32, nullptr);
  HDC hdc = CreateCompatibleDC(nullptr);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i] + 1, counts[i].count()) << counts[i].what;

  RegCloseKey(hKey);
  UnmapViewOfFile(pView);
  FindClose(hFind);
  fclose(pFile);
  ClosePrinter(hPrinter);
  DestroyIcon(static_cast<HICON>(hIcon));
  FreeLibrary(hModule);
  DestroyMenu(hMenu);
  DeleteObject(hBrush);
  DeleteObject(hBitmap);
  DeleteDC(hdc);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i], counts[i].count()) << counts[i].what;
  CloseHandle(hMap);
  EXPECT_EQ(0u, winsim::KernelHandleCount());
}
