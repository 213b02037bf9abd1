// winsim input state and system parameters: keys held down as tests set them, the
// cursor resting over the tray, the focus and foreground windows, and fixed metrics and
// colours.
#include "input.h"

#include "core.h"
#include "window_store.h"

#include "winsim/control.h"

#include <bitset>

using namespace winsim::detail;

namespace {

const POINT kCursor = {winsim::kScreenWidth - 40, winsim::kScreenHeight - 20};  // over the tray

struct InputState {
  std::bitset<256> keysDown;
  HWND focus = nullptr;
  // No window of the program's at first: a tray click comes through the taskbar.
  HWND foreground = nullptr;
};

InputState& S() {
  static InputState s;
  return s;
}

const ResetHook g_reset([] { S() = InputState{}; });

const DestroyHook g_destroy([](HWND hwnd) {
  if (S().focus == hwnd) S().focus = nullptr;
  if (S().foreground == hwnd) S().foreground = nullptr;
});

}  // namespace

namespace winsim::detail {

POINT CursorPos() { return kCursor; }

HWND ForegroundWindow() { return S().foreground; }

bool IsKeyDown(int vk) { return vk >= 0 && vk <= 255 && S().keysDown[static_cast<size_t>(vk)]; }

COLORREF SysColor(int index) {
  switch (index) {
    case COLOR_SCROLLBAR: return winsim::kColorScrollbar;
    case COLOR_MENU: return winsim::kColorMenu;
    case COLOR_WINDOW: return winsim::kColorWindow;
    case COLOR_MENUTEXT: return winsim::kColorMenuText;
    case COLOR_HIGHLIGHT: return winsim::kColorHighlight;
    case COLOR_HIGHLIGHTTEXT: return winsim::kColorHighlightText;
    default: return 0;
  }
}

}  // namespace winsim::detail

SHORT WINAPI GetAsyncKeyState(int vKey) {
  if (DWORD e = Fault("GetAsyncKeyState")) return Fail<SHORT>(0, e);
  // Only the most significant bit (held down now) is simulated.
  return IsKeyDown(vKey) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
  if (!lpPoint) return Fail(FALSE, ERROR_NOACCESS);
  if (DWORD e = Fault("GetCursorPos")) return Fail(FALSE, e);
  *lpPoint = kCursor;
  return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex) {
  if (DWORD e = Fault("GetSystemMetrics")) return Fail(0, e);
  switch (nIndex) {
    case SM_CXSCREEN: return winsim::kScreenWidth;
    case SM_CYSCREEN: return winsim::kScreenHeight;
    case SM_CYMENU: return winsim::kMenuHeight;
    case SM_CXMENUCHECK: return winsim::kMenuCheckWidth;
    case SM_CYMENUCHECK: return winsim::kMenuCheckHeight;
    default: return 0;
  }
}

DWORD WINAPI GetSysColor(int nIndex) {
  if (DWORD e = Fault("GetSysColor")) return Fail<DWORD>(0, e);
  return SysColor(nIndex);
}

// Always granted: the program asks for it while handling the user's click on its icon.
BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  WindowRecord* w = LiveWindow(hWnd);
  if (!w) return Fail(FALSE, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("SetForegroundWindow")) return Fail(FALSE, e);
  S().foreground = w->hwnd;
  return TRUE;
}

HWND WINAPI GetForegroundWindow() { return S().foreground; }

HWND WINAPI SetFocus(HWND hWnd) {
  WindowRecord* w = hWnd ? LiveWindow(hWnd) : nullptr;
  if (hWnd && !w) return Fail<HWND>(nullptr, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("SetFocus")) return Fail<HWND>(nullptr, e);
  HWND previous = S().focus;
  HWND next = w ? w->hwnd : nullptr;
  if (previous == next) return previous;
  S().focus = next;
  if (previous) CallWindowProcedure(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(next), 0);
  if (next) CallWindowProcedure(next, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

namespace winsim {

void SetKeyDown(int vk, bool down) {
  if (vk >= 0 && vk <= 255) S().keysDown[static_cast<size_t>(vk)] = down;
}

}  // namespace winsim
