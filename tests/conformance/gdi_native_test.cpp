// winsim's GDI under test control: live object counts for leak checks, and the display
// list of what was drawn.
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

  // A selected bitmap deleted early lives on until its context lets it go.
  HGDIOBJ hOld = SelectObject(hMem, hBitmap);
  EXPECT_TRUE(DeleteObject(hBitmap));
  EXPECT_EQ(1u, winsim::LiveGdiObjects().bitmaps);
  EXPECT_TRUE(DeleteDC(hMem));
  EXPECT_EQ(0u, winsim::LiveGdiObjects().bitmaps);
  EXPECT_NE(nullptr, hOld);
  EXPECT_TRUE(DeleteObject(hBrush));
  EXPECT_EQ(1, ReleaseDC(nullptr, hScreen));
  counts = winsim::LiveGdiObjects();
  EXPECT_EQ(0u, counts.brushes + counts.bitmaps + counts.dcs);
}

TEST(GdiNative, DisplayListRecordsTheDrawing) {
  HDC hdc = GetDC(nullptr);
  HDC hMem = CreateCompatibleDC(hdc);
  HBITMAP hBitmap = CreateBitmap(16, 16, 1, 32, nullptr);
  HGDIOBJ hOld = SelectObject(hMem, hBitmap);
  HBRUSH hBrush = CreateSolidBrush(RGB(10, 20, 30));
  RECT rc = {0, 0, 100, 19};
  FillRect(hdc, &rc, hBrush);
  BitBlt(hdc, 4, 1, 16, 16, hMem, 0, 0, SRCCOPY);
  SetTextColor(hdc, RGB(1, 1, 1));
  SetBkColor(hdc, RGB(2, 2, 2));
  SIZE size;
  GetTextExtentPoint32A(hdc, "A&B", 3, &size);
  EXPECT_EQ(3 * winsim::kCharWidth, size.cx);
  EXPECT_EQ(winsim::kCharHeight, size.cy);
  TextOutA(hdc, 30, 1, "A&B", 3);
  SelectObject(hMem, hOld);
  DeleteObject(hBitmap);
  DeleteObject(hBrush);
  DeleteDC(hMem);
  ReleaseDC(nullptr, hdc);

  auto ops = winsim::DisplayList(hdc);
  ASSERT_EQ(3u, ops.size()) << "kept after the context is released";
  EXPECT_EQ(winsim::DrawOp::Kind::FillRect, ops[0].kind);
  EXPECT_EQ(RGB(10, 20, 30), ops[0].color);
  EXPECT_EQ(19, ops[0].rect.bottom);
  EXPECT_EQ(winsim::DrawOp::Kind::BitBlt, ops[1].kind);
  EXPECT_EQ(hBitmap, ops[1].bitmap);
  EXPECT_EQ(4, ops[1].rect.left);
  EXPECT_EQ(17, ops[1].rect.bottom);
  EXPECT_EQ(static_cast<DWORD>(SRCCOPY), ops[1].rop);
  EXPECT_EQ(winsim::DrawOp::Kind::TextOut, ops[2].kind);
  EXPECT_EQ("A&B", ops[2].text);
  EXPECT_EQ(RGB(1, 1, 1), ops[2].color);
  EXPECT_EQ(RGB(2, 2, 2), ops[2].bkColor);
  EXPECT_TRUE(winsim::DisplayList(hMem).empty());
}

}  // namespace
