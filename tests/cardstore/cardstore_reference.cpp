#include "cardstore_reference.h"

namespace reference {
namespace {

class File {
public:
    explicit File(const WCHAR* path)
        : h_(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr)) {}
    ~File() {
        if (h_ != INVALID_HANDLE_VALUE) {
            CloseHandle(h_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }

    // Reads one unit; the number of bytes read (2, or fewer at the end of the file).
    DWORD ReadUnit(WCHAR* unit) {
        BYTE b[2] = {0, 0};
        DWORD got = 0;
        if (!ReadFile(h_, b, 2, &got, nullptr)) {
            got = 0;
        }
        *unit = static_cast<WCHAR>(b[0] | b[1] << 8);
        return got;
    }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

bool EndsField(WCHAR u) {
    return u == 9 || u == 10 || u == 13;
}

} // namespace

bool ScanOffsets(const WCHAR* dataPath, std::vector<uint32_t>* offsets) {
    offsets->clear();
    File data(dataPath);
    if (!data.Valid()) {
        return false;
    }
    BYTE mark[2];
    DWORD got = 0;
    if (!ReadFile(data.Get(), mark, 2, &got, nullptr) || got != 2 || mark[0] != 0xFF ||
        mark[1] != 0xFE) {
        return false;
    }
    offsets->push_back(2);
    uint32_t position = 2;
    for (;;) {
        WCHAR unit;
        got = data.ReadUnit(&unit);
        position += got;
        if (got < 2) {
            break;
        }
        if (unit != 10) {
            continue;
        }
        got = data.ReadUnit(&unit);
        if (got == 2) {
            offsets->push_back(position);
        }
        position += got;
    }
    return true;
}

bool ReadCard(const WCHAR* dataPath, uint32_t offset, std::wstring* question,
              std::wstring* answer) {
    question->clear();
    answer->clear();
    File data(dataPath);
    if (!data.Valid()) {
        return false;
    }
    LONG high = 0;
    SetFilePointer(data.Get(), static_cast<LONG>(offset), &high, FILE_BEGIN);
    WCHAR unit;
    DWORD got = data.ReadUnit(&unit);
    while (got == 2 && !EndsField(unit)) {
        if (question->size() < 511) {
            question->push_back(unit);
        }
        got = data.ReadUnit(&unit);
    }
    while (got == 2 && unit == 9) {
        got = data.ReadUnit(&unit);
    }
    while (got == 2 && !EndsField(unit) && answer->size() < 511) {
        answer->push_back(unit);
        got = data.ReadUnit(&unit);
    }
    // What the card shows: each text up to its first NUL.
    question->resize(question->find(L'\0') == std::wstring::npos ? question->size()
                                                                 : question->find(L'\0'));
    answer->resize(answer->find(L'\0') == std::wstring::npos ? answer->size()
                                                             : answer->find(L'\0'));
    return true;
}

} // namespace reference
