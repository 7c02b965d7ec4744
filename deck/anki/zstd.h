// Unpacking collection.anki21b: one Zstandard stream, fed in the pieces the archive gives,
// handed on as it unpacks, and held to a limit on what it unpacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ZSTD_DCtx_s;

namespace deck::anki {

class ZstdUnpacker {
public:
    // Takes each unpacked piece. True to go on, else false with *err set.
    using Output = std::function<bool(const char* data, size_t size, std::string* err)>;

    // `entry` names the stream in messages.
    ZstdUnpacker(std::string entry, uint64_t limit, Output output);
    ZstdUnpacker(const ZstdUnpacker&) = delete;
    ZstdUnpacker& operator=(const ZstdUnpacker&) = delete;
    ~ZstdUnpacker();

    // Creates the decoder; false when memory runs out. Each of these is false with *err set
    // on failure.
    bool Start(std::string* err);
    // Unpacks the next piece of the stream; the first piece holds the frame's header, whose
    // stated size is held to the limit too.
    bool Feed(const char* data, size_t size, std::string* err);
    // Hands on what the decoder still holds; false when the stream ends before its frame does.
    bool Finish(std::string* err);

private:
    struct Closer {
        void operator()(ZSTD_DCtx_s* stream) const;
    };

    // Decodes from data[*pos, size) into the output; *full tells whether the unpacked buffer
    // came back full (more may be waiting).
    bool Decode(const char* data, size_t size, size_t* pos, bool* full, std::string* err);

    std::string entry_;
    uint64_t limit_;
    Output output_;
    std::unique_ptr<ZSTD_DCtx_s, Closer> stream_;
    std::vector<char> unpacked_;
    uint64_t fed_ = 0;
    uint64_t written_ = 0;
    size_t frameHint_ = 1; // ZSTD_decompressStream's hint: 0 once a frame is complete
};

} // namespace deck::anki
