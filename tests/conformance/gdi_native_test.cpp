// winsim's GDI under test control: live object counts for leak checks (the display list
// of what was drawn is read by the tray menu's tests).
#include <windows.h>

#include <gtest/gtest.h>

#include "winsim/control.h"

namespace {

TEST(GdiNative, CountsFollowTheObjectsLifetimes) {
  EXPECT_EQ(0u, winsim::LiveGdiObjects().brushes);
  HBRUSH hBrush = CreateSolidBrush(RGB(1, 2, 3));
  HDC hMem = CreateCompatibleDC(nullptr);
  HBITMAP hBitmap = CreateBitmap(16, 16, 1, 32, nullptr);
  HDC hScreen = GetDC(nullptr);
  winsim::GdiCounts counts = winsim::LiveGdiObjects();
  EXPECT_EQ(1u, counts.brushes);
  EXPECT_EQ(1u, counts.bitmaps);
  EXPECT_EQ(2u, counts.dcs);

  EXPECT_TRUE(DeleteObject(hBitmap));
  EXPECT_TRUE(DeleteDC(hMem));
  EXPECT_TRUE(DeleteObject(hBrush));
  EXPECT_EQ(1, ReleaseDC(nullptr, hScreen));
  counts = winsim::LiveGdiObjects();
  EXPECT_EQ(0u, counts.brushes + counts.bitmaps + counts.dcs);
}

}  // namespace
