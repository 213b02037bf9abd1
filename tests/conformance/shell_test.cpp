// Conformance: the notification-area call accepts one icon per window and id, and
// refuses to change or remove an icon that is not there.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>

#include "support/TestResources.h"
#include "support/TestWindow.h"

namespace {

TEST(ShellConformance, OneIconPerWindowAndId) {
  HWND hWnd = testenv::CreateTestWindow();
  ASSERT_NE(nullptr, hWnd);
  HMODULE hModule = testenv::LoadTestResources();
  ASSERT_NE(nullptr, hModule);
  HICON hIcon = static_cast<HICON>(LoadImageA(hModule, MAKEINTRESOURCEA(700), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  ASSERT_NE(nullptr, hIcon);

  NOTIFYICONDATAA nid;
  memset(&nid, 0, sizeof(nid));
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = hWnd;
  nid.uID = 0;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = WM_USER + 100;
  nid.hIcon = hIcon;
  strcpy(nid.szTip, "Office Printer");

  EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
  EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid)) << "already there";
  EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &nid));
  nid.uID = 1;
  EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &nid));
  EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));
  nid.uID = 0;
  EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
  EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));

  DestroyIcon(hIcon);
  FreeLibrary(hModule);
  DestroyWindow(hWnd);
}

}  // namespace
