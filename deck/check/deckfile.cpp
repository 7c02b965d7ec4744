// Reading a deck file in blocks, and what a file that is no deck looks like.
#include "deck/check/deckfile.h"

#include "deck/base/filekind.h"
#include "deck/base/files.h"
#include "deck/base/process.h"
#include "deck/base/utf.h"
#include "deck/deckwriter.h"

#include <errno.h>
#include <string.h>
#include <uchardet/uchardet.h>

#include <vector>

namespace deck::check {

namespace {

constexpr size_t kBlockBytes = 1 << 20;
const char kTooLarge[] = "is 4 GiB or more; the item's 32-bit card offsets cannot reach beyond "
                         "4 GiB: split the deck";

// The name of a fixed copy of `deck`: "cards.txt" -> "cards-utf16.txt".
std::string FixedName(const std::string& deck) {
    size_t slash = deck.rfind('/');
    size_t dot = deck.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return deck + "-utf16.txt";
    }
    return deck.substr(0, dot) + "-utf16" + deck.substr(dot);
}

// Shell quoting for a command the user may paste.
// What a deck without FF FE looks like, for the error message; *fixable when import can help.
std::string LooksLike(const uint8_t* bytes, size_t size, bool* fixable) {
    *fixable = true;
    if (size == 0) {
        *fixable = false;
        return "the file is empty";
    }
    if (size == 1) {
        *fixable = false;
        return "the file holds a single byte";
    }
    if (size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        return "it looks like UTF-8 with a byte-order mark";
    }
    if (memcmp(bytes, "\xFE\xFF", 2) == 0) {
        return "it looks like UTF-16 big-endian (FE FF)";
    }
    if (const char* kind = NotTextKind(bytes, size)) {
        *fixable = false;
        return std::string("it is not text; it looks like ") + kind;
    }
    bool invalid = false;
    if (ValidUtf8Prefix(bytes, size, &invalid) + 4 > size && !invalid) {
        bool ascii = true;
        for (size_t i = 0; i < size && ascii; ++i) {
            ascii = bytes[i] < 0x80;
        }
        return ascii ? "it looks like ASCII (UTF-8)" : "it looks like UTF-8";
    }
    uchardet_t detector = uchardet_new();
    uchardet_handle_data(detector, reinterpret_cast<const char*>(bytes), size);
    uchardet_data_end(detector);
    std::string guess = uchardet_get_charset(detector);
    uchardet_delete(detector);
    return guess.empty() ? "its encoding is unknown" : "it looks like " + guess;
}

} // namespace

bool ReadDeckFile(const std::string& path, Report& report, const DeckBlock& blockOut,
                  bool* oddByte) {
    int fd = OpenRead(path);
    if (fd < 0) {
        report.Error(0, "cannot be opened: " + OpenErrorText(errno));
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { CloseFile(fd); }
    } closer{fd};
    FileInfo st;
    if (!StatFile(fd, &st) || st.kind == PathKind::kFolder) {
        report.Error(0, "is a folder, not a file");
        return false;
    }
    const bool file = st.kind == PathKind::kFile;
    if (file && static_cast<uint64_t>(st.size) >= kMaxDeckBytes) {
        report.Error(0, kTooLarge);
        return false;
    }
    // Blocks no larger than the file: small files cost small buffers.
    size_t blockBytes = file && st.size < static_cast<int64_t>(kBlockBytes)
                            ? static_cast<size_t>(st.size) + 16
                            : kBlockBytes;
    std::vector<uint8_t> block(blockBytes + 2);
    ssize_t got = ReadFull(fd, block.data(), blockBytes);
    if (got < 0) {
        report.Error(0, std::string("cannot be read: ") + strerror(errno));
        return false;
    }
    if (got < 2 || block[0] != 0xFF || block[1] != 0xFE) {
        bool fixable = false;
        std::string like = LooksLike(block.data(), static_cast<size_t>(got), &fixable);
        std::string text = "not a deck: no FF FE byte-order mark (UTF-16LE); " + like;
        if (fixable) {
            text += "; fix it with: tollamy-deck import " + ShellWord(path) + " -o " +
                    ShellWord(FixedName(path));
        }
        report.Error(1, text);
        return false;
    }
    uint64_t total = static_cast<uint64_t>(got);
    size_t have = static_cast<size_t>(got) - 2; // bytes after the mark
    memmove(block.data(), block.data() + 2, have);
    for (;;) {
        size_t units = have / 2;
        if (total > kMaxDeckBytes) {
            report.Error(0, kTooLarge);
            return false;
        }
        blockOut(block.data(), static_cast<uint32_t>(units));
        size_t kept = have % 2;
        if (kept != 0) {
            block[0] = block[2 * units];
        }
        got = ReadFull(fd, block.data() + kept, blockBytes);
        if (got < 0) {
            report.Error(0, std::string("cannot be read: ") + strerror(errno));
            return false;
        }
        if (got == 0) {
            *oddByte = kept != 0;
            return true;
        }
        total += static_cast<uint64_t>(got);
        have = kept + static_cast<size_t>(got);
    }
}

} // namespace deck::check
