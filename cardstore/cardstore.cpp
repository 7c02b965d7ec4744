// The card store: builds the index file of a UTF-16 data file, validates it against the data
// file's last-write time on every query, and loads one card's question and answer.
//
// Files, all opened with no sharing and closed within the call that opened them:
//   data file   UTF-16LE text starting with FF FE, one card per line: question, TABs, answer.
//   index file  stamp low, stamp high, count N, then N card offsets (32-bit little-endian).
//   temp file   the card offsets alone, written during the scan and copied behind the
//               index header once the count is known; deleted by a successful build.
#include "cardstore/cardstore.h"

#include "cardstore/cardrules.h"
#include "cardstore/fileio.h"
#include "common/ScopedWin.h"
#include "common/text.h"

#include <string.h>

namespace {

const WCHAR kDefaultQuestion[] = L"Tollamy Ver.0.10";
const WCHAR kDefaultAnswer[] = L"Flash cards for your Today screen";

const WCHAR kErrorQuestion[] = L"error";
const WCHAR kDataNotOpened[] = L"data file could not be opened";
const WCHAR kOutOfIndex[] = L"out of index";
const WCHAR kNotUtf16[] = L"data file is not UTF-16 encodeing.";
const WCHAR kTempNotCreated[] = L"temp file could not be created";
const WCHAR kIndexNotOpened[] = L"index file could not be opened";
const WCHAR kTempNotOpened[] = L"temp file could not be opened";

const DWORD kHeaderBytes = 12; // stamp low, stamp high, count

// Offsets found by the scan are written to the temp file this many at a time.
const DWORD kOffsetBatch = 4096;
// One read of this size covers a card's two fields, a TAB run of several hundred TABs and the
// line end; a card that needs more (a long TAB run, the skipped tail of an over-long question)
// is read on in blocks of the same size.
const DWORD kCardReadBytes = 4096;

void ShowError(Card& card, const WCHAR* message) {
    BoundedCopy(card.question, CARD_TEXT_UNITS, kErrorQuestion);
    BoundedCopy(card.answer, CARD_TEXT_UNITS, message);
}

// Reads until `bytes` bytes have come or the file ends. Returns the number of bytes read.
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

// Forms `path` with everything from its last "." onwards replaced by `extension`.
// 0 when the path has no "." or the result does not fit; `out` is then empty.
int ReplaceExtension(WCHAR* out, const WCHAR* path, const WCHAR* extension) {
    if (!BoundedCopy(out, STORE_PATH_UNITS, path)) {
        return 0;
    }
    WCHAR* dot = nullptr;
    for (WCHAR* p = out; *p != 0; ++p) {
        if (*p == L'.') {
            dot = p;
        } else if (*p == L'\\' || *p == L'/') {
            dot = nullptr; // only a "." in the last path component counts
        }
    }
    if (dot == nullptr) {
        out[0] = 0;
        return 0;
    }
    *dot = 0;
    return BoundedAppend(out, STORE_PATH_UNITS, extension);
}

bool SamePath(const WCHAR* a, const WCHAR* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The build's buffers. They are module globals rather than locals so that a build puts
// little on the caller's stack; the store is used from one thread only.
alignas(16) BYTE scanBlock[SCAN_BLOCK_BYTES + 16];
DWORD offsetBatch[kOffsetBatch];

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "offsets are written in machine order");

// Collects card offsets and writes them to the temp file in batches.
class OffsetWriter {
public:
    OffsetWriter(CardFileOps& io, HANDLE file, DWORD* batch)
        : io_(io), file_(file), batch_(batch) {}
    OffsetWriter(const OffsetWriter&) = delete;
    OffsetWriter& operator=(const OffsetWriter&) = delete;

    void Add(uint32_t offset) {
        // The offsets go to the file as 32-bit little-endian values, the machine's own order.
        batch_[used_] = offset;
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
    DWORD* batch_;
    DWORD used_ = 0;
    LONG count_ = 0;
};

// Delivers a card's code units one by one from reads of kCardReadBytes.
class CardReader {
public:
    CardReader(CardFileOps& io, HANDLE file) : io_(io), file_(file) {}
    CardReader(const CardReader&) = delete;
    CardReader& operator=(const CardReader&) = delete;

