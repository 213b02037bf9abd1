// winsim internals of the input area for other areas: the state behind GetCursorPos,
// GetAsyncKeyState and GetSysColor, read without those calls' counts and faults.
#pragma once

#include <windows.h>

namespace winsim::detail {

POINT CursorPos();
HWND ForegroundWindow();
bool IsKeyDown(int vk);
COLORREF SysColor(int index);

}  // namespace winsim::detail
