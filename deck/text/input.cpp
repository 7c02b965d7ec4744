// Reading an input file as UTF-8 text.
#include "deck/text/input.h"

#include "deck/base/filekind.h"
#include "deck/base/files.h"
#include "deck/base/utf.h"

#include <errno.h>
#include <iconv.h>
#include <string.h>
#include <uchardet/uchardet.h>

#include <algorithm>

namespace deck::text {

namespace {

constexpr size_t kBlockBytes = 1 << 20;
constexpr size_t kSniffBytes = 64 * 1024;

bool StartsWith(const uint8_t* bytes, size_t size, const char* magic, size_t length) {
    return size >= length && memcmp(bytes, magic, length) == 0;
}

std::string Upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

} // namespace

TextInput::~TextInput() {
    if (fd_ >= 0) {
        CloseFile(fd_);
    }
    if (cd_ != nullptr) {
        iconv_close(static_cast<iconv_t>(cd_));
    }
}

bool TextInput::Open(const std::string& path, const std::string& encoding, Report& report,
                     std::string* err) {
    report_ = &report;
    fd_ = OpenRead(path);
    if (fd_ < 0) {
        *err = "cannot be opened: " + OpenErrorText(errno);
        return false;
    }
    FileInfo st;
    if (!StatFile(fd_, &st) || st.kind == PathKind::kFolder) {
        *err = "is a folder, not a file";
        return false;
    }
    // Blocks no larger than the file: small files cost small buffers.
    blockBytes_ = st.kind == PathKind::kFile && st.size < static_cast<int64_t>(kBlockBytes)
                      ? static_cast<size_t>(st.size) + 16
                      : kBlockBytes;
    std::string sample(std::min(kSniffBytes, blockBytes_), '\0');
    uint8_t* s = reinterpret_cast<uint8_t*>(sample.data());
    ssize_t got = ReadFull(fd_, s, sample.size());
    if (got < 0) {
        *err = std::string("cannot be read: ") + strerror(errno);
        return false;
    }
    sample.resize(static_cast<size_t>(got));
    s = reinterpret_cast<uint8_t*>(sample.data());
    size_t size = sample.size();

    size_t skip = 0;
    std::string chosen = Upper(encoding);
    if (StartsWith(s, size, "\xEF\xBB\xBF", 3)) {
        skip = 3;
        if (chosen.empty()) {
            chosen = "UTF-8";
        }
    } else if (StartsWith(s, size, "\xFF\xFE", 2)) {
        skip = 2;
        utf16_ = true;
        if (chosen.empty()) {
            chosen = "UTF-16LE";
        }
    } else if (StartsWith(s, size, "\xFE\xFF", 2)) {
        skip = 2;
        utf16_ = true;
        if (chosen.empty()) {
            chosen = "UTF-16BE";
        }
    }
    bool wide = chosen.rfind("UTF-16", 0) == 0 || chosen.rfind("UCS-2", 0) == 0 ||
                chosen.rfind("UTF-32", 0) == 0;
    if (!wide) {
        if (const char* kind = NotTextKind(s + skip, size - skip)) {
            *err = std::string("is not a text file (it looks like ") + kind + ")";
            return false;
        }
    }
    if (chosen.empty()) {
        // Valid UTF-8 from start to end is UTF-8; anything else is guessed from the start.
        bool valid = true;
        block_.resize(blockBytes_);
        uint8_t* b = reinterpret_cast<uint8_t*>(block_.data());
        size_t kept = 0;
        if (!SeekTo(fd_, 0)) {
            *err = "cannot be read from the start (not a regular file)";
            return false;
        }
        for (;;) {
            ssize_t n = ReadFull(fd_, b + kept, blockBytes_ - kept);
            if (n < 0) {
                *err = std::string("cannot be read: ") + strerror(errno);
                return false;
            }
            size_t have = kept + static_cast<size_t>(n);
            bool invalid = false;
            size_t ok = ValidUtf8Prefix(b, have, &invalid);
            if (invalid || (n == 0 && ok != have)) {
                valid = false;
                break;
            }
            if (n == 0) {
                break;
            }
            kept = have - ok;
            memmove(b, b + ok, kept);
        }
        if (valid) {
            chosen = "UTF-8";
        } else {
            uchardet_t detector = uchardet_new();
            uchardet_handle_data(detector, sample.data() + skip, size - skip);
            uchardet_data_end(detector);
            const char* guess = uchardet_get_charset(detector);
            chosen = guess != nullptr ? Upper(guess) : std::string();
            uchardet_delete(detector);
            if (chosen.empty() || chosen == "ASCII" || chosen == "UTF-8") {
                chosen = "WINDOWS-1252";
            }
        }
    }
    encoding_ = chosen;
    iconv_t cd = iconv_open("UTF-8", chosen.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        *err = "unknown encoding " + chosen + " (see iconv --list)";
        return false;
    }
    cd_ = cd;
    unitBytes_ = chosen.rfind("UTF-16", 0) == 0 || chosen.rfind("UCS-2", 0) == 0 ? 2
                 : chosen.rfind("UTF-32", 0) == 0                                ? 4
                                                                                 : 1;
    // Valid UTF-8 needs no conversion: the bytes are the text.
    passThrough_ = chosen == "UTF-8" && encoding.empty() && skip == 0;
    if (!SeekTo(fd_, static_cast<int64_t>(skip))) {
        *err = "cannot be read from the start (not a regular file)";
        return false;
    }
    return true;
}

void TextInput::Decode(const uint8_t* bytes, size_t size, bool end) {
    if (passThrough_) {
        size_t from = text_.size();
        text_.append(reinterpret_cast<const char*>(bytes), size);
        decodedLines_ += std::count(text_.begin() + from, text_.end(), '\n');
        return;
    }
    raw_.append(reinterpret_cast<const char*>(bytes), size);
    char* in = raw_.data();
    size_t inLeft = raw_.size();
    std::string out(inLeft * 4 + 16, '\0');
    size_t produced = 0;
    while (inLeft > 0) {
        char* o = out.data() + produced;
        size_t oLeft = out.size() - produced;
        size_t r = iconv(static_cast<iconv_t>(cd_), &in, &inLeft, &o, &oLeft);
        produced = out.size() - oLeft;
        if (r != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (errno == EINVAL && !end) {
            break; // an incomplete sequence: the rest comes with the next block
        }
        // An invalid (or, at the end, incomplete) sequence becomes U+FFFD.
        long line = decodedLines_ + std::count(out.begin(), out.begin() + produced, '\n');
        if (line != lastBadLine_) {
            lastBadLine_ = line;
            report_->Warning(line, "invalid " + encoding_ + " sequence replaced by U+FFFD");
        }
        size_t skip = std::min(unitBytes_, inLeft);
        in += skip;
        inLeft -= skip;
        if (out.size() - produced < 3) {
            out.resize(out.size() * 2);
        }
        memcpy(out.data() + produced, "\xEF\xBF\xBD", 3);
        produced += 3;
    }
    raw_.erase(0, raw_.size() - inLeft);
    decodedLines_ += std::count(out.begin(), out.begin() + produced, '\n');
    text_.append(out, 0, produced);
}

bool TextInput::Fill() {
    if (eof_) {
        return false;
    }
    if (at_ > 0 && at_ >= text_.size() / 2) {
        text_.erase(0, at_);
        at_ = 0;
    }
    block_.resize(blockBytes_);
    ssize_t n = ReadFull(fd_, reinterpret_cast<uint8_t*>(block_.data()), blockBytes_);
    if (n <= 0) {
        if (n < 0) {
            report_->Error(0, std::string("read failed: ") + strerror(errno));
        }
        eof_ = true;
        Decode(nullptr, 0, true);
        return false;
    }
    Decode(reinterpret_cast<const uint8_t*>(block_.data()), static_cast<size_t>(n), false);
    return true;
}

void TextInput::Consume(size_t bytes) {
    line_ += std::count(text_.begin() + at_, text_.begin() + at_ + bytes, '\n');
    at_ += bytes;
}

std::string_view TextInput::Peek(size_t size) {
    while (text_.size() - at_ < size && Fill()) {
    }
    return std::string_view(text_).substr(at_);
}

bool TextInput::ReadUntil(const std::string& separator, std::string& out) {
    size_t searched = 0;
    for (;;) {
        size_t found = text_.find(separator, at_ + searched);
        if (found != std::string::npos) {
            out.assign(text_, at_, found - at_);
            Consume(found - at_ + separator.size());
            return true;
        }
        size_t have = text_.size() - at_;
        searched = have >= separator.size() ? have - separator.size() + 1 : 0;
        if (have >= kMaxPieceBytes) {
            // No line end for this long: cut here, so that memory stays bounded. The cut may
            // split a character; the rest is read as the next piece.
            report_->Warning(line_, "no line end in " + std::to_string(kMaxPieceBytes >> 20) +
                                        " MiB: the line is cut there");
            out.assign(text_, at_, kMaxPieceBytes);
            Consume(kMaxPieceBytes);
            return true;
        }
        if (!Fill()) {
            if (at_ == text_.size()) {
                return false;
            }
            out.assign(text_, at_, std::string::npos);
            Consume(text_.size() - at_);
            return true;
        }
    }
}

bool TextInput::ReadLine(std::string& out) {
    if (!ReadUntil("\n", out)) {
        return false;
    }
    if (!out.empty() && out.back() == '\r') {
        out.pop_back();
    }
    return true;
}

} // namespace deck::text
