// winsim internals of the GDI area that other areas use: bitmaps for the resource
// loader, and the device context an open pop-up menu hands to owner drawing.
#pragma once

#include <windows.h>

#include <tuple>

namespace winsim::detail {

// A bitmap as CreateBitmap makes it; null for an impossible size or depth.
HBITMAP NewBitmap(int width, int height, UINT planes, UINT bitsPixel);
// The display's colour depth: bitmaps loaded from resources have it.
const UINT kScreenBitsPixel = 32;

// A drawing context of the system's (a menu window's): recorded like any other, but not
// counted among the program's objects.
HDC NewSystemDC();
void DeleteSystemDC(HDC hdc);
// What owner drawing must leave as it found it: the colours and the objects selected.
std::tuple<COLORREF, COLORREF, ULONG_PTR, ULONG_PTR> DcState(HDC hdc);

}  // namespace winsim::detail
