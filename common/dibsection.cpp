#include "common/dibsection.h"

DibSection::DibSection(int width, int height)
    : width_(width), height_(height), bitmap_(NULL), bits_(NULL) {
    if (width <= 0 || height <= 0) {
        return;
    }
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // negative: top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    bitmap_ = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (bitmap_ != NULL) {
        bits_ = static_cast<DWORD*>(bits);
    }
}

DibSection::~DibSection() {
    if (bitmap_ != NULL) {
        DeleteObject(bitmap_);
    }
}
