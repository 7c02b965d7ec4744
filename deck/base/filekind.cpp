// The kinds of file that are not text, by their first bytes.
#include "deck/base/filekind.h"

#include <string.h>

namespace deck {

namespace {

constexpr std::string_view kSqlite{"SQLite format 3\0", 16};

} // namespace

bool IsSqliteHead(std::string_view head) {
    return head.substr(0, kSqlite.size()) == kSqlite;
}

bool IsZipHead(std::string_view head) {
    return head.size() >= 4 && head.substr(0, 2) == "PK" &&
           ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
}

const char* NotTextKind(const uint8_t* bytes, size_t size) {
    static const struct {
        const char* magic;
        size_t length;
        const char* kind;
    } kMagic[] = {
        {"PK\x03\x04", 4, "a ZIP archive"},
        {"PK\x05\x06", 4, "a ZIP archive"},
        {"\x89PNG", 4, "a PNG image"},
        {"\xFF\xD8\xFF", 3, "a JPEG image"},
        {"GIF8", 4, "a GIF image"},
        {"%PDF", 4, "a PDF document"},
        {"\x1F\x8B", 2, "a gzip archive"},
        {"SQLite format 3", 16, "an SQLite database"},
        {"\x7F"
         "ELF",
         4, "a program"},
        {"\x28\xB5\x2F\xFD", 4, "a Zstandard archive"},
        {"BZh", 3, "a bzip2 archive"},
        {"\xFD"
         "7zXZ",
         5, "an xz archive"},
        {"7z\xBC\xAF", 4, "a 7-Zip archive"},
        {"RIFF", 4, "a RIFF file (audio or video)"},
        {"ID3", 3, "an MP3 file"},
        {"OggS", 4, "an Ogg file"},
    };
    for (const auto& m : kMagic) {
        if (size >= m.length && memcmp(bytes, m.magic, m.length) == 0) {
            return m.kind;
        }
    }
    // UTF-16 without a mark: text whose every other byte is mostly NUL.
    size_t nulEven = 0, nulOdd = 0;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == 0) {
            ++(i % 2 == 0 ? nulEven : nulOdd);
        }
    }
    if (size >= 8 && nulOdd * 10 > size / 2 * 7 && nulEven * 10 < size / 2) {
        return "UTF-16LE text without a byte-order mark: use --encoding UTF-16LE";
    }
    if (size >= 8 && nulEven * 10 > size / 2 * 7 && nulOdd * 10 < size / 2) {
        return "UTF-16BE text without a byte-order mark: use --encoding UTF-16BE";
    }
    size_t controls = 0;
    for (size_t i = 0; i < size; ++i) {
        uint8_t c = bytes[i];
        if (c == 0) {
            return "a binary file";
        }
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' &&
            c != 0x1B) {
            ++controls;
        }
    }
    if (controls * 100 > size) {
        return "a binary file";
    }
    return nullptr;
}

} // namespace deck
