// A plain hidden top-level window for tests that need a live window handle, with its own
// window procedure if given. Each procedure gets a class of its own, registered on first use.
#pragma once

#include <windows.h>

#include <string>

namespace testenv {

inline HWND CreateTestWindow(WNDPROC pfnProc = DefWindowProcA) {
  const std::string className = "Prw3TestWindow" + std::to_string(reinterpret_cast<UINT_PTR>(pfnProc));
  WNDCLASSA wc = {};
  wc.lpfnWndProc = pfnProc;
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace testenv
