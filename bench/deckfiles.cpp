// The benchmark's decks and the timing of their file work.
#include "bench/deckfiles.h"

#include <algorithm>
#include <string>
#include <vector>

#include "cardstore/cardstore.h"
#include "common/ScopedWin.h"

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

namespace {

// Card i of the generated deck: a question of 8 to 40 letters and an answer of 4 to 24.
void CardText(uint32_t i, std::string* question, std::string* answer) {
    uint32_t x = i * 2654435761u + 12345u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    question->assign(8 + next() % 33, 'a');
    answer->assign(4 + next() % 21, 'a');
    for (char& c : *question) {
        c = static_cast<char>('a' + next() % 26);
    }
    for (char& c : *answer) {
        c = static_cast<char>('a' + next() % 26);
    }
}

} // namespace

// Writes the first `cards` generated cards to `path`: UTF-16 with CR LF, or fortune format.
bool WriteDeck(const std::wstring& path, int cards, bool fortune, uint64_t* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<uint8_t> out;
    if (!fortune) {
        out = {0xFF, 0xFE};
    }
    uint64_t total = 0;
    auto put = [&](const std::string& s) {
        for (char c : s) {
            out.push_back(static_cast<uint8_t>(c));
            if (!fortune) {
                out.push_back(0);
            }
        }
    };
    std::string q, a;
    bool ok = true;
    for (int i = 0; i < cards; ++i) {
        CardText(static_cast<uint32_t>(i), &q, &a);
        put(q);
        put("\t");
        put(a);
        put(fortune ? "\n%\n" : "\r\n");
        if (out.size() >= (1 << 20) || i + 1 == cards) {
            DWORD written = 0;
            ok = ok &&
                 WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr) &&
                 written == out.size();
            total += out.size();
            out.clear();
        }
    }
    CloseHandle(h);
    if (bytes != nullptr) {
        *bytes = total;
    }
    return ok;
}

// Writes a deck of about `bytes` bytes.
bool WriteDeckOfSize(const std::wstring& path, uint64_t bytes) {
    // About 84 bytes per card in UTF-16.
    return WriteDeck(path, static_cast<int>(bytes / 84) + 1, false, nullptr);
}

// Seconds of the best of `runs` index builds, the index removed before each.
double BestBuild(const std::wstring& deck, int runs, LONG* count) {
    CardStore store;
    store.SetPaths(deck.c_str());
    double best = 1e9;
    for (int r = 0; r < runs; ++r) {
        DeleteFileW(store.indexPath);
        double t0 = Now();
        int built = store.BuildIndex();
        double t1 = Now();
        if (!built) {
            fwprintf(stderr, L"BuildIndex failed: %ls\n", store.card.answer);
            return -1;
        }
        best = std::min(best, t1 - t0);
    }
    *count = store.GetCardCount();
    return best;
}

double BestRead(const std::wstring& path, int runs, uint64_t* bytes) {
    std::vector<uint8_t> buffer(1 << 20);
    double best = 1e9;
    for (int r = 0; r < runs; ++r) {
        double t0 = Now();
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return -1;
        }
        uint64_t total = 0;
        DWORD got = 0;
        while (ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
               got != 0) {
            total += got;
        }
        CloseHandle(h);
        best = std::min(best, Now() - t0);
        *bytes = total;
    }
    return best;
}

namespace {

// Writes `bytes` bytes from `block` (1 MiB) to `h` in whole blocks and a last partial one.
bool WriteBlocks(HANDLE h, const std::vector<uint8_t>& block, uint64_t bytes) {
    while (bytes > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(bytes, block.size()));
        DWORD written = 0;
        if (!WriteFile(h, block.data(), chunk, &written, nullptr) || written != chunk) {
            return false;
        }
        bytes -= chunk;
    }
    return true;
}

// Reads `h` to its end in 1 MiB blocks; the number of bytes read.
uint64_t ReadBlocks(HANDLE h, std::vector<uint8_t>* block) {
    uint64_t total = 0;
    DWORD got = 0;
    while (ReadFile(h, block->data(), static_cast<DWORD>(block->size()), &got, nullptr) &&
           got != 0) {
        total += got;
    }
    return total;
}

} // namespace

// The file work that any index build of the deck must do, without the scan and in 1 MiB
// blocks: read the whole deck, write one 4-byte offset per card to the temp file, read them
// back, and write the index (stamp, count, offsets); the index is removed before each run and
// the temp file deleted at the end, as a build does. Seconds of the best of `runs`, or -1.
double BestIoFloor(const std::wstring& deck, int runs, LONG cards) {
    CardStore paths;
    paths.SetPaths(deck.c_str());
    const std::wstring index = paths.indexPath;
    const std::wstring temp = deck.substr(0, deck.size() - 4) + L".tmp";
    const uint64_t offsetBytes = static_cast<uint64_t>(cards) * 4;
    std::vector<uint8_t> block(1 << 20, 0x5A);
    double best = 1e9;
    for (int r = 0; r < runs; ++r) {
        DeleteFileW(index.c_str());
        const double t0 = Now();
        ScopedFile data(CreateFileW(deck.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ScopedFile out(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!data.Valid() || !out.Valid()) {
            return -1;
        }
        const uint64_t deckBytes = ReadBlocks(data.Get(), &block);
        FILETIME stamp{};
        GetFileTime(data.Get(), nullptr, nullptr, &stamp);
        data.Close();
        const bool offsetsWritten = WriteBlocks(out.Get(), block, offsetBytes);
        out.Close();
        ScopedFile in(CreateFileW(temp.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        ScopedFile idx(CreateFileW(index.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!in.Valid() || !idx.Valid()) {
            return -1;
        }
        const uint64_t offsetsRead = ReadBlocks(in.Get(), &block);
        in.Close();
        const bool indexWritten = WriteBlocks(idx.Get(), block, 12 + offsetBytes);
        idx.Close();
        DeleteFileW(temp.c_str());
        const double t1 = Now();
        if (deckBytes == 0 || !offsetsWritten || offsetsRead != offsetBytes || !indexWritten) {
            return -1;
        }
        best = std::min(best, t1 - t0);
    }
    DeleteFileW(index.c_str());
    return best;
}
