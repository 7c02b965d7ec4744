// tollamy-deck: reading an input file as UTF-8 text, whatever its encoding.
//
// The encoding: a byte-order mark decides first (UTF-8, UTF-16LE, UTF-16BE); without one a
// file that is valid UTF-8 throughout is UTF-8, and any other is guessed by uchardet. A name
// given by the user overrides all that. Conversion is iconv's; an invalid sequence becomes
// U+FFFD with a warning naming its line. The text is read in blocks, so memory stays bounded
// whatever the size of the file.
#pragma once

#include "deck/base/report.h"

#include <stdint.h>
#include <sys/types.h>

#include <string>

namespace deck::text {

// The longest line (or card, with a custom separator) read at once; a longer one is cut with a
// warning, and a quoted CSV field that grows past it is an error. Memory stays bounded.
constexpr size_t kMaxPieceBytes = 4u << 20;

class TextInput {
public:
    TextInput() = default;
    TextInput(const TextInput&) = delete;
    TextInput& operator=(const TextInput&) = delete;
    ~TextInput();

    // Opens path and decides its encoding; the reading warns through `report` about what it
    // had to replace. False with *err set: a missing or unreadable file, a file that is not
    // text, an encoding iconv does not know.
    bool Open(const std::string& path, const std::string& encoding, Report& report,
              std::string* err);

    // The encoding in use, as iconv names it ("UTF-8", "UTF-16LE", "WINDOWS-1252").
    const std::string& Encoding() const { return encoding_; }
    // The file began with a UTF-16 byte-order mark.
    bool Utf16() const { return utf16_; }

    // Makes at least `size` bytes of text available (fewer at the end of the file) and
    // returns what is buffered.
    std::string_view Peek(size_t size);
    // Consumes `bytes` of the text that Peek returned.
    void Skip(size_t bytes) { Consume(bytes); }
    // Reads up to and including the next `separator` into out (the separator removed);
    // false when nothing is left. A final piece without separator is returned as well.
    bool ReadUntil(const std::string& separator, std::string& out);
    // Reads one line: up to LF, with a CR before it removed.
    bool ReadLine(std::string& out);
    // The 1-based line of the first byte not yet read.
    long Line() const { return line_; }

private:
    bool Fill();
    void Consume(size_t bytes);
    void Decode(const uint8_t* bytes, size_t size, bool end);

    Report* report_ = nullptr;
    int fd_ = -1;
    std::string encoding_;
    bool utf16_ = false;
    bool passThrough_ = false; // valid UTF-8: the bytes are the text
    void* cd_ = nullptr;       // the iconv_t, while one is open
    size_t unitBytes_ = 1;     // bytes skipped at an invalid sequence
    bool eof_ = false;
    size_t blockBytes_ = 0;
    std::string block_; // the read buffer
    std::string raw_;   // bytes read but not yet decoded (an incomplete sequence)
    std::string text_;  // decoded text; text_[at_] is the next unread byte
    size_t at_ = 0;
    long line_ = 1;
    long decodedLines_ = 1; // the line at the end of text_
    long lastBadLine_ = 0;
};

} // namespace deck::text
