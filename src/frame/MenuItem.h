// CMenuItem: one owner-drawn auxiliary menu item: its command, picture and text. The
// frame owns the records and their bitmaps.
#pragma once

#include <windows.h>

class CMenuItem {
public:
  CMenuItem() : m_nID(0), m_hBitmap(nullptr) { m_szText[0] = '\0'; }
  virtual ~CMenuItem() {}

  int m_nID;
  HBITMAP m_hBitmap;
  char m_szText[MAX_PATH];
};
