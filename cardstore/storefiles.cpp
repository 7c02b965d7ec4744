// The card store's shared pieces: paths, reads, the index's numbers and the card-error texts.
#include "cardstore/storefiles.h"

#include "common/platform.h"
#include "common/text.h"

namespace {

const WCHAR kErrorQuestion[] = L"error";

} // namespace

const WCHAR kDataNotOpened[] = L"data file could not be opened";
const WCHAR kOutOfIndex[] = L"out of index";
const WCHAR kNotUtf16[] = L"data file is not UTF-16 encodeing.";
const WCHAR kTempNotCreated[] = L"temp file could not be created";
const WCHAR kIndexNotOpened[] = L"index file could not be opened";
const WCHAR kTempNotOpened[] = L"temp file could not be opened";

void ShowError(Card& card, const WCHAR* message) {
    BoundedCopy(card.question, CARD_TEXT_UNITS, kErrorQuestion);
    BoundedCopy(card.answer, CARD_TEXT_UNITS, message);
}

DWORD ReadUpTo(CardFileOps& io, HANDLE file, void* buffer, DWORD bytes) {
    BYTE* at = static_cast<BYTE*>(buffer);
    DWORD total = 0;
    while (total < bytes) {
        DWORD got = 0;
        if (!io.Read(file, at + total, bytes - total, &got) || got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

DWORD LoadLe32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

void StoreLe32(BYTE* p, DWORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
    p[3] = static_cast<BYTE>(v >> 24);
}

int ReplaceExtension(WCHAR* out, const WCHAR* path, const WCHAR* extension) {
    if (!BoundedCopy(out, STORE_PATH_UNITS, path)) {
        return 0;
    }
    WCHAR* dot = NULL;
    for (WCHAR* p = out; *p != 0; ++p) {
        if (*p == L'.') {
            dot = p;
        } else if (*p == L'\\' || *p == L'/') {
            dot = NULL; // only a "." in the last path component counts
        }
    }
    if (dot == NULL) {
        out[0] = 0;
        return 0;
    }
    *dot = 0;
    return BoundedAppend(out, STORE_PATH_UNITS, extension);
}

bool SamePath(const WCHAR* a, const WCHAR* b) {
    return OrdinalEqualIgnoringCase(a, b);
}
