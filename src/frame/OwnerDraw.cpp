// CMainFrame: measuring and drawing the owner-drawn auxiliary items: a bitmap at the
// left, the text after it, in the menu's colours or the highlight's.
#include "frame/MainFrame.h"

#include "base/Scoped.h"
#include "profile/Contracts.h"

#include <cstring>

namespace {

const int TEXT_INDENT = 20;
const int BITMAP_LEFT = 4;
const int BITMAP_GAP = 4;
const int TEXT_GAP = 10;

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

  int nIndent = TEXT_INDENT;
  if (item.m_hBitmap) {
    BITMAP bm;
    memset(&bm, 0, sizeof(bm));
    GetObjectA(item.m_hBitmap, sizeof(bm), &bm);
    CDeviceContext hMemDC(CreateCompatibleDC(hDC));
    {
      CSelectObject select(hMemDC, item.m_hBitmap);
      BitBlt(hDC,
             rc.left + BITMAP_LEFT,
             rc.top + (nHeight - bm.bmHeight) / 2,
             bm.bmWidth,
             bm.bmHeight,
             hMemDC,
             0,
             0,
             SRCCOPY);
    }
    nIndent = bm.bmWidth + BITMAP_GAP;
  }

  const COLORREF crOldText = SetTextColor(hDC, GetSysColor(bSelected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  const COLORREF crOldBk = SetBkColor(hDC, crFill);
  const int cch = static_cast<int>(strlen(item.m_szText));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(hDC, item.m_szText, cch, &size);
  TextOutA(hDC, rc.left + nIndent + TEXT_GAP, rc.top + (nHeight - size.cy) / 2, item.m_szText, cch);
  SetBkColor(hDC, crOldBk);
  SetTextColor(hDC, crOldText);
}
