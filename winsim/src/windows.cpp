// winsim windows: class registry, window creation and destruction with the messages
// they send, the look-ups (IsWindow, GetClassNameA, FindWindowA, GetParent,
// GetWindowLongA) and visibility. Owns the store and the user-handle sequence.
#include "core.h"
#include "menus.h"
#include "window_store.h"

#include "winsim/control.h"

#include <map>
#include <memory>
#include <vector>

using namespace winsim::detail;

namespace {

struct WindowState {
  std::vector<std::unique_ptr<WindowClass>> classes;
  // Keyed by the 32-bit handle value; creation order is key order.
  std::map<DWORD, std::unique_ptr<WindowRecord>> windows;
  ATOM nextAtom = 0xC000;
  // User handles are small and even and never come back within one run, so a stale
  // handle stays invalid; they keep clear of the sign bit like the platform's.
  DWORD nextHandle = 0x00010010;
};

std::vector<std::function<void(HWND)>>& DestroyHooks() {
  static std::vector<std::function<void(HWND)>> hooks;
  return hooks;
}

WindowState& S() {
  static WindowState s;
  return s;
}

const ResetHook kReset([] { S() = WindowState{}; });

DWORD Key(HWND hwnd) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hwnd)); }

bool SameText(const std::string& a, LPCSTR b) { return lstrcmpiA(a.c_str(), b) == 0; }

// WM_DESTROY reaches the window before its children, WM_NCDESTROY after them.
void Destroy(WindowRecord* w) {
  HWND hwnd = w->hwnd;
  w->destroying = true;
  CallWindowProcedure(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  for (auto& [key, rec] : S().windows)
    if (rec->alive && !rec->destroying && Key(rec->parent) == Key(hwnd)) children.push_back(rec->hwnd);
  for (HWND child : children)
    if (WindowRecord* c = LiveWindow(child)) Destroy(c);
  CallWindowProcedure(hwnd, WM_NCDESTROY, 0, 0);
  w->alive = false;
  for (auto& fn : DestroyHooks()) fn(hwnd);
}

// Top-level windows other than pop-ups get sibling clipping and a caption whatever the
// caller asked for; pop-ups get sibling clipping.
DWORD CorrectedStyle(DWORD style) {
  if ((style & (WS_CHILD | WS_POPUP)) != WS_CHILD) {
    style |= WS_CLIPSIBLINGS;
    if (!(style & WS_POPUP)) style |= WS_CAPTION;
  }
  return style;
}

HWND Create(const WindowClass* cls, DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
  WindowState& s = S();
  auto w = std::make_unique<WindowRecord>();
  w->hwnd = reinterpret_cast<HWND>(NewUserHandle());
  w->className = cls->name;
  w->title = lpWindowName ? lpWindowName : "";
  w->style = CorrectedStyle(dwStyle);
  w->exStyle = dwExStyle;
  w->parent = hWndParent;
  w->menu = hMenu;
  w->instance = hInstance;
  w->proc = cls->proc;
  HWND hwnd = w->hwnd;
  s.windows[Key(hwnd)] = std::move(w);

  CREATESTRUCTA cs{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
                   lpWindowName, lpClassName, dwExStyle};
  LPARAM lParam = reinterpret_cast<LPARAM>(&cs);
  if (!CallWindowProcedure(hwnd, WM_NCCREATE, 0, lParam)) {
    if (WindowRecord* rec = LiveWindow(hwnd)) rec->alive = false;
    return nullptr;
  }
  if (CallWindowProcedure(hwnd, WM_CREATE, 0, lParam) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  // The procedure may have destroyed the window while it was being created.
  return LiveWindow(hwnd) ? hwnd : nullptr;
}

ATOM AddClass(const WNDCLASSA* lpWndClass) {
  auto c = std::make_unique<WindowClass>();
  c->name = lpWndClass->lpszClassName;
  c->atom = S().nextAtom++;
  c->style = lpWndClass->style;
  c->proc = lpWndClass->lpfnWndProc;
  c->instance = lpWndClass->hInstance;
  c->background = lpWndClass->hbrBackground;
  ATOM atom = c->atom;
  S().classes.push_back(std::move(c));
  return atom;
}

}  // namespace

namespace winsim::detail {

const WindowClass* FindWindowClass(LPCSTR nameOrAtom) {
  if (!nameOrAtom) return nullptr;
  for (auto& c : S().classes) {
    if (IS_INTRESOURCE(nameOrAtom) ? c->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom))
                                   : SameText(c->name, nameOrAtom))
      return c.get();
  }
  return nullptr;
}

WindowRecord* LiveWindow(HWND hwnd) {
  auto it = S().windows.find(Key(hwnd));
  return it != S().windows.end() && it->second->alive ? it->second.get() : nullptr;
}

LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowRecord* w = LiveWindow(hwnd);
  if (!w || !w->proc) return 0;
  return w->proc(w->hwnd, msg, wParam, lParam);
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> out;
  auto& windows = S().windows;
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    const WindowRecord& w = *it->second;
    if (w.alive && !(w.style & WS_CHILD) && w.parent != HWND_MESSAGE) out.push_back(w.hwnd);
  }
  return out;
}

