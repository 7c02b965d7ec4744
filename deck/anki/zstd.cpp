// The Zstandard stream of collection.anki21b, through libzstd's streaming decoder.
#include "deck/apkg_zstd.h"

#include "deck/apkg.h"

#include <zstd.h>

namespace apkg {

void ZstdUnpacker::Closer::operator()(ZSTD_DCtx_s* stream) const {
    ZSTD_freeDStream(stream);
}

ZstdUnpacker::ZstdUnpacker(std::string entry, uint64_t limit, Output output)
    : entry_(std::move(entry)), limit_(limit), output_(std::move(output)) {}

ZstdUnpacker::~ZstdUnpacker() = default;

int ZstdUnpacker::Start(std::string* message) {
    stream_.reset(ZSTD_createDStream());
    if (!stream_ || ZSTD_isError(ZSTD_initDStream(stream_.get()))) {
        *message = "out of memory for the Zstandard decoder";
        return kIoError;
    }
    unpacked_.resize(ZSTD_DStreamOutSize());
    return kOk;
}

int ZstdUnpacker::Decode(const char* data, size_t size, size_t* pos, bool* full,
                         std::string* message) {
    ZSTD_inBuffer input = {data, size, *pos};
    ZSTD_outBuffer output = {unpacked_.data(), unpacked_.size(), 0};
    size_t hint = ZSTD_decompressStream(stream_.get(), &output, &input);
    *pos = input.pos;
    if (ZSTD_isError(hint)) {
        *message = entry_ + ": the Zstandard stream is damaged (" + ZSTD_getErrorName(hint) + ")";
        return kBadZstd;
    }
    frameHint_ = hint;
    written_ += output.pos;
    *full = output.pos == output.size;
    if (written_ > limit_) {
        *message = OverLimitText(entry_, 0, limit_);
        return kTooLarge;
    }
    return output.pos ? output_(unpacked_.data(), output.pos, message) : kOk;
}

int ZstdUnpacker::Feed(const char* data, size_t size, std::string* message) {
    if (fed_ == 0) {
        unsigned long long content = ZSTD_getFrameContentSize(data, size);
        if (content == ZSTD_CONTENTSIZE_ERROR) {
            *message = entry_ + " is not a Zstandard stream";
            return kBadZstd;
        }
        if (content != ZSTD_CONTENTSIZE_UNKNOWN && content > limit_) {
            *message = OverLimitText(entry_, content, limit_);
            return kTooLarge;
        }
    }
    fed_ += size;
    size_t pos = 0;
    bool full = false;
    while (pos < size) {
        int result = Decode(data, size, &pos, &full, message);
        if (result != kOk) {
            return result;
        }
    }
    return kOk;
}

int ZstdUnpacker::Finish(std::string* message) {
    // The decoder may still hold output for a frame whose input is all consumed.
    bool full = true;
    while (frameHint_ != 0 && fed_ > 0 && full) {
        size_t pos = 0;
        int result = Decode(nullptr, 0, &pos, &full, message);
        if (result != kOk) {
            return result;
        }
    }
    if (fed_ == 0 || frameHint_ != 0) {
        *message = entry_ + ": the Zstandard stream ends before its frame does";
        return kBadZstd;
    }
    return kOk;
}

} // namespace apkg
