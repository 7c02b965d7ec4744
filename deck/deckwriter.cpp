// The deck writer: a temporary file beside OUTPUT, renamed into place.
#include "deck/deckwriter.h"

#include "deck/base/report.h"
#include "deck/base/files.h"
#include "deck/base/limits.h"
#include "deck/base/utf.h"

#include <errno.h>
#include <string.h>

namespace deck {

namespace {

constexpr size_t kWriteBufferBytes = 1 << 20;

uint64_t g_limit = kMaxDeckBytes;

// True when the two files hold the same bytes.
bool SameBytes(const std::string& a, const std::string& b) {
    int fa = OpenRead(a);
    int fb = OpenRead(b);
    FileInfo sa, sb;
    bool same = fa >= 0 && fb >= 0 && StatFile(fa, &sa) && StatFile(fb, &sb) &&
                sb.kind == PathKind::kFile && sa.size == sb.size;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (same) {
        ssize_t n = ReadFull(fa, x.data(), x.size());
        same = n >= 0 && ReadFull(fb, y.data(), static_cast<size_t>(n)) == n &&
               memcmp(x.data(), y.data(), static_cast<size_t>(n)) == 0;
        if (n <= 0) {
            break;
        }
    }
    for (int fd : {fa, fb}) {
        if (fd >= 0) {
            CloseFile(fd);
        }
    }
    return same;
}

} // namespace

void DeckWriter::LimitForTest(uint64_t bytes) {
    g_limit = bytes != 0 ? bytes : kMaxDeckBytes;
}

DeckWriter::~DeckWriter() {
    if (fd_ >= 0) {
        CloseFile(fd_);
    }
    if (!temp_.empty() && !committed_) {
        RemoveFile(temp_);
    }
}

bool DeckWriter::Open(const std::string& output, const std::string& input, bool force,
                      std::string* err, bool deckMark) {
    output_ = output.empty() ? kProgram : output;
    mark_ = deckMark;
    if (output.empty()) {
        *err = "no output file given (-o OUTPUT)";
        return false;
    }
    FileInfo out;
    if (StatPath(output, &out)) {
        FileInfo in;
        if (!input.empty() && StatPath(input, &in) && SameFile(in, out)) {
            *err = "is the input file; the input is never written";
            return false;
        }
        if (out.kind == PathKind::kFolder) {
            *err = "is a folder; give a file name";
            return false;
        }
        // A device, a pipe or a socket is never replaced by a file.
        if (out.kind != PathKind::kFile) {
            *err = "is not a regular file; give a file name";
            return false;
        }
        if (!force) {
            *err = "exists; use --force to replace it";
            return false;
        }
    }
    // A link to a deck is followed, so that the deck it names is replaced, not the link.
    if (IsLink(output)) {
        std::string target = ResolvePath(output);
        if (!target.empty()) {
            output_ = target;
        }
    }
    std::string folder = ParentFolder(output_);
    if (folder.empty()) {
        folder = ".";
    }
    // A bare name's folder is named in full in the messages about its disk.
    folder_ = folder == "." ? ResolvePath(folder) : folder;
    if (folder_.empty()) {
        folder_ = folder;
    }
    SignalsHeld held;
    fd_ = MakeTempFile(folder, ".tollamy-deck-", &temp_);
    if (fd_ < 0) {
        int e = errno;
        temp_.clear();
        *err = "cannot write to folder " + folder + ": " + strerror(e);
        return false;
    }
    // A signal that ends the program removes the half-written file too.
    onSignal_.Register(temp_, false);
    if (mark_) {
        buffer_.push_back(0xFF);
        buffer_.push_back(0xFE);
        bytes_ = 2;
    }
    return true;
}

void DeckWriter::Flush() {
    if (!failed_ && !WriteFull(fd_, buffer_.data(), buffer_.size())) {
        failed_ = true;
        error_ = errno;
    }
    buffer_.clear();
}

void DeckWriter::Write(const std::string& question, const std::string& answer) {
    ++cards_;
    if (fits_ >= 0) {
        return;
    }
    const size_t before = buffer_.size();
    AppendUtf16(buffer_, question);
    buffer_.push_back('\t');
    buffer_.push_back(0);
    AppendUtf16(buffer_, answer);
    static const uint8_t kCrLf[] = {'\r', 0, '\n', 0};
    buffer_.insert(buffer_.end(), kCrLf, kCrLf + 4);
    bytes_ += buffer_.size() - before;
    if (bytes_ >= g_limit) {
        // The deck is refused: nothing more goes to the disk.
        fits_ = cards_ - 1;
        buffer_.clear();
        buffer_.shrink_to_fit();
        return;
    }
    if (buffer_.size() >= kWriteBufferBytes) {
        Flush();
    }
}

void DeckWriter::WriteBytes(const std::string& bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= kWriteBufferBytes) {
        Flush();
    }
}

bool DeckWriter::Commit(std::string* err) {
    if (fd_ < 0) {
        return false;
    }
    if (fits_ >= 0) {
        *err = "would be " + SizeText(g_limit) +
               " or more, beyond the item's 32-bit card offsets: only the first " +
               std::to_string(fits_) + " of its " + std::to_string(cards_) +
               " cards fit; split the input";
        return false;
    }
    Flush();
    if (!failed_ && keepUnchanged_ && SameBytes(temp_, output_)) {
        CloseFile(fd_);
        fd_ = -1;
        RemoveFile(temp_);
        onSignal_.Release();
        unchanged_ = committed_ = true;
        return true;
    }
    if (!failed_ && !SyncFile(fd_)) {
        failed_ = true;
        error_ = errno;
    }
    const bool closed = CloseFile(fd_);
    fd_ = -1;
    if (!failed_ && !closed) {
        failed_ = true;
        error_ = errno;
    }
    if (failed_) {
        *err = "could not be written: " + WriteError(error_, folder_);
        return false;
    }
    if (!RenameOver(temp_, output_)) {
        *err = std::string("could not be replaced: ") + strerror(errno);
        return false;
    }
    onSignal_.Release();
    committed_ = true;
    return true;
}

bool CommitUnlessErrors(DeckWriter& writer, Report& report) {
    if (report.Errors() != 0) {
        return false;
    }
    std::string err;
    if (!writer.Commit(&err)) {
        report.ErrorAbout(writer.Output(), err);
        return false;
    }
    return true;
}

} // namespace deck
