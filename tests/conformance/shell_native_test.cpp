// winsim's tray under test control: the recorded icons, the shell's scripted failures,
// its restart, and clicks on an icon.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/RecordingWindow.h"
#include "winsim/control.h"

namespace {

using testenv::CRecordingWindow;

NOTIFYICONDATAA Record(HWND hWnd, DWORD cbSize, const std::string& tip) {
  NOTIFYICONDATAA nid;
  memset(&nid, 0, sizeof(nid));
  nid.cbSize = cbSize;
  nid.hWnd = hWnd;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = WM_USER + 100;
  nid.hIcon = reinterpret_cast<HICON>(0x1234);
  memcpy(nid.szTip, tip.data(), std::min(tip.size(), sizeof(nid.szTip)));
  return nid;
}

TEST(TrayNative, TipsAreCutToTheRecordForm) {
  CRecordingWindow w;
  NOTIFYICONDATAA v1 = Record(w.Handle(), NOTIFYICONDATAA_V1_SIZE, std::string(200, 'a'));
  ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &v1));
  auto icons = winsim::TrayIcons();
  ASSERT_EQ(1u, icons.size());
  EXPECT_EQ(std::string(63, 'a'), icons[0].tip);

  // A change touches only the fields its flags name.
  NOTIFYICONDATAA change = Record(w.Handle(), NOTIFYICONDATAA_V1_SIZE, "Office Printer");
  change.uFlags = NIF_TIP;
  change.hIcon = nullptr;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &change));
  icons = winsim::TrayIcons();
  EXPECT_EQ("Office Printer", icons[0].tip);
  EXPECT_EQ(reinterpret_cast<HICON>(0x1234), icons[0].icon);
  EXPECT_EQ(static_cast<UINT>(WM_USER + 100), icons[0].callbackMessage);
}

TEST(TrayNative, ScriptedFailuresAndRestart) {
  CRecordingWindow w;
  CRecordingWindow child(w.Handle(), WS_CHILD);
  NOTIFYICONDATAA nid = Record(w.Handle(), NOTIFYICONDATAA_V1_SIZE, "Office Printer");
  winsim::FailNotifyIcon(NIM_ADD, 1);
  EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid));
  EXPECT_TRUE(winsim::TrayIcons().empty());
  winsim::FailNotifyIcon(NIM_ADD, 1, true);
  EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid)) << "added, but reported as failed";
  EXPECT_EQ(1u, winsim::TrayIcons().size());
  EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid)) << "it is there now";

  EXPECT_TRUE(winsim::PostTrayMouseMessage(w.Handle(), 0, WM_RBUTTONDOWN));
  EXPECT_FALSE(winsim::PostTrayMouseMessage(w.Handle(), 1, WM_RBUTTONDOWN));
  winsim::RestartExplorer();
  EXPECT_TRUE(winsim::TrayIcons().empty());
  EXPECT_FALSE(winsim::PostTrayMouseMessage(w.Handle(), 0, WM_RBUTTONDOWN));
  winsim::PumpMessages();
  auto clicks = w.Only({WM_USER + 100});
  ASSERT_EQ(1u, clicks.size());
  EXPECT_EQ(0u, clicks[0].wParam);
  EXPECT_EQ(WM_RBUTTONDOWN, clicks[0].lParam);
  UINT uTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  EXPECT_EQ(1u, w.Count(uTaskbarCreated));
  EXPECT_EQ(0u, child.Count(uTaskbarCreated));
}

}  // namespace
