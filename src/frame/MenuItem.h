// CMenuItem: one owner-drawn auxiliary menu item: its command, picture and text, and the
// record through which a screen reader reads that text. The frame owns the records and
// their bitmaps.
#pragma once

#include <windows.h>
#include <oleacc.h>

class CMenuItem {
public:
  CMenuItem() : m_nID(0), m_hBitmap(nullptr), m_msaa() {
    m_szText[0] = '\0';
    m_szTextW[0] = L'\0';
  }
  virtual ~CMenuItem() {}

  int m_nID;
  HBITMAP m_hBitmap;
  char m_szText[MAX_PATH];
  // The item's data: the system's menu proxy names an owner-drawn item only through such a
  // record, which points at m_szTextW, the text in UTF-16.
  MSAAMENUINFO m_msaa;
  WCHAR m_szTextW[MAX_PATH];
};
