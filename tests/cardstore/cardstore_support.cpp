#include "cardstore_support.h"

#include <string.h>

Bytes Utf16(const std::wstring& text) {
    Bytes bytes;
    bytes.reserve(2 * text.size());
    for (wchar_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    return bytes;
}

Bytes Deck(const std::wstring& text) {
    Bytes bytes{0xFF, 0xFE};
    Bytes body = Utf16(text);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    CloseHandle(h);
    return ok;
}

bool ReadBytes(const std::wstring& path, Bytes* bytes) {
    bytes->clear();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD size = GetFileSize(h, nullptr);
    bytes->resize(size);
    DWORD got = 0;
    BOOL ok = size == 0 || (ReadFile(h, bytes->data(), size, &got, nullptr) && got == size);
    CloseHandle(h);
    return ok;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool OpensExclusively(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

FILETIME LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool SetLastWriteTime(const std::wstring& path, const FILETIME& time) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BOOL ok = SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
    return ok;
}

bool ReadIndex(const std::wstring& path, IndexFields* index) {
    *index = IndexFields();
    Bytes bytes;
    if (!ReadBytes(path, &bytes)) {
        return false;
    }
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                     static_cast<uint32_t>(bytes[at + 3]) << 24);
    };
    if (bytes.size() < 12) {
        return true;
    }
    index->stamp.dwLowDateTime = le32(0);
    index->stamp.dwHighDateTime = le32(4);
    index->count = static_cast<int32_t>(le32(8));
    for (size_t at = 12; at + 4 <= bytes.size(); at += 4) {
        index->offsets.push_back(le32(at));
    }
    index->whole = index->count >= 0 && bytes.size() == 12 + 4 * size_t(index->count);
    return true;
}

bool EndsWith(const std::wstring& s, const std::wstring& suffix) {
    return s.size() >= suffix.size() &&
           CompareStringOrdinal(s.c_str() + s.size() - suffix.size(), -1, suffix.c_str(), -1,
                                TRUE) == CSTR_EQUAL;
}

FaultyFileOps::FaultyFileOps() : previous_(SetCardFileOps(this)) {}

FaultyFileOps::~FaultyFileOps() {
    SetCardFileOps(previous_);
}

const std::wstring* FaultyFileOps::PathOf(HANDLE file) const {
    for (const Open& o : open_) {
        if (o.handle == file) {
            return &o.path;
        }
    }
    return nullptr;
}

void FaultyFileOps::Remember(HANDLE file, const WCHAR* path) {
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    // A handle value is reused only after its file was closed.
    for (Open& o : open_) {
        if (o.handle == file) {
            o.path = path;
            return;
        }
    }
    open_.push_back({file, path});
}

HANDLE FaultyFileOps::OpenForReading(const WCHAR* path) {
    if (!failOpenSuffix.empty() && EndsWith(path, failOpenSuffix)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = CardFileOps::OpenForReading(path);
    Remember(h, path);
    return h;
}

HANDLE FaultyFileOps::CreateForWriting(const WCHAR* path) {
    if (EndsWith(path, L".idx")) {
        ++indexCreates;
    }
    HANDLE h = CardFileOps::CreateForWriting(path);
    Remember(h, path);
    return h;
}

BOOL FaultyFileOps::Read(HANDLE file, void* buffer, DWORD bytes, DWORD* got) {
    const std::wstring* path = PathOf(file);
    if (path != nullptr && EndsWith(*path, L".txt")) {
        ++dataReadCalls;
    }
    if (pieces != nullptr && bytes > 1) {
        bytes = std::min<DWORD>(bytes, 1 + (*pieces)() % maxPiece);
    }
    return CardFileOps::Read(file, buffer, bytes, got);
}

BOOL FaultyFileOps::Write(HANDLE file, const void* buffer, DWORD bytes) {
    const std::wstring* path = PathOf(file);
    if (indexRoom >= 0 && path != nullptr && EndsWith(*path, L".idx")) {
        DWORD room = static_cast<DWORD>(indexRoom);
        if (bytes > room) {
            ++writeFailures;
            if (room != 0) {
                CardFileOps::Write(file, buffer, room);
            }
            indexRoom = 0;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        indexRoom -= bytes;
    }
    return CardFileOps::Write(file, buffer, bytes);
}