    // The next unit in *unit; false at the end of the file (a trailing odd byte is ignored).
    bool Next(WCHAR* unit) {
        if (end_ - at_ < 2 && !Refill()) {
            return false;
        }
        *unit = static_cast<WCHAR>(buffer_[at_] | buffer_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }

private:
    bool Refill() {
        if (ended_) {
            return false;
        }
        DWORD kept = end_ - at_; // 0, or the first byte of a unit split between two reads
        if (kept != 0) {
            buffer_[0] = buffer_[at_];
        }
        at_ = 0;
        end_ = kept;
        while (end_ < 2) {
            DWORD got = 0;
            if (!io_.Read(file_, buffer_ + end_, kCardReadBytes, &got) || got == 0) {
                ended_ = true;
                return false;
            }
            end_ += got;
        }
        return true;
    }

    CardFileOps& io_;
    HANDLE file_;
    BYTE buffer_[kCardReadBytes + 1];
    DWORD at_ = 0;
    DWORD end_ = 0;
    bool ended_ = false;
};

// Copies a NUL-terminated field of at most 511 units into a card buffer.
void CopyField(WCHAR* to, const uint16_t* from) {
    size_t i = 0;
    for (; i < cardrules::kFieldUnits && from[i] != 0; ++i) {
        to[i] = static_cast<WCHAR>(from[i]);
    }
    to[i] = 0;
}

// Reads the 8-byte stamp and the 4-byte count at the start of an open index file.
bool ReadIndexHeader(CardFileOps& io, HANDLE index, FILETIME* stamp, LONG* count) {
    BYTE header[kHeaderBytes];
    if (ReadUpTo(io, index, header, 8) != 8) {
        return false;
    }
    stamp->dwLowDateTime = LoadLe32(header);
    stamp->dwHighDateTime = LoadLe32(header + 4);
    if (ReadUpTo(io, index, header + 8, 4) != 4) {
        return false;
    }
    *count = static_cast<LONG>(LoadLe32(header + 8));
    return true;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwHighDateTime == b.dwHighDateTime && a.dwLowDateTime == b.dwLowDateTime;
}

// The lookup behind GetCardOffset: validates the index against the data file's last-write
// time, rebuilding a missing, short or stale index once, and returns the byte offset of card
// n or -1. With keepData, the data file stays open in *keepData when the offset is found, so
// that the card is read through the same open that was checked; on every failure it is
// closed.
LONG LocateCard(CardStore& store, LONG n, ScopedFile* keepData) {
    CardFileOps& io = CurrentCardFileOps();
    ScopedFile ownData;
    ScopedFile& data = keepData != nullptr ? *keepData : ownData;
    for (int pass = 0;; ++pass) {
        if (store.indexPath[0] == 0 || store.dataPath[0] == 0) {
            return -1;
        }
        {
            ScopedFile index(io.OpenForReading(store.indexPath));
            if (index.Valid()) {
                data.Reset(io.OpenForReading(store.dataPath));
                if (!data.Valid()) {
                    ShowError(store.card, kDataNotOpened);
                    return -1;
                }
                FILETIME lastWrite{};
                io.GetLastWriteTime(data.Get(), &lastWrite);
                if (keepData == nullptr) {
                    data.Close();
                }
                FILETIME stamp{};
                LONG count = 0;
                if (ReadIndexHeader(io, index.Get(), &stamp, &count) &&
                    SameTime(stamp, lastWrite)) {
                    if (n < 0 || n >= count) {
                        data.Close();
                        ShowError(store.card, kOutOfIndex);
                        return -1;
                    }
                    BYTE entry[4];
                    if (!io.SeekFromStart(index.Get(), (static_cast<DWORD>(n) + 3) * 4) ||
                        ReadUpTo(io, index.Get(), entry, 4) != 4) {
                        data.Close();
                        return -1;
                    }
                    return static_cast<LONG>(LoadLe32(entry));
                }
                data.Close();
            }
        }
        // Missing, short or stale: rebuild once per call.
        if (pass == 1 || !store.BuildIndex()) {
            return -1;
        }
    }
}

} // namespace

Card::Card() {
    BoundedCopy(question, CARD_TEXT_UNITS, kDefaultQuestion);
    BoundedCopy(answer, CARD_TEXT_UNITS, kDefaultAnswer);
}

Card::~Card() {}

CardStore::CardStore() {
    dataPath[0] = indexPath[0] = 0;
}

CardStore::~CardStore() {}

void CardStore::SetPaths(const WCHAR* dataFilePath) {
    // A path that does not fit, has no "." in its last component, or whose index or temp path
    // would be the data file itself leaves the store without paths: the store must never
    // create, truncate or delete the data file.
    WCHAR index[STORE_PATH_UNITS];
    WCHAR temp[STORE_PATH_UNITS];
    if (dataFilePath == nullptr || !BoundedCopy(dataPath, STORE_PATH_UNITS, dataFilePath) ||
        !ReplaceExtension(index, dataPath, L".idx") || !ReplaceExtension(temp, dataPath, L".tmp") ||
        SamePath(index, dataPath) || SamePath(temp, dataPath)) {
        dataPath[0] = indexPath[0] = 0;
        return;
    }
    BoundedCopy(indexPath, STORE_PATH_UNITS, index);
}

LONG CardStore::GetCardCount() {
    CardFileOps& io = CurrentCardFileOps();
    for (int pass = 0;; ++pass) {
        if (indexPath[0] == 0 || dataPath[0] == 0) {
            return -1;
        }
        FILETIME stamp{};
        LONG count = 0;
        bool headerRead;
        {
            ScopedFile index(io.OpenForReading(indexPath));
            headerRead = index.Valid() && ReadIndexHeader(io, index.Get(), &stamp, &count);
        }
        if (headerRead) {
            ScopedFile data(io.OpenForReading(dataPath));
            if (!data.Valid()) {
                ShowError(card, kDataNotOpened);
                return -1;
            }
            FILETIME lastWrite{};
            io.GetLastWriteTime(data.Get(), &lastWrite);
            data.Close();
            if (SameTime(stamp, lastWrite)) {
                return count;
            }
        }
        // Missing, short or stale: rebuild once per call.
        if (pass == 1 || !BuildIndex()) {
            return -1;
        }
    }
}

LONG CardStore::GetCardOffset(LONG n) {
    return LocateCard(*this, n, nullptr);
}

Card& CardStore::LoadCard(LONG n) {
    CardFileOps& io = CurrentCardFileOps();
    ScopedFile data;
    LONG offset = LocateCard(*this, n, &data);
    if (offset == -1) {
        data.Close();
        if (!BuildIndex()) {
            return card;
        }
        offset = LocateCard(*this, n, &data);
        if (offset == -1) {
            return card;
        }
    }
    // The card is read through the open whose last-write time matched the index's stamp.
    io.SeekFromStart(data.Get(), static_cast<DWORD>(offset));
    CardReader reader(io, data.Get());
    uint16_t question[CARD_TEXT_UNITS];
    uint16_t answer[CARD_TEXT_UNITS];
    cardrules::CardFieldReader fields(question, answer);
    WCHAR unit = 0;
    bool have;
    while ((have = reader.Next(&unit)) && fields.Feed(static_cast<uint16_t>(unit))) {
    }
    if (!have) {
        fields.End();
    }
    CopyField(card.question, question);
    CopyField(card.answer, answer);
    return card;
}

int CardStore::BuildIndex() {
    if (indexPath[0] == 0 || dataPath[0] == 0 || SamePath(indexPath, dataPath)) {
        return 0;
    }
    CardFileOps& io = CurrentCardFileOps();
    WCHAR tempPath[STORE_PATH_UNITS];
    FILETIME stamp{};
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
