// A 32-bit top-down DIB section: the surface for window captures and reference drawings.
// Row 0 is the top row; each pixel is one DWORD 0x00RRGGBB (blue in the lowest byte), the
// layout that BitBlt and the GDI drawing functions produce in a 32-bit BI_RGB DIB.
#pragma once

#include <windows.h>

class DibSection {
public:
    // Creates a width x height section; Valid() tells whether that worked (a size <= 0 fails).
    DibSection(int width, int height);
    ~DibSection();
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;

    bool Valid() const { return bitmap_ != NULL; }
    HBITMAP Get() const { return bitmap_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Width() * Height() pixels, row by row from the top; NULL when not Valid().
    DWORD* Bits() const { return bits_; }

private:
    int width_;
    int height_;
    HBITMAP bitmap_;
    DWORD* bits_;
};
