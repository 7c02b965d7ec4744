#include "common/text.h"

size_t BoundedLength(const WCHAR* text, size_t maxUnits) {
    size_t n = 0;
    while (n < maxUnits && text[n] != L'\0') {
        ++n;
    }
    return n;
}

int BoundedCopy(WCHAR* dst, size_t dstUnits, const WCHAR* src) {
    if (dstUnits == 0) {
        return 0;
    }
    size_t n = BoundedLength(src, dstUnits);
    if (n >= dstUnits) {
        dst[0] = L'\0';
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        dst[i] = src[i];
    }
    dst[n] = L'\0';
    return 1;
}

int BoundedAppend(WCHAR* dst, size_t dstUnits, const WCHAR* src) {
    if (dstUnits == 0) {
        return 0;
    }
    size_t used = BoundedLength(dst, dstUnits);
    if (used >= dstUnits) {
        dst[0] = L'\0';
        return 0;
    }
    size_t n = BoundedLength(src, dstUnits);
    if (used + n >= dstUnits) {
        dst[0] = L'\0';
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        dst[used + i] = src[i];
    }
    dst[used + n] = L'\0';
    return 1;
}
