// winsim window store, shared by the windowing areas: registered classes and one record
// per window created in this run. Creation and destruction live in windows.cpp;
// messages, timers and menus build on the same records.
#pragma once

#include <windows.h>

#include <string>

namespace winsim::detail {

struct WindowClass {
  std::string name;  // as registered; looked up without regard to case
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HBRUSH background = nullptr;
};

struct WindowRecord {
  HWND hwnd = nullptr;
  std::string className;  // the class's registered spelling
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;  // parent or owner; null for a plain top-level window; HWND_MESSAGE for message-only
  HMENU menu = nullptr;
  HINSTANCE instance = nullptr;
  WNDPROC proc = nullptr;
  bool alive = true;        // false once WM_NCDESTROY has been handled; the record stays
  bool destroying = false;  // DestroyWindow has begun
};

// The registered class of that name or atom, or null.
const WindowClass* FindWindowClass(LPCSTR nameOrAtom);
// The window behind a handle while it exists (only the low 32 bits of the value count,
// as on the platform), or null.
WindowRecord* LiveWindow(HWND hwnd);
// Calls the window's procedure; 0 when the window no longer exists.
LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace winsim::detail
