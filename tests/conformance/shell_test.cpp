// Conformance: the notification area holds one icon per window and id, and refuses to
// change or remove one that is not there: the tray's add-then-modify retry relies on it.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>

#include "support/TestWindow.h"

TEST(ShellConformance, OneIconPerWindowAndId) {
  NOTIFYICONDATAA nid = {};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = testenv::CreateTestWindow();
  nid.uFlags = NIF_MESSAGE | NIF_TIP;
  nid.uCallbackMessage = WM_USER + 100;
  strcpy(nid.szTip, "Office Printer");
  // Each step: the message, the icon's id, and whether the shell does it.
  const DWORD steps[][3] = {{NIM_ADD, 0, TRUE},     {NIM_ADD, 0, FALSE},   {NIM_MODIFY, 0, TRUE}, {NIM_MODIFY, 1, FALSE},
                            {NIM_DELETE, 1, FALSE}, {NIM_DELETE, 0, TRUE}, {NIM_DELETE, 0, FALSE}};
  for (const auto& s : steps) {
    nid.uID = s[1];
    EXPECT_EQ(static_cast<BOOL>(s[2]), Shell_NotifyIconA(s[0], &nid)) << &s - steps;
  }
  DestroyWindow(nid.hWnd);
}
