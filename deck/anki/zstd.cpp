// The Zstandard stream of collection.anki21b, through libzstd's streaming decoder.
#include "deck/anki/zstd.h"

#include "deck/anki/package.h"

#include <zstd.h>

namespace deck::anki {

void ZstdUnpacker::Closer::operator()(ZSTD_DCtx_s* stream) const {
    ZSTD_freeDStream(stream);
}

ZstdUnpacker::ZstdUnpacker(std::string entry, uint64_t limit, Output output)
    : entry_(std::move(entry)), limit_(limit), output_(std::move(output)) {}

ZstdUnpacker::~ZstdUnpacker() = default;

bool ZstdUnpacker::Start(std::string* err) {
    stream_.reset(ZSTD_createDStream());
    if (!stream_ || ZSTD_isError(ZSTD_initDStream(stream_.get()))) {
        *err = "out of memory for the Zstandard decoder";
        return false;
    }
    unpacked_.resize(ZSTD_DStreamOutSize());
    return true;
}

bool ZstdUnpacker::Decode(const char* data, size_t size, size_t* pos, bool* full,
                          std::string* err) {
    ZSTD_inBuffer input = {data, size, *pos};
    ZSTD_outBuffer output = {unpacked_.data(), unpacked_.size(), 0};
    size_t hint = ZSTD_decompressStream(stream_.get(), &output, &input);
    *pos = input.pos;
    if (ZSTD_isError(hint)) {
        *err = entry_ + ": the Zstandard stream is damaged (" + ZSTD_getErrorName(hint) + ")";
        return false;
    }
    frameHint_ = hint;
    written_ += output.pos;
    *full = output.pos == output.size;
    if (written_ > limit_) {
        *err = OverLimitText(entry_, 0, limit_);
        return false;
    }
    return output.pos == 0 || output_(unpacked_.data(), output.pos, err);
}

bool ZstdUnpacker::Feed(const char* data, size_t size, std::string* err) {
    if (fed_ == 0) {
        unsigned long long content = ZSTD_getFrameContentSize(data, size);
        if (content == ZSTD_CONTENTSIZE_ERROR) {
            *err = entry_ + " is not a Zstandard stream";
            return false;
        }
        if (content != ZSTD_CONTENTSIZE_UNKNOWN && content > limit_) {
            *err = OverLimitText(entry_, content, limit_);
            return false;
        }
    }
    fed_ += size;
    size_t pos = 0;
    bool full = false;
    while (pos < size) {
        if (!Decode(data, size, &pos, &full, err)) {
            return false;
        }
    }
    return true;
}

bool ZstdUnpacker::Finish(std::string* err) {
    // The decoder may still hold output for a frame whose input is all consumed.
    bool full = true;
    while (frameHint_ != 0 && fed_ > 0 && full) {
        size_t pos = 0;
        if (!Decode(nullptr, 0, &pos, &full, err)) {
            return false;
        }
    }
    if (fed_ == 0 || frameHint_ != 0) {
        *err = entry_ + ": the Zstandard stream ends before its frame does";
        return false;
    }
    return true;
}

} // namespace deck::anki
