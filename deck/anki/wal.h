// SQLite's write-ahead log as SQLite's own recovery reads it: the header, then frames, each a
// page with a header of its own, chained by a cumulative checksum. SQLite uses the frames up
// to the last commit frame that follows an unbroken chain of valid frames and ignores the
// rest: a log whose header is damaged, frames of an older generation (other salts), a frame
// cut short or changed, and the frames of a transaction that never committed.
#pragma once

#include <cstdint>
#include <string>

namespace deck::anki {

struct WalExtent {
    int64_t bytes = 0;  // the log's valid part: its header and frames up to the last commit;
                        // 0 when SQLite would use none of it
    int64_t frames = 0; // the frames in it
    bool over = false;  // the valid frames go on past the limit
};

// Reads the log open at `fd` from its start, at most `limit` bytes of it, and sets *extent.
// False with errno set when it cannot be read.
bool ReadWalExtent(int fd, int64_t limit, WalExtent* extent);

} // namespace deck::anki
