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

namespace apkg {

class ZstdUnpacker {
public:
    // Takes each unpacked piece. Returns a Result: kOk to go on, else with *message set.
    using Output = std::function<int(const char* data, size_t size, std::string* message)>;

    // `entry` names the stream in messages.
    ZstdUnpacker(std::string entry, uint64_t limit, Output output);
    ZstdUnpacker(const ZstdUnpacker&) = delete;
    ZstdUnpacker& operator=(const ZstdUnpacker&) = delete;
    ~ZstdUnpacker();

    // Creates the decoder (kIoError when memory runs out). Returns a Result.
    int Start(std::string* message);
    // Unpacks the next piece of the stream; the first piece holds the frame's header, whose
    // stated size is held to the limit too. Returns a Result.
    int Feed(const char* data, size_t size, std::string* message);
    // Hands on what the decoder still holds; kBadZstd when the stream ends before its frame
    // does. Returns a Result.
    int Finish(std::string* message);

private:
    struct Closer {
        void operator()(ZSTD_DCtx_s* stream) const;
    };

    // Decodes from data[*pos, size) into the output; *full tells whether the unpacked buffer
    // came back full (more may be waiting).
    int Decode(const char* data, size_t size, size_t* pos, bool* full, std::string* message);

    std::string entry_;
    uint64_t limit_;
    Output output_;
    std::unique_ptr<ZSTD_DCtx_s, Closer> stream_;
    std::vector<char> unpacked_;
    uint64_t fed_ = 0;
    uint64_t written_ = 0;
    size_t frameHint_ = 1; // ZSTD_decompressStream's hint: 0 once a frame is complete
};

} // namespace apkg
