// The valid part of a write-ahead log, found as SQLite's recovery finds it
// (https://www.sqlite.org/fileformat2.html#walformat).
#include "deck/anki/wal.h"

#include "deck/base/files.h"

#include <algorithm>
#include <vector>

namespace deck::anki {

namespace {

constexpr int64_t kHeaderBytes = 32;
constexpr int64_t kFrameHeaderBytes = 24;
// The magic number; its lowest bit tells the byte order of the checksums' words.
constexpr uint32_t kMagic = 0x377f0682;
constexpr uint32_t kVersion = 3007000;

uint32_t BigEndian(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint32_t LittleEndian(const unsigned char* p) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[1]) << 8 | p[0];
}

// SQLite's checksum over `size` bytes (a multiple of 8), carried on in sum[2].
void Checksum(const unsigned char* data, size_t size, bool big, uint32_t sum[2]) {
    for (size_t i = 0; i + 8 <= size; i += 8) {
        sum[0] += (big ? BigEndian(data + i) : LittleEndian(data + i)) + sum[1];
        sum[1] += (big ? BigEndian(data + i + 4) : LittleEndian(data + i + 4)) + sum[0];
    }
}

bool SameSum(const unsigned char* stored, const uint32_t sum[2]) {
    return BigEndian(stored) == sum[0] && BigEndian(stored + 4) == sum[1];
}

} // namespace

bool ReadWalExtent(int fd, int64_t limit, WalExtent* extent) {
    *extent = WalExtent();
    unsigned char header[kHeaderBytes];
    const ssize_t got = ReadAt(fd, header, sizeof header, 0);
    if (got < 0) {
        return false;
    }
    const uint32_t magic = BigEndian(header);
    const uint32_t page = BigEndian(header + 8);
    if (got < kHeaderBytes || (magic & ~1u) != kMagic || BigEndian(header + 4) != kVersion ||
        page < 512 || page > 65536 || (page & (page - 1)) != 0) {
        return true;
    }
    const bool big = (magic & 1) != 0;
    uint32_t sum[2] = {0, 0};
    Checksum(header, 24, big, sum);
    if (!SameSum(header + 24, sum)) {
        return true;
    }
    const int64_t frame_bytes = kFrameHeaderBytes + page;
    std::vector<unsigned char> frame(static_cast<size_t>(frame_bytes));
    int64_t frames = 0;
    for (int64_t at = kHeaderBytes;; at += frame_bytes) {
        if (at + frame_bytes > limit) {
            // Past the limit: whether the log goes on is all that matters.
            extent->over = ReadAt(fd, frame.data(), kFrameHeaderBytes, at) == kFrameHeaderBytes &&
                           BigEndian(frame.data()) != 0 &&
                           std::equal(frame.begin() + 8, frame.begin() + 16, header + 16);
            return true;
        }
        const ssize_t n = ReadAt(fd, frame.data(), frame.size(), at);
        if (n < 0) {
            return false;
        }
        // A frame is valid when it is whole, names a page, carries the header's salts and
        // continues the checksum over its header's first 8 bytes and its page.
        if (n < frame_bytes || BigEndian(frame.data()) == 0 ||
            !std::equal(frame.begin() + 8, frame.begin() + 16, header + 16)) {
            return true;
        }
        Checksum(frame.data(), 8, big, sum);
        Checksum(frame.data() + kFrameHeaderBytes, page, big, sum);
        if (!SameSum(frame.data() + 16, sum)) {
            return true;
        }
        ++frames;
        // A commit frame gives the database's size in pages after the commit.
        if (BigEndian(frame.data() + 4) != 0) {
            extent->bytes = at + frame_bytes;
            extent->frames = frames;
        }
    }
}

} // namespace deck::anki
