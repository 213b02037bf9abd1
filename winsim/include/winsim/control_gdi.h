// winsim test controls for GDI: live object counts for leak checks, and what was drawn
// into each device context.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim {

struct GdiCounts {
  size_t brushes;
  size_t bitmaps;
  size_t dcs;  // memory and information contexts, and GetDC's not yet released
};
// Objects the program created and has not deleted (stock objects and the contexts the
// system lends to owner drawing do not count).
GdiCounts LiveGdiObjects();

struct DrawOp {
  enum class Kind { FillRect, BitBlt, TextOut } kind;
  RECT rect;           // FillRect: its rectangle; BitBlt: x, y, x + cx, y + cy;
                       // TextOut: x, y and the text's extent
  COLORREF color;      // FillRect: the brush's colour; TextOut: the text colour
  COLORREF bkColor;    // TextOut: the background colour
  HBITMAP bitmap;      // BitBlt: the bitmap selected in the source context
  DWORD rop;           // BitBlt
  std::string text;    // TextOut: exactly the characters passed ('&' included)
};
// What was drawn into a context, in order; kept after the context is deleted.
std::vector<DrawOp> DisplayList(HDC hdc);

}  // namespace winsim
