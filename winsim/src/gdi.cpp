// winsim GDI: brushes, bitmaps and device contexts with the platform's lifetime rules,
// and every drawing call recorded as a display list per context that tests read back.
// Text has a fixed-pitch metric (winsim::kCharWidth by winsim::kCharHeight).
#include "gdi.h"

#include "core.h"
#include "input.h"
#include "window_store.h"

#include "winsim/control.h"

#include <map>

using namespace winsim::detail;

namespace {

enum class Kind { Brush, Bitmap, DC };
enum class DcKind { Memory, Info, Window, System };

struct Object {
  Kind kind;
  bool stock = false;
  int selections = 0;           // contexts it is selected into
  bool deletePending = false;   // deleted while selected: goes when put out
  COLORREF color = 0;           // brush
  int width = 0, height = 0;    // bitmap
  UINT planes = 1, bitsPixel = 1;
  DcKind dcKind = DcKind::Memory;  // context
  HWND window = nullptr;
  ULONG_PTR bitmap = 0;
  ULONG_PTR brush = 0;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
};

const ULONG_PTR kStockBitmap = 0x00FF0004;  // the 1x1 monochrome bitmap of a new memory context
const ULONG_PTR kStockBrush = 0x00FF0008;   // the white brush every context starts with

struct GdiState {
  std::map<ULONG_PTR, Object> objects;
  std::map<ULONG_PTR, std::vector<winsim::DrawOp>> lists;  // kept after the context goes
  ULONG_PTR next = 0x01000000;

  GdiState() {
    Object bitmap{Kind::Bitmap};
    bitmap.stock = true;
    bitmap.width = bitmap.height = 1;
    objects[kStockBitmap] = bitmap;
    Object brush{Kind::Brush};
    brush.stock = true;
    brush.color = RGB(255, 255, 255);
    objects[kStockBrush] = brush;
  }
};

GdiState& S() {
  static GdiState s;
  return s;
}

const ResetHook g_reset([] { S() = GdiState{}; });

ULONG_PTR Key(const void* h) { return reinterpret_cast<ULONG_PTR>(h); }

template <typename H>
H Handle(ULONG_PTR key) {
  return reinterpret_cast<H>(key);
}

Object* Find(const void* h, Kind kind) {
  auto it = S().objects.find(Key(h));
  return it != S().objects.end() && it->second.kind == kind ? &it->second : nullptr;
}

ULONG_PTR Add(const Object& object) {
  GdiState& s = S();
  s.next += 4;
  s.objects[s.next] = object;
  return s.next;
}

HDC NewDC(DcKind kind, HWND window) {
  Object dc{Kind::DC};
  dc.dcKind = kind;
  dc.window = window;
  dc.bitmap = kStockBitmap;
  dc.brush = kStockBrush;
  S().objects[kStockBitmap].selections++;
  S().objects[kStockBrush].selections++;
  return Handle<HDC>(Add(dc));
}

// Puts an object out of a context; one deleted meanwhile goes now.
void Deselect(ULONG_PTR key) {
  auto it = S().objects.find(key);
  if (it == S().objects.end()) return;
  Object& object = it->second;
  --object.selections;
  if (object.deletePending && object.selections == 0) S().objects.erase(it);
}

void RemoveDC(ULONG_PTR key) {
  Object dc = S().objects[key];
  S().objects.erase(key);
  Deselect(dc.bitmap);
  Deselect(dc.brush);
}

void Record(HDC hdc, const winsim::DrawOp& op) { S().lists[Key(hdc)].push_back(op); }

winsim::DrawOp Op(winsim::DrawOp::Kind kind) {
  winsim::DrawOp op{};
  op.kind = kind;
  return op;
}

}  // namespace

namespace winsim::detail {

HBITMAP NewBitmap(int width, int height, UINT planes, UINT bitsPixel) {
  if (width < 0 || height < 0 || planes != 1) return nullptr;
  switch (bitsPixel) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return nullptr;
  }
  // An empty size gives the shared 1x1 monochrome bitmap.
  if (width == 0 || height == 0) return Handle<HBITMAP>(kStockBitmap);
  Object bitmap{Kind::Bitmap};
  bitmap.width = width;
  bitmap.height = height;
  bitmap.planes = planes;
  bitmap.bitsPixel = bitsPixel;
  return Handle<HBITMAP>(Add(bitmap));
}

