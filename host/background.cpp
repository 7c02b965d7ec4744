#include "host/background.h"

#include "common/ScopedWin.h"

namespace {

COLOR16 Channel(BYTE value) {
    return static_cast<COLOR16>(value << 8);
}

void FillVertex(TRIVERTEX* v, int x, int y, COLORREF color) {
    v->x = x;
    v->y = y;
    v->Red = Channel(GetRValue(color));
    v->Green = Channel(GetGValue(color));
    v->Blue = Channel(GetBValue(color));
    v->Alpha = 0;
}

// A lighter arc in the lower right corner, like the themes of the handheld.
void DrawArc(HDC dc, int width, int height) {
    ScopedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, RGB(200, 218, 243)));
    ScopedSelect selectPen(dc, pen.Get());
    ScopedSelect selectBrush(dc, GetStockObject(NULL_BRUSH));
    int cx = width * 9 / 10;
    int cy = height + height / 20;
    int radius = width * 7 / 10;
    int band = width / 24 > 1 ? width / 24 : 1;
    for (int i = 0; i < band * 3; ++i) {
        int r = radius + i;
        Ellipse(dc, cx - r, cy - r, cx + r, cy + r);
    }
}

} // namespace

bool Background::Create(int width, int height) {
    Destroy();
    {
        ScopedGetDC display(nullptr);
        dc_ = CreateCompatibleDC(display.Get());
        bitmap_ = CreateCompatibleBitmap(display.Get(), width, height);
    }
    if (dc_ == nullptr || bitmap_ == nullptr) {
        Destroy();
        return false;
    }
    oldBitmap_ = SelectObject(dc_, bitmap_);

    TRIVERTEX vertices[2];
    FillVertex(&vertices[0], 0, 0, TopColor());
    FillVertex(&vertices[1], width, height, BottomColor());
    GRADIENT_RECT gradient = {0, 1};
    GradientFill(dc_, vertices, 2, &gradient, 1, GRADIENT_FILL_RECT_V);
    DrawArc(dc_, width, height);
    return true;
}

void Background::Destroy() {
    if (dc_ != nullptr) {
        if (oldBitmap_ != nullptr) {
            SelectObject(dc_, oldBitmap_);
        }
        DeleteDC(dc_);
        dc_ = nullptr;
    }
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
        bitmap_ = nullptr;
    }
    oldBitmap_ = nullptr;
}

void Background::PaintInto(HDC target, const RECT& rect, int sourceX, int sourceY) const {
    if (dc_ == nullptr) {
        return;
    }
    BitBlt(target, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, dc_,
           sourceX, sourceY, SRCCOPY);
}