HWND CreateSystemWindow(const char* className, const char* title, DWORD style, HWND owner) {
  const WindowClass* cls = FindWindowClass(className);
  if (!cls) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = className;
    AddClass(&wc);
    cls = FindWindowClass(className);
  }
  return Create(cls, 0, className, title, style, 0, 0, 0, 0, owner, nullptr, nullptr, nullptr);
}

void DestroySystemWindow(HWND hwnd) {
  if (WindowRecord* w = LiveWindow(hwnd))
    if (!w->destroying) Destroy(w);
}

ULONG_PTR NewUserHandle() {
  DWORD h = S().nextHandle;
  S().nextHandle += 2;
  return h;
}

DestroyHook::DestroyHook(std::function<void(HWND)> fn) { DestroyHooks().push_back(std::move(fn)); }

}  // namespace winsim::detail

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpszClassName) return Fail<ATOM>(0, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("RegisterClassA")) return Fail<ATOM>(0, e);
  if (FindWindowClass(lpWndClass->lpszClassName)) return Fail<ATOM>(0, ERROR_CLASS_ALREADY_EXISTS);
  return AddClass(lpWndClass);
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  const WindowClass* cls = FindWindowClass(lpClassName);
  if (!cls) return Fail<HWND>(nullptr, ERROR_CLASS_DOES_NOT_EXIST);
  if (hWndParent && hWndParent != HWND_MESSAGE && !LiveWindow(hWndParent))
    return Fail<HWND>(nullptr, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("CreateWindowExA")) return Fail<HWND>(nullptr, e);
  return Create(cls, dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth, nHeight, hWndParent, hMenu,
                hInstance, lpParam);
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  WindowRecord* w = LiveWindow(hWnd);
  if (!w) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("DestroyWindow")) return Fail(FALSE, e);
  if (!w->destroying) Destroy(w);
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_CANCELMODE:
      CancelMenuOf(hWnd);
      return 0;
    default:
      return 0;
  }
}

BOOL WINAPI IsWindow(HWND hWnd) {
  if (DWORD e = Fault("IsWindow")) return Fail(FALSE, e);
  return LiveWindow(hWnd) != nullptr;
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  WindowRecord* w = LiveWindow(hWnd);
  if (!w) return Fail(0, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("GetClassNameA")) return Fail(0, e);
  if (nMaxCount <= 0 || !lpClassName) return 0;
  int n = static_cast<int>(w->className.size());
  if (n > nMaxCount - 1) n = nMaxCount - 1;
  w->className.copy(lpClassName, static_cast<size_t>(n));
  lpClassName[n] = '\0';
  return n;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  if (DWORD e = Fault("FindWindowA")) return Fail<HWND>(nullptr, e);
  const WindowClass* cls = nullptr;
  if (lpClassName) {
    cls = FindWindowClass(lpClassName);
    if (!cls) return Fail<HWND>(nullptr, ERROR_CANNOT_FIND_WND_CLASS);
  }
  // Newest first: a new top-level window comes to the top of the z-order. Child and
  // message-only windows are not searched.
  auto& windows = S().windows;
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    const WindowRecord& w = *it->second;
    if (!w.alive || (w.style & WS_CHILD) || w.parent == HWND_MESSAGE) continue;
    if (cls && !SameText(w.className, cls->name.c_str())) continue;
    if (lpWindowName && !SameText(w.title, lpWindowName)) continue;
    return w.hwnd;
  }
  return nullptr;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  WindowRecord* w = LiveWindow(hWnd);
  if (!w) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("ShowWindow")) return Fail(FALSE, e);
  // The result is whether the window was visible before.
  bool wasVisible = (w->style & WS_VISIBLE) != 0;
  bool show = nCmdShow != SW_HIDE;
  if (show == wasVisible) return wasVisible;
  if (show)
    w->style |= WS_VISIBLE;
  else
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
  CallWindowProcedure(hWnd, WM_SHOWWINDOW, show, 0);
  return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
  if (!LiveWindow(hWnd)) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("UpdateWindow")) return Fail(FALSE, e);
  // Nothing is ever invalidated, so there is no WM_PAINT to send.
  return TRUE;
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
  WindowRecord* w = LiveWindow(hWnd);
  if (!w) return Fail(0, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("GetWindowLongA")) return Fail(0, e);
  switch (nIndex) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
    default:
      return Fail(0, ERROR_INVALID_INDEX);
  }
}

HWND WINAPI GetParent(HWND hWnd) {
  WindowRecord* w = LiveWindow(hWnd);
  if (!w) return Fail<HWND>(nullptr, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("GetParent")) return Fail<HWND>(nullptr, e);
  // A child's parent, or a pop-up's owner; an overlapped window's owner does not count.
  if (w->parent == HWND_MESSAGE) return nullptr;
  if ((w->style & WS_CHILD) || (w->style & WS_POPUP)) return w->parent;
  return nullptr;
}

namespace winsim {

std::vector<HWND> WindowsOfClass(const std::string& className) {
  std::vector<HWND> out;
  for (HWND h : winsim::detail::TopLevelWindows()) {
    const winsim::detail::WindowRecord* w = winsim::detail::LiveWindow(h);
    if (w && lstrcmpiA(w->className.c_str(), className.c_str()) == 0) out.push_back(h);
  }
  return out;
}

}  // namespace winsim
