// Conformance: the GDI calls of owner drawing give the same results on both platforms:
// object lifetimes, bitmap selection, colours and text extents.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(GdiConformance, BitmapsInMemoryContexts) {
  HDC hScreen = GetDC(nullptr);
  ASSERT_NE(nullptr, hScreen);
  HDC hMem = CreateCompatibleDC(hScreen);
  HDC hOther = CreateCompatibleDC(hScreen);
  ASSERT_NE(nullptr, hMem);
  HBITMAP hBitmap = CreateBitmap(16, 16, 1, 32, nullptr);
  ASSERT_NE(nullptr, hBitmap);

  HGDIOBJ hDefault = SelectObject(hMem, hBitmap);
  ASSERT_NE(nullptr, hDefault);
  BITMAP bm;
  ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(hDefault, sizeof(bm), &bm));
  EXPECT_EQ(1, bm.bmWidth) << "a memory context starts with a 1x1 monochrome bitmap";
  EXPECT_EQ(1, bm.bmHeight);
  EXPECT_EQ(1, bm.bmBitsPixel);
  EXPECT_EQ(nullptr, SelectObject(hOther, hBitmap)) << "selected in one context at a time";
  EXPECT_EQ(hBitmap, SelectObject(hMem, hBitmap));
  EXPECT_EQ(hBitmap, SelectObject(hMem, hDefault));
  EXPECT_TRUE(DeleteObject(hBitmap));

  HDC hInfo = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, hInfo);
  HBITMAP hSecond = CreateBitmap(8, 8, 1, 32, nullptr);
  EXPECT_EQ(nullptr, SelectObject(hInfo, hSecond)) << "an information context takes no bitmap";
  EXPECT_TRUE(DeleteDC(hInfo));
  EXPECT_TRUE(DeleteObject(hSecond));

  EXPECT_TRUE(DeleteDC(hMem));
  EXPECT_TRUE(DeleteDC(hOther));
  EXPECT_EQ(1, ReleaseDC(nullptr, hScreen));
}

TEST(GdiConformance, ColoursAndTextExtents) {
  HDC hdc = CreateCompatibleDC(nullptr);
  ASSERT_NE(nullptr, hdc);
  EXPECT_EQ(RGB(0, 0, 0), SetTextColor(hdc, RGB(1, 2, 3)));
  EXPECT_EQ(RGB(1, 2, 3), SetTextColor(hdc, RGB(4, 5, 6)));
  EXPECT_EQ(RGB(255, 255, 255), SetBkColor(hdc, RGB(7, 8, 9)));
  EXPECT_EQ(RGB(7, 8, 9), SetBkColor(hdc, RGB(255, 255, 255)));

  SIZE size = {-1, -1};
  EXPECT_TRUE(GetTextExtentPoint32A(hdc, "Tool A", 6, &size));
  EXPECT_GT(size.cx, 0);
  EXPECT_GT(size.cy, 0);
  SIZE empty = {-1, -1};
  EXPECT_TRUE(GetTextExtentPoint32A(hdc, "", 0, &empty));
  EXPECT_EQ(0, empty.cx);
  EXPECT_EQ(0, empty.cy);

  EXPECT_TRUE(DeleteDC(hdc));
}

}  // namespace