HDC NewSystemDC() { return NewDC(DcKind::System, nullptr); }

void DeleteSystemDC(HDC hdc) {
  if (Object* dc = Find(hdc, Kind::DC))
    if (dc->dcKind == DcKind::System) RemoveDC(Key(hdc));
}

std::tuple<COLORREF, COLORREF, ULONG_PTR, ULONG_PTR> DcState(HDC hdc) {
  const Object* dc = Find(hdc, Kind::DC);
  if (!dc) return {};
  return {dc->textColor, dc->bkColor, dc->bitmap, dc->brush};
}

}  // namespace winsim::detail

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  if (DWORD e = Fault("CreateSolidBrush")) return Fail<HBRUSH>(nullptr, e);
  Object brush{Kind::Brush};
  brush.color = color & 0x00FFFFFF;
  return Handle<HBRUSH>(Add(brush));
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  if (!Find(hDC, Kind::DC) || !lprc) return 0;
  COLORREF color;
  // A system colour index plus one stands for that colour's brush.
  if (Key(hbr) >= 1 && Key(hbr) <= 31) {
    color = SysColor(static_cast<int>(Key(hbr)) - 1);
  } else if (Object* brush = Find(hbr, Kind::Brush)) {
    color = brush->color;
  } else {
    return 0;
  }
  if (DWORD e = Fault("FillRect")) return Fail(0, e);
  winsim::DrawOp op = Op(winsim::DrawOp::Kind::FillRect);
  op.rect = *lprc;
  op.color = color;
  Record(hDC, op);
  return 1;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  auto it = S().objects.find(Key(ho));
  if (!ho || it == S().objects.end()) return FALSE;
  if (DWORD e = Fault("DeleteObject")) return Fail(FALSE, e);
  Object& object = it->second;
  if (object.stock) return TRUE;
  if (object.kind == Kind::DC) return DeleteDC(static_cast<HDC>(ho));
  // Still selected into a context: it goes when it is put out.
  if (object.selections) {
    object.deletePending = true;
    return TRUE;
  }
  S().objects.erase(it);
  return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  if (hdc && !Find(hdc, Kind::DC)) return nullptr;
  if (DWORD e = Fault("CreateCompatibleDC")) return Fail<HDC>(nullptr, e);
  return NewDC(DcKind::Memory, nullptr);
}

