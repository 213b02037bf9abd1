// Conformance: the message queue, the default window procedure and timers behave alike
// on both platforms in what the tray resident relies on.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/RecordingWindow.h"

namespace {

using testenv::CRecordingWindow;

// The next message of this thread; a thread timer keeps a lost message from hanging the
// run (it then shows up as an unexpected WM_TIMER).
MSG NextMessage() {
  UINT_PTR watchdog = SetTimer(nullptr, 0, 3000, nullptr);
  MSG msg = {};
  GetMessageA(&msg, nullptr, 0, 0);
  KillTimer(nullptr, watchdog);
  return msg;
}

TEST(MessageConformance, SentMessageIsHandledBeforeEarlierPostedOnes) {
  CRecordingWindow w;
  ASSERT_NE(nullptr, w.Handle());
  w.m_handler = [](UINT uMsg, WPARAM wParam, LPARAM, LRESULT* pResult) {
    if (uMsg != WM_USER + 2) return false;
    *pResult = static_cast<LRESULT>(wParam * 10);
    return true;
  };
  EXPECT_TRUE(PostMessageA(w.Handle(), WM_USER + 1, 1, 0));
  EXPECT_EQ(20, SendMessageA(w.Handle(), WM_USER + 2, 2, 0));
  auto seen = w.Only({WM_USER + 1, WM_USER + 2});
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(static_cast<UINT>(WM_USER + 2), seen[0].uMsg);

  MSG msg = NextMessage();
  EXPECT_EQ(w.Handle(), msg.hwnd);
  EXPECT_EQ(static_cast<UINT>(WM_USER + 1), msg.message);
  EXPECT_EQ(1u, msg.wParam);
  DispatchMessageA(&msg);
  EXPECT_EQ(2u, w.Only({WM_USER + 1, WM_USER + 2}).size());
}

TEST(MessageConformance, QuitComesAfterPostedMessagesAndBeforeTimers) {
  CRecordingWindow w;
  EXPECT_EQ(5u, SetTimer(w.Handle(), 5, 10, nullptr));
  Sleep(50);
  EXPECT_TRUE(PostMessageA(w.Handle(), WM_USER + 1, 0, 0));
  PostQuitMessage(7);
  EXPECT_TRUE(PostMessageA(w.Handle(), WM_USER + 2, 0, 0));

  MSG msg = NextMessage();
  EXPECT_EQ(static_cast<UINT>(WM_USER + 1), msg.message);
  msg = NextMessage();
  EXPECT_EQ(static_cast<UINT>(WM_USER + 2), msg.message);
  msg = {};
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
  EXPECT_EQ(7u, msg.wParam);
  EXPECT_EQ(nullptr, msg.hwnd);

  // The quit is delivered once; the due timer comes next.
  msg = NextMessage();
  EXPECT_EQ(static_cast<UINT>(WM_TIMER), msg.message);
  EXPECT_EQ(w.Handle(), msg.hwnd);
  EXPECT_EQ(5u, msg.wParam);
  EXPECT_EQ(0, msg.lParam);
  EXPECT_TRUE(KillTimer(w.Handle(), 5));
}

TEST(MessageConformance, CloseByDefaultProcessingDestroysTheWindow) {
  CRecordingWindow w;
  CRecordingWindow other;
  HWND hWnd = w.Handle();
  // A message still queued for a window that goes away is dropped with it.
  EXPECT_TRUE(PostMessageA(hWnd, WM_USER + 3, 0, 0));
  EXPECT_EQ(0, SendMessageA(hWnd, WM_CLOSE, 0, 0));
  EXPECT_FALSE(IsWindow(hWnd));
  auto seen = w.Only({WM_CLOSE, WM_DESTROY, WM_NCDESTROY});
  ASSERT_EQ(3u, seen.size());
  EXPECT_EQ(static_cast<UINT>(WM_CLOSE), seen[0].uMsg);
  EXPECT_EQ(static_cast<UINT>(WM_DESTROY), seen[1].uMsg);
  EXPECT_EQ(static_cast<UINT>(WM_NCDESTROY), seen[2].uMsg);

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(PostMessageA(hWnd, WM_CLOSE, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
  EXPECT_TRUE(PostMessageA(other.Handle(), WM_USER + 4, 0, 0));
  MSG msg = NextMessage();
  EXPECT_EQ(other.Handle(), msg.hwnd);
  EXPECT_EQ(static_cast<UINT>(WM_USER + 4), msg.message);
}

TEST(MessageConformance, RegisteredMessagesIgnoreCase) {
  UINT uTaskbar = RegisterWindowMessageA("TaskbarCreated");
  EXPECT_GE(uTaskbar, 0xC000u);
  EXPECT_LE(uTaskbar, 0xFFFFu);
  EXPECT_EQ(uTaskbar, RegisterWindowMessageA("TASKBARCREATED"));
  EXPECT_NE(uTaskbar, RegisterWindowMessageA("Prw3ConfOtherMessage"));
}

TEST(MessageConformance, BroadcastPostsToTopLevelWindowsOnly) {
  UINT uMsg = RegisterWindowMessageA("Prw3ConfBroadcast");
  CRecordingWindow first;
  CRecordingWindow second;
  CRecordingWindow child(first.Handle(), WS_CHILD);
  ASSERT_NE(nullptr, child.Handle());
  EXPECT_TRUE(PostMessageA(HWND_BROADCAST, uMsg, 1, 2));
  EXPECT_TRUE(PostMessageA(first.Handle(), WM_USER + 9, 0, 0));
  for (int i = 0; i < 10; ++i) {
    MSG msg = NextMessage();
    DispatchMessageA(&msg);
    if (msg.message == WM_USER + 9 || msg.message == WM_TIMER) break;
  }
  EXPECT_EQ(1u, first.Count(uMsg));
  EXPECT_EQ(1u, second.Count(uMsg));
  EXPECT_EQ(0u, child.Count(uMsg));
}

TEST(MessageConformance, TimerResults) {
  CRecordingWindow w;
  HWND hWnd = w.Handle();
  EXPECT_EQ(2u, SetTimer(hWnd, 2, 1000, nullptr));
  EXPECT_EQ(2u, SetTimer(hWnd, 2, 2000, nullptr)) << "replaces the timer";
  EXPECT_TRUE(KillTimer(hWnd, 2));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(KillTimer(hWnd, 2));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

  // A destroyed window's timers go with it.
  EXPECT_EQ(6u, SetTimer(hWnd, 6, 10, nullptr));
  DestroyWindow(hWnd);
  EXPECT_FALSE(KillTimer(hWnd, 6));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0u, SetTimer(hWnd, 3, 1000, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(MessageConformance, WindowStylesAndState) {
  HWND hWnd = CreateWindowExA(0, CRecordingWindow::ClassName(), "Conf", WS_OVERLAPPEDWINDOW | WS_MINIMIZE, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, hWnd);
  // Top-level windows get sibling clipping.
  EXPECT_EQ(static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_MINIMIZE | WS_CLIPSIBLINGS), GetWindowLongA(hWnd, GWL_STYLE));
  CRecordingWindow child(hWnd, WS_CHILD);
  EXPECT_EQ(static_cast<LONG>(WS_CHILD), GetWindowLongA(child.Handle(), GWL_STYLE));

  EXPECT_EQ(nullptr, GetParent(hWnd));
  EXPECT_EQ(hWnd, GetParent(child.Handle()));
  DestroyWindow(hWnd);
}

}  // namespace
