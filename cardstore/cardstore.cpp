// The card store: validates the index file of a UTF-16 data file against the data file's
// last-write time on every query, counts the cards, finds a card's offset and loads its question
// and answer; a missing, short or stale index is built again (indexbuild.cpp).
//
// Files, all opened with no sharing and closed within the call that opened them:
//   data file   UTF-16LE text starting with FF FE, one card per line: question, TABs, answer.
//   index file  stamp low, stamp high, count N, then N card offsets (32-bit little-endian).
//   temp file   the card offsets alone, written during the scan and copied behind the
//               index header once the count is known; deleted by a successful build.
#include "cardstore/cardstore.h"

#include "cardstore/cardrules.h"
#include "cardstore/fileio.h"
#include "cardstore/storefiles.h"
#include "common/ScopedWin.h"
#include "common/text.h"

#include <string.h>

namespace {

const WCHAR kDefaultQuestion[] = L"Tollamy Ver.0.10";
const WCHAR kDefaultAnswer[] = L"Flash cards for your Today screen";

// One read of this size covers a card's two fields, a TAB run of several hundred TABs and the
// line end; a card that needs more (a long TAB run, the skipped tail of an over-long question)
// is read on in blocks of the same size.
const DWORD kCardReadBytes = 4096;

// Delivers a card's code units one by one from reads of kCardReadBytes.
class CardReader {
public:
    CardReader(CardFileOps& io, HANDLE file)
        : io_(io), file_(file), at_(0), end_(0), ended_(false) {}
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
    DWORD at_;
    DWORD end_;
    bool ended_;
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
    ScopedFile& data = keepData != NULL ? *keepData : ownData;
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
                FILETIME lastWrite = {0, 0};
                io.GetLastWriteTime(data.Get(), &lastWrite);
                if (keepData == NULL) {
                    data.Close();
                }
                FILETIME stamp = {0, 0};
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
    if (dataFilePath == NULL || !BoundedCopy(dataPath, STORE_PATH_UNITS, dataFilePath) ||
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
        FILETIME stamp = {0, 0};
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
            FILETIME lastWrite = {0, 0};
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
    return LocateCard(*this, n, NULL);
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
