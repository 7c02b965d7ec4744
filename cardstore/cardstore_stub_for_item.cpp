// STUB for the item branch; removed at merge
// A small in-memory stand-in for the card store operations, so that the item's tests can run
// against real decks before the real store arrives. It writes no index file.
#include "cardstore/cardstore.h"
#include "common/text.h"
#include <vector>

namespace {

void SetError(Card& card, const WCHAR* message) {
    BoundedCopy(card.question, CARD_TEXT_UNITS, L"error");
    BoundedCopy(card.answer, CARD_TEXT_UNITS, message);
}

// Reads the whole data file as code units after the mark. 0 when it cannot be read.
int ReadDeck(const WCHAR* path, std::vector<WCHAR>& units) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD size = GetFileSize(file, nullptr);
    std::vector<BYTE> bytes(size);
    DWORD got = 0;
    if (size != 0) {
        ReadFile(file, bytes.data(), size, &got, nullptr);
    }
    CloseHandle(file);
    if (got < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        return -1;
    }
    units.assign(reinterpret_cast<WCHAR*>(bytes.data() + 2),
                 reinterpret_cast<WCHAR*>(bytes.data() + 2) + (got - 2) / 2);
    return 1;
}

// Start unit of every card: card 0 at 0, then the unit after each LF that is not the last.
std::vector<size_t> CardStarts(const std::vector<WCHAR>& units) {
    std::vector<size_t> starts(1, 0);
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] == L'\n' && i + 1 < units.size()) {
            starts.push_back(i + 1);
            ++i;
        }
    }
    return starts;
}

size_t ReadField(const std::vector<WCHAR>& units, size_t at, WCHAR* out) {
    size_t n = 0;
    while (at < units.size() && units[at] != L'\t' && units[at] != L'\r' && units[at] != L'\n' &&
           n < CARD_TEXT_UNITS - 1) {
        out[n++] = units[at++];
    }
    out[n] = 0;
    return at;
}

} // namespace

void CardStore::SetPaths(const WCHAR* path) {
    BoundedCopy(dataPath, STORE_PATH_UNITS, path);
    BoundedCopy(indexPath, STORE_PATH_UNITS, path);
    WCHAR* dot = nullptr;
    for (WCHAR* p = indexPath; *p != 0; ++p) {
        if (*p == L'.') {
            dot = p;
        }
    }
    if (dot != nullptr) {
        *dot = 0;
        BoundedAppend(indexPath, STORE_PATH_UNITS, L".idx");
    }
}

LONG CardStore::GetCardCount() {
    if (dataPath[0] == 0 || indexPath[0] == 0) {
        return -1;
    }
    std::vector<WCHAR> units;
    int read = ReadDeck(dataPath, units);
    if (read == 0) {
        SetError(card, L"data file could not be opened");
        return -1;
    }
    if (read < 0) {
        SetError(card, L"data file is not UTF-16 encodeing.");
        return -1;
    }
    return static_cast<LONG>(CardStarts(units).size());
}

LONG CardStore::GetCardOffset(LONG n) {
    if (dataPath[0] == 0 || indexPath[0] == 0) {
        return -1;
    }
    std::vector<WCHAR> units;
    if (ReadDeck(dataPath, units) <= 0) {
        return -1;
    }
    std::vector<size_t> starts = CardStarts(units);
    if (n < 0 || static_cast<size_t>(n) >= starts.size()) {
        SetError(card, L"out of index");
        return -1;
    }
    return static_cast<LONG>(2 + 2 * starts[n]);
}

Card& CardStore::LoadCard(LONG n) {
    LONG offset = GetCardOffset(n);
    if (offset < 0) {
        return card;
    }
    std::vector<WCHAR> units;
    if (ReadDeck(dataPath, units) <= 0) {
        return card;
    }
    size_t at = ReadField(units, (offset - 2) / 2, card.question);
    while (at < units.size() && units[at] == L'\t') {
        ++at;
    }
    ReadField(units, at, card.answer);
    return card;
}

int CardStore::BuildIndex() {
    return 0;
}
