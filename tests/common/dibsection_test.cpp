// The capture surface: GDI drawing lands at row * width + column, row 0 on top, as
// 0x00RRGGBB; the bitmap is gone once the owner is.
#include <gtest/gtest.h>

#include "common/ScopedWin.h"
#include "common/dibsection.h"

namespace {

void FillWith(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    RECT r = {left, top, right, bottom};
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(color));
    FillRect(dc, &r, brush.Get());
}

TEST(DibSection, GdiDrawingLandsTopDownAsRgbWords) {
    const int width = 7;
    const int height = 5;
    DibSection dib(width, height);
    ASSERT_TRUE(dib.Valid());
    ASSERT_NE(nullptr, dib.Bits());
    EXPECT_EQ(width, dib.Width());
    EXPECT_EQ(height, dib.Height());
    BITMAP info = {};
    ASSERT_EQ(static_cast<int>(sizeof(info)), GetObjectW(dib.Get(), sizeof(info), &info));
    EXPECT_EQ(32, info.bmBitsPixel);
    EXPECT_EQ(width * 4, info.bmWidthBytes);
    EXPECT_EQ(dib.Bits(), info.bmBits);

    ScopedMemoryDC dc(nullptr);
    ASSERT_NE(nullptr, dc.Get());
    {
        ScopedSelect select(dc.Get(), dib.Get());
        FillWith(dc.Get(), 0, 0, width, height, RGB(0, 0, 0));
        FillWith(dc.Get(), 0, 0, width, 1, RGB(10, 20, 30));            // the top row
        FillWith(dc.Get(), 3, 2, 4, 3, RGB(200, 100, 50));              // one pixel at (3, 2)
        FillWith(dc.Get(), 0, height - 1, width, height, RGB(1, 2, 3)); // the bottom row
        GdiFlush();
    }
    const DWORD* p = dib.Bits();
    for (int x = 0; x < width; ++x) {
        EXPECT_EQ(0x000A141Eu, p[x]) << x;
        EXPECT_EQ(0x00010203u, p[(height - 1) * width + x]) << x;
    }
    EXPECT_EQ(0x00C86432u, p[2 * width + 3]);
    EXPECT_EQ(0u, p[2 * width + 2]);
    EXPECT_EQ(0u, p[2 * width + 4]);
    EXPECT_EQ(0u, p[1 * width + 3]);
    EXPECT_EQ(0u, p[3 * width + 3]);
}

TEST(DibSection, EmptyOrNegativeSizesGiveNoBitmap) {
    const int sizes[][2] = {{0, 4}, {4, 0}, {-3, 4}, {4, -3}};
    for (const auto& size : sizes) {
        DibSection dib(size[0], size[1]);
        EXPECT_FALSE(dib.Valid()) << size[0] << " x " << size[1];
        EXPECT_EQ(nullptr, dib.Bits()) << size[0] << " x " << size[1];
    }
}

TEST(DibSection, TheBitmapIsDeletedWithItsOwner) {
    HBITMAP handle = nullptr;
    {
        DibSection dib(16, 16);
        ASSERT_TRUE(dib.Valid());
        handle = dib.Get();
        EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(handle));
    }
    EXPECT_EQ(0u, GetObjectType(handle));
}

} // namespace
