// A plain hidden top-level window for tests that need a live window handle. Its class
// is registered on first use; later registrations in the same process fail harmlessly.
#pragma once

#include <windows.h>

namespace testenv {

constexpr const char TEST_WND_CLASS[] = "Prw3TestWindow";

inline HWND CreateTestWindow(LPCSTR szTitle = "") {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = TEST_WND_CLASS;
  RegisterClassA(&wc);
  return CreateWindowExA(0, TEST_WND_CLASS, szTitle, WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace testenv