HDC WINAPI CreateICA(LPCSTR pszDriver, LPCSTR, LPCSTR, const DEVMODEA*) {
  // Only the display has an information context here.
  if (!pszDriver || lstrcmpiA(pszDriver, "DISPLAY") != 0) return nullptr;
  if (DWORD e = Fault("CreateICA")) return Fail<HDC>(nullptr, e);
  return NewDC(DcKind::Info, nullptr);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  Object* dc = Find(hdc, Kind::DC);
  // Contexts of windows (GetDC) and of the system are not the caller's to delete.
  if (!dc || dc->dcKind == DcKind::Window || dc->dcKind == DcKind::System) return FALSE;
  if (DWORD e = Fault("DeleteDC")) return Fail(FALSE, e);
  RemoveDC(Key(hdc));
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  Object* dc = Find(hdc, Kind::DC);
  auto it = S().objects.find(Key(h));
  if (!dc || !h || it == S().objects.end() || it->second.deletePending) return nullptr;
  if (DWORD e = Fault("SelectObject")) return Fail<HGDIOBJ>(nullptr, e);
  Object& object = it->second;
  ULONG_PTR* slot = nullptr;
  if (object.kind == Kind::Bitmap) {
    // Only memory contexts take bitmaps, and a bitmap goes into one context at a time.
    if (dc->dcKind != DcKind::Memory) return nullptr;
    if (!object.stock && object.selections && dc->bitmap != Key(h)) return nullptr;
    slot = &dc->bitmap;
  } else if (object.kind == Kind::Brush) {
    slot = &dc->brush;
  } else {
    return nullptr;
  }
  ULONG_PTR previous = *slot;
  if (previous == Key(h)) return h;
  *slot = Key(h);
  ++object.selections;
  Deselect(previous);
  return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int, int, DWORD rop) {
  Object* source = hdcSrc ? Find(hdcSrc, Kind::DC) : nullptr;
  if (!Find(hdc, Kind::DC) || (hdcSrc && !source)) return FALSE;
  if (DWORD e = Fault("BitBlt")) return Fail(FALSE, e);
  winsim::DrawOp op = Op(winsim::DrawOp::Kind::BitBlt);
  op.rect = RECT{x, y, x + cx, y + cy};
  op.bitmap = source ? Handle<HBITMAP>(source->bitmap) : nullptr;
  op.rop = rop;
  Record(hdc, op);
  return TRUE;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  Object* dc = Find(hdc, Kind::DC);
  if (!dc) return CLR_INVALID;
  if (DWORD e = Fault("SetTextColor")) return Fail(CLR_INVALID, e);
  COLORREF previous = dc->textColor;
  dc->textColor = color;
  return previous;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  Object* dc = Find(hdc, Kind::DC);
  if (!dc) return CLR_INVALID;
  if (DWORD e = Fault("SetBkColor")) return Fail(CLR_INVALID, e);
  COLORREF previous = dc->bkColor;
  dc->bkColor = color;
  return previous;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
  if (!Find(hdc, Kind::DC) || !psizl || c < 0 || (c && !lpString)) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("GetTextExtentPoint32A")) return Fail(FALSE, e);
  // No text has no height either.
  psizl->cx = c * winsim::kCharWidth;
  psizl->cy = c ? winsim::kCharHeight : 0;
  return TRUE;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  Object* dc = Find(hdc, Kind::DC);
  if (!dc || c < 0 || (c && !lpString)) return FALSE;
  if (DWORD e = Fault("TextOutA")) return Fail(FALSE, e);
  winsim::DrawOp op = Op(winsim::DrawOp::Kind::TextOut);
  op.rect = RECT{x, y, x + c * winsim::kCharWidth, y + winsim::kCharHeight};
  op.color = dc->textColor;
  op.bkColor = dc->bkColor;
  op.text.assign(lpString ? lpString : "", static_cast<size_t>(c));
  Record(hdc, op);
  return TRUE;
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
  Object* bitmap = Find(h, Kind::Bitmap);
  if (!bitmap) return 0;
  if (DWORD e = Fault("GetObjectA")) return Fail(0, e);
  if (!pv) return static_cast<int>(sizeof(BITMAP));
  if (c < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm = {};
  bm.bmWidth = bitmap->width;
  bm.bmHeight = bitmap->height;
  // Rows are padded to whole 16-bit words.
  bm.bmWidthBytes = static_cast<LONG>((bitmap->width * bitmap->bitsPixel + 15) / 16 * 2);
  bm.bmPlanes = static_cast<WORD>(bitmap->planes);
  bm.bmBitsPixel = static_cast<WORD>(bitmap->bitsPixel);
  *static_cast<BITMAP*>(pv) = bm;
  return static_cast<int>(sizeof(BITMAP));
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void*) {
  if (DWORD e = Fault("CreateBitmap")) return Fail<HBITMAP>(nullptr, e);
  HBITMAP bitmap = NewBitmap(nWidth, nHeight, nPlanes, nBitCount);
  return bitmap ? bitmap : Fail<HBITMAP>(nullptr, ERROR_INVALID_PARAMETER);
}

HDC WINAPI GetDC(HWND hWnd) {
  if (hWnd && !LiveWindow(hWnd)) return Fail<HDC>(nullptr, ERROR_INVALID_WINDOW_HANDLE);
  if (DWORD e = Fault("GetDC")) return Fail<HDC>(nullptr, e);
  return NewDC(DcKind::Window, hWnd);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
  Object* dc = Find(hDC, Kind::DC);
  if (!dc || dc->dcKind != DcKind::Window || dc->window != hWnd) return 0;
  if (DWORD e = Fault("ReleaseDC")) return Fail(0, e);
  RemoveDC(Key(hDC));
  return 1;
}

namespace winsim {

GdiCounts LiveGdiObjects() {
  GdiCounts counts{};
  for (const auto& [key, object] : S().objects) {
    if (object.stock) continue;
    switch (object.kind) {
      case Kind::Brush: ++counts.brushes; break;
      case Kind::Bitmap: ++counts.bitmaps; break;
      case Kind::DC: counts.dcs += object.dcKind != DcKind::System; break;
    }
  }
  return counts;
}

std::vector<DrawOp> DisplayList(HDC hdc) {
  auto it = S().lists.find(Key(hdc));
  return it == S().lists.end() ? std::vector<DrawOp>{} : it->second;
}

}  // namespace winsim
