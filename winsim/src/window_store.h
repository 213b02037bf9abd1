// winsim window store, shared by the windowing areas: registered classes and one record
// per window created in this run. Creation and destruction live in windows.cpp;
// messages, timers and menus build on the same records.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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

// Live top-level windows (neither child nor message-only), topmost (newest) first: the
// receivers of a broadcast.
std::vector<HWND> TopLevelWindows();

// A window of one of the system's own classes ("#32768" for an open pop-up menu,
// "#32770" for a message box), created without the fault injection and call counts of
// the public calls. Its class is registered on first use; its procedure is DefWindowProcA.
HWND CreateSystemWindow(const char* className, const char* title, DWORD style, HWND owner);
// Destroys such a window if it still exists (as DestroyWindow does, minus the fault
// injection and call count).
void DestroySystemWindow(HWND hwnd);

// A fresh user-object handle (windows, menus, icons share one sequence, so a handle of
// one kind is never valid as another). Small, even, never reused within one run.
ULONG_PTR NewUserHandle();

// Runs for every window once it is gone (after WM_NCDESTROY): areas drop what belonged
// to it (queued messages, timers, focus). Register at static initialisation.
struct DestroyHook {
  explicit DestroyHook(std::function<void(HWND)> fn);
};

}  // namespace winsim::detail
