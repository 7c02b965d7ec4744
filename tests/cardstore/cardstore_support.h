// Helpers of the card-store tests: a private temporary folder, deck bytes, the index file's
// fields, and file operations that inject faults around the real ones.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <random>
#include <string>
#include <vector>

#include "cardstore/fileio.h"
#include "support/tempfolder.h"

using Bytes = std::vector<uint8_t>;

// FF FE followed by the text as UTF-16LE.
Bytes Deck(const std::wstring& text);
// The text as UTF-16LE, with no mark.
Bytes Utf16(const std::wstring& text);

bool WriteBytes(const std::wstring& path, const Bytes& bytes);
bool ReadBytes(const std::wstring& path, Bytes* bytes);
bool Exists(const std::wstring& path);
// Opens the file for reading and writing with no sharing: fails while any handle is open.
bool OpensExclusively(const std::wstring& path);
FILETIME LastWriteTime(const std::wstring& path);
bool SetLastWriteTime(const std::wstring& path, const FILETIME& time);

struct IndexFields {
    bool whole = false; // exactly 12 + 4·count bytes
    FILETIME stamp{};
    int32_t count = 0;
    std::vector<uint32_t> offsets;
};
bool ReadIndex(const std::wstring& path, IndexFields* index);

// The real file operations with faults on top, put in place for its lifetime.
class FaultyFileOps : public CardFileOps {
public:
    FaultyFileOps();
    ~FaultyFileOps() override;
    FaultyFileOps(const FaultyFileOps&) = delete;
    FaultyFileOps& operator=(const FaultyFileOps&) = delete;

    HANDLE OpenForReading(const WCHAR* path) override;
    HANDLE CreateForWriting(const WCHAR* path) override;
    BOOL Read(HANDLE file, void* buffer, DWORD bytes, DWORD* got) override;
    BOOL Write(HANDLE file, const void* buffer, DWORD bytes) override;

    // Opens for reading of paths ending in this fail (empty: none).
    std::wstring failOpenSuffix;
    // Bytes that writes to files ending in ".idx" may still add before storage is full
    // (-1: no limit).
    long indexRoom = -1;
    // When set, every read brings a random 1 … maxPiece bytes (at most what was asked), so
    // that the reader sees its file in pieces with boundaries everywhere.
    std::mt19937* pieces = nullptr;
    DWORD maxPiece = 7;

    int indexCreates = 0;  // CreateForWriting of ".idx" paths
    int dataReadCalls = 0; // Read calls on ".txt" handles
    int writeFailures = 0;

private:
    struct Open {
        HANDLE handle;
        std::wstring path;
    };
    const std::wstring* PathOf(HANDLE file) const;
    // Records which path a newly opened handle belongs to.
    void Remember(HANDLE file, const WCHAR* path);
    std::vector<Open> open_;
    CardFileOps* previous_;
};

bool EndsWith(const std::wstring& s, const std::wstring& suffix);
