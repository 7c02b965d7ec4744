#include "common/dibsection.h"

DibSection::DibSection(int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // negative: top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ != nullptr) {
        bits_ = static_cast<DWORD*>(bits);
    }
}

DibSection::~DibSection() {
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
}
