// The index build: one scan of the data file with the item's card scanner, the card offsets
// written to the temp file in batches, then the index file written as its header and a copy
// of the temp file's offsets.
#include "cardstore/cardstore.h"

#include "cardstore/cardrules.h"
#include "cardstore/fileio.h"
#include "cardstore/storefiles.h"
#include "common/ScopedWin.h"

namespace {

// Offsets found by the scan are written to the temp file this many at a time.
const DWORD kOffsetBatch = 4096;

// The build's buffers. They are module globals rather than locals so that a build puts
// little on the caller's stack; the store is used from one thread only.
BYTE scanBlock[SCAN_BLOCK_BYTES + 16];
BYTE offsetBatch[4 * kOffsetBatch];

// Collects card offsets and writes them to the temp file in batches.
class OffsetWriter {
public:
    OffsetWriter(CardFileOps& io, HANDLE file, BYTE* batch)
        : io_(io), file_(file), batch_(batch), used_(0), count_(0) {}
    OffsetWriter(const OffsetWriter&) = delete;
    OffsetWriter& operator=(const OffsetWriter&) = delete;

    void Add(uint32_t offset) {
        // The offsets go to the file as 32-bit little-endian values.
        StoreLe32(batch_ + 4 * static_cast<size_t>(used_), offset);
        ++count_;
        if (++used_ == kOffsetBatch) {
            Flush();
        }
    }
    void Flush() {
        if (used_ != 0) {
            // As with every write here, the result is not examined: an index left short
            // fails the next validation and is built again.
            io_.Write(file_, batch_, 4 * used_);
            used_ = 0;
        }
    }
    LONG Count() const { return count_; }

private:
    CardFileOps& io_;
    HANDLE file_;
    BYTE* batch_;
    DWORD used_;
    LONG count_;
};

} // namespace

int CardStore::BuildIndex() {
    if (indexPath[0] == 0 || dataPath[0] == 0 || SamePath(indexPath, dataPath)) {
        return 0;
    }
    CardFileOps& io = CurrentCardFileOps();
    WCHAR tempPath[STORE_PATH_UNITS];
    FILETIME stamp = {0, 0};
    LONG count = 0;
    // The scan's read buffer, and later the buffer of the copy from the temp file.
    BYTE* block = scanBlock;
    {
        ScopedFile data(io.OpenForReading(dataPath));
        if (!data.Valid()) {
            ShowError(card, kDataNotOpened);
            return 0;
        }
        BYTE mark[2];
        if (ReadUpTo(io, data.Get(), mark, 2) != 2 || mark[0] != 0xFF || mark[1] != 0xFE) {
            ShowError(card, kNotUtf16);
            data.Close();
            io.Delete(indexPath);
            return 0;
        }
        if (!ReplaceExtension(tempPath, dataPath, L".tmp") || SamePath(tempPath, dataPath)) {
            ShowError(card, kTempNotCreated);
            return 0;
        }
        ScopedFile temp(io.CreateForWriting(tempPath));
        if (!temp.Valid()) {
            ShowError(card, kTempNotCreated);
            return 0;
        }

        OffsetWriter offsets(io, temp.Get(), offsetBatch);
        offsets.Add(cardrules::kFirstCardOffset);
        cardrules::CardScanner<OffsetWriter> scanner(offsets);
        DWORD kept = 0; // 1 while block[0] holds the first half of a unit split between reads
        for (;;) {
            DWORD got = 0;
            if (!io.Read(data.Get(), block + kept, SCAN_BLOCK_BYTES, &got) || got == 0) {
                break; // the end of the file; a trailing odd byte is ignored
            }
            DWORD bytes = kept + got;
            DWORD units = bytes / 2;
            scanner.Scan(block, units);
            kept = bytes % 2;
            if (kept != 0) {
                block[0] = block[2 * static_cast<size_t>(units)];
            }
        }
        offsets.Flush();
        count = offsets.Count();
        temp.Close();
        io.GetLastWriteTime(data.Get(), &stamp);
    }

    ScopedFile index(io.CreateForWriting(indexPath));
    if (!index.Valid()) {
        ShowError(card, kIndexNotOpened);
        io.Delete(tempPath);
        return 0;
    }
    ScopedFile temp(io.OpenForReading(tempPath));
    if (!temp.Valid()) {
        ShowError(card, kTempNotOpened);
        return 0; // the index stays empty and the next validation rebuilds it
    }
    BYTE header[kHeaderBytes];
    StoreLe32(header, stamp.dwLowDateTime);
    StoreLe32(header + 4, stamp.dwHighDateTime);
    StoreLe32(header + 8, static_cast<DWORD>(count));
    io.Write(index.Get(), header, kHeaderBytes);
    // Copy the temp file's whole records behind the header.
    for (;;) {
        DWORD got = ReadUpTo(io, temp.Get(), block, SCAN_BLOCK_BYTES);
        DWORD whole = got & ~3u;
        if (whole != 0) {
            io.Write(index.Get(), block, whole);
        }
        if (got < SCAN_BLOCK_BYTES) {
            break;
        }
    }
    temp.Close();
    index.Close();
    io.Delete(tempPath);
    return 1;
}
