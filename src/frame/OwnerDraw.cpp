// CMainFrame: measuring and drawing the owner-drawn auxiliary items: a bitmap at the
// left, the text after it, in the menu's colours or the highlight's, at the DPI of the
// menu's display.
#include "frame/MainFrame.h"

#include "base/Scoped.h"
#include "profile/Contracts.h"

#include <cstring>

namespace {

// Offsets at 96 DPI; each scales with the DPI of the menu's display.
const int TEXT_INDENT = 20;
const int BITMAP_LEFT = 4;
const int BITMAP_GAP = 4;
const int TEXT_GAP = 10;
const int BITMAP_SIZE = 16;
const int BASE_DPI = USER_DEFAULT_SCREEN_DPI;

int Scale(int n, int nDpi) { return MulDiv(n, nDpi, BASE_DPI); }

}  // namespace

void CMainFrame::OnMeasureItem(WPARAM, MEASUREITEMSTRUCT* pMeasure) {
  if (!pMeasure || !m_pMenuItems) return;
  const int nIndex = static_cast<int>(pMeasure->itemID) - AUX_FIRST_ID;
  if (nIndex < 0 || nIndex >= m_nMenuItemCount) return;
  const CMenuItem& item = m_pMenuItems[nIndex];

  CDeviceContext hIC(CreateICA("DISPLAY", nullptr, nullptr, nullptr));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(hIC, item.m_szText, static_cast<int>(strlen(item.m_szText)), &size);
  pMeasure->itemWidth = static_cast<UINT>(GetSystemMetrics(SM_CXMENUCHECK) + size.cx);
  pMeasure->itemHeight = static_cast<UINT>(GetSystemMetrics(SM_CYMENU));
}

void CMainFrame::OnDrawItem(WPARAM, DRAWITEMSTRUCT* pDraw) {
  if (!pDraw || !m_pMenuItems) return;
  const int nIndex = static_cast<int>(pDraw->itemID) - AUX_FIRST_ID;
  if (nIndex < 0 || nIndex >= m_nMenuItemCount) return;
  const CMenuItem& item = m_pMenuItems[nIndex];
  const bool bSelected = (pDraw->itemState & ODS_SELECTED) != 0;
  HDC hDC = pDraw->hDC;
  const RECT& rc = pDraw->rcItem;
  const LONG nHeight = rc.bottom - rc.top;

  const COLORREF crFill = GetSysColor(bSelected ? COLOR_HIGHLIGHT : COLOR_MENU);
  {
    CGdiObject hBrush(CreateSolidBrush(crFill));
    FillRect(hDC, &rc, static_cast<HBRUSH>(hBrush.Get()));
  }

  const int nDpiCaps = GetDeviceCaps(hDC, LOGPIXELSX);
  const int nDpi = nDpiCaps > 0 ? nDpiCaps : BASE_DPI;
  int nIndent = Scale(TEXT_INDENT, nDpi);
  if (item.m_hBitmap) {
    BITMAP bm;
    memset(&bm, 0, sizeof(bm));
    GetObjectA(item.m_hBitmap, sizeof(bm), &bm);
    // A picture drawn for 96 DPI grows with the scale, smoothly; one already drawn at the
    // scaled size or larger is copied as it is.
    int cxDraw = bm.bmWidth;
    int cyDraw = bm.bmHeight;
    const int nScaledSize = Scale(BITMAP_SIZE, nDpi);
    if (bm.bmWidth < nScaledSize && bm.bmHeight < nScaledSize) {
      cxDraw = Scale(bm.bmWidth, nDpi);
      cyDraw = Scale(bm.bmHeight, nDpi);
    }
    const int x = rc.left + Scale(BITMAP_LEFT, nDpi);
    const int y = rc.top + (nHeight - cyDraw) / 2;
    CDeviceContext hMemDC(CreateCompatibleDC(hDC));
    {
      CSelectObject select(hMemDC, item.m_hBitmap);
      if (cxDraw == bm.bmWidth && cyDraw == bm.bmHeight) {
        BitBlt(hDC, x, y, cxDraw, cyDraw, hMemDC, 0, 0, SRCCOPY);
      } else {
        const int nOldMode = SetStretchBltMode(hDC, HALFTONE);
        SetBrushOrgEx(hDC, 0, 0, nullptr);
        StretchBlt(hDC, x, y, cxDraw, cyDraw, hMemDC, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
        SetStretchBltMode(hDC, nOldMode);
      }
    }
    nIndent = cxDraw + Scale(BITMAP_GAP, nDpi);
  }

  const COLORREF crOldText = SetTextColor(hDC, GetSysColor(bSelected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  const COLORREF crOldBk = SetBkColor(hDC, crFill);
  const int cch = static_cast<int>(strlen(item.m_szText));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(hDC, item.m_szText, cch, &size);
  TextOutA(hDC, rc.left + nIndent + Scale(TEXT_GAP, nDpi), rc.top + (nHeight - size.cy) / 2, item.m_szText, cch);
  SetBkColor(hDC, crOldBk);
  SetTextColor(hDC, crOldText);
}
