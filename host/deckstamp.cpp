#include "host/deckstamp.h"

bool SameDeckStamp(const DeckStamp& a, const DeckStamp& b) {
    return a.present == b.present && CompareFileTime(&a.written, &b.written) == 0 &&
           a.size == b.size;
}

std::wstring DataFileOf(const std::wstring& modulePath) {
    // The item's own rule: everything from the last '.' of its path becomes ".txt"; a path
    // without one gives the item no data file.
    const size_t dot = modulePath.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : modulePath.substr(0, dot) + L".txt";
}

DeckStamp ReadDeckStamp(const std::wstring& dataFile) {
    DeckStamp stamp;
    if (dataFile.empty()) {
        return stamp;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(dataFile.c_str(), GetFileExInfoStandard, &data)) {
        stamp.present = true;
        stamp.written = data.ftLastWriteTime;
        stamp.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return stamp;
}
