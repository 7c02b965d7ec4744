// The Today screen's background image: a vertical gradient with a soft arc in the lower part,
// drawn once into a memory bitmap of the screen's size. The host paints its own rows over it
// and copies parts of it into items that ask for the watermark.
#pragma once

#include <windows.h>

class Background {
public:
    Background() = default;
    ~Background() { Destroy(); }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Draws the image for a screen of width x height pixels. False if GDI refused.
    bool Create(int width, int height);
    void Destroy();

    // Copies the part of the image at (sourceX, sourceY) into target at rect.
    void PaintInto(HDC target, const RECT& rect, int sourceX, int sourceY) const;

    // The gradient's colours at the top and the bottom of the screen.
    static COLORREF TopColor() { return RGB(250, 251, 255); }
    static COLORREF BottomColor() { return RGB(118, 160, 222); }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
};
