// Conformance: the GDI calls of owner drawing give the same results on both platforms:
// object lifetimes, bitmap selection, GetObjectA sizes, colours and text extents.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(GdiConformance, ObjectsAreDeletedOnce) {
  HBRUSH hBrush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(nullptr, hBrush);
  EXPECT_TRUE(DeleteObject(hBrush));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DeleteObject(hBrush));
  EXPECT_EQ(0xdeadbeefu, GetLastError());
  EXPECT_FALSE(DeleteObject(nullptr));

  HDC hdc = CreateCompatibleDC(nullptr);
  ASSERT_NE(nullptr, hdc);
  EXPECT_TRUE(DeleteDC(hdc));
  EXPECT_FALSE(DeleteDC(hdc));
  EXPECT_EQ(CLR_INVALID, SetTextColor(hdc, RGB(1, 2, 3)));
}

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

  HDC hInfo = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, hInfo);
  HBITMAP hSecond = CreateBitmap(8, 8, 1, 32, nullptr);
  EXPECT_EQ(nullptr, SelectObject(hInfo, hSecond)) << "an information context takes no bitmap";
  EXPECT_EQ(nullptr, SelectObject(hScreen, hSecond)) << "neither does the screen";
  EXPECT_TRUE(DeleteDC(hInfo));

  // Deleting a selected bitmap succeeds but waits until the bitmap is put out again.
  EXPECT_TRUE(DeleteObject(hBitmap));
  ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(hBitmap, sizeof(bm), &bm));
  EXPECT_EQ(16, bm.bmWidth);
  EXPECT_EQ(hBitmap, SelectObject(hMem, hDefault));
  EXPECT_EQ(0, GetObjectA(hBitmap, sizeof(bm), &bm));
  EXPECT_FALSE(DeleteObject(hBitmap));
  EXPECT_TRUE(DeleteObject(hSecond));

  EXPECT_TRUE(DeleteDC(hMem));
  EXPECT_TRUE(DeleteDC(hOther));
  EXPECT_EQ(1, ReleaseDC(nullptr, hScreen));
}

TEST(GdiConformance, GetObjectOfBitmaps) {
  HBITMAP hMono = CreateBitmap(24, 12, 1, 1, nullptr);
  ASSERT_NE(nullptr, hMono);
  EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(hMono, 0, nullptr));

  BITMAP bm[2];
  memset(bm, 0xcc, sizeof(bm));
  EXPECT_EQ(0, GetObjectA(hMono, sizeof(BITMAP) - 1, bm));
  EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(hMono, sizeof(bm), bm));
  EXPECT_EQ(0, bm[0].bmType);
  EXPECT_EQ(24, bm[0].bmWidth);
  EXPECT_EQ(12, bm[0].bmHeight);
  EXPECT_EQ(4, bm[0].bmWidthBytes) << "rows are word-aligned";
  EXPECT_EQ(1, bm[0].bmPlanes);
  EXPECT_EQ(1, bm[0].bmBitsPixel);
  EXPECT_EQ(nullptr, bm[0].bmBits);

  EXPECT_TRUE(DeleteObject(hMono));
  EXPECT_EQ(0, GetObjectA(hMono, sizeof(BITMAP), bm));
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
