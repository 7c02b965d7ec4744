// The deck writer: a temporary file beside OUTPUT, renamed into place.
#include "deck/deckwriter.h"

#include "deck/base/report.h"
#include "deck/base/files.h"
#include "deck/base/utf.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace deck {

namespace {

constexpr size_t kWriteBufferBytes = 1 << 20;

// True when the two files hold the same bytes.
bool SameBytes(const std::string& a, const std::string& b) {
    int fa = open(a.c_str(), O_RDONLY | O_CLOEXEC);
    int fb = open(b.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat sa {
    }, sb{};
    bool same = fa >= 0 && fb >= 0 && fstat(fa, &sa) == 0 && fstat(fb, &sb) == 0 &&
                S_ISREG(sb.st_mode) && sa.st_size == sb.st_size;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (same) {
        ssize_t n = read(fa, x.data(), x.size());
        same = n >= 0 && read(fb, y.data(), static_cast<size_t>(n)) == n &&
               memcmp(x.data(), y.data(), static_cast<size_t>(n)) == 0;
        if (n <= 0) {
            break;
        }
    }
    for (int fd : {fa, fb}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return same;
}

} // namespace

DeckWriter::~DeckWriter() {
    if (fd_ >= 0) {
        close(fd_);
    }
    if (!temp_.empty() && !committed_) {
        unlink(temp_.c_str());
    }
}

bool DeckWriter::Open(const std::string& output, const std::string& input, bool force,
                      std::string* err, bool deckMark) {
    output_ = output.empty() ? kProgram : output;
    mark_ = deckMark;
    struct stat out {};
    if (output.empty()) {
        *err = "no output file given (-o OUTPUT)";
        return false;
    }
    if (stat(output.c_str(), &out) == 0) {
        struct stat in {};
        if (!input.empty() && stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            *err = "is the input file; the input is never written";
            return false;
        }
        if (S_ISDIR(out.st_mode)) {
            *err = "is a folder; give a file name";
            return false;
        }
        // A device, a pipe or a socket is never replaced by a file.
        if (!S_ISREG(out.st_mode)) {
            *err = "is not a regular file; give a file name";
            return false;
        }
        if (!force) {
            *err = "exists; use --force to replace it";
            return false;
        }
    }
    // A link to a deck is followed, so that the deck it names is replaced, not the link.
    struct stat link {};
    if (lstat(output.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* target = realpath(output.c_str(), nullptr);
        if (target != nullptr) {
            output_ = target;
            free(target);
        }
    }
    std::string folder = std::filesystem::path(output_).parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    temp_ = folder + "/.tollamy-deck-XXXXXX";
    SignalsHeld held;
    fd_ = mkstemp(temp_.data());
    if (fd_ < 0) {
        int e = errno;
        temp_.clear();
        *err = "cannot write to folder " + folder + ": " + strerror(e);
        return false;
    }
    // A signal that ends the program removes the half-written file too.
    onSignal_.Register(temp_, false);
    fchmod(
        fd_, 0644 & ~[] {
            mode_t m = umask(0);
            umask(m);
            return m;
        }());
    if (mark_) {
        buffer_.push_back(0xFF);
        buffer_.push_back(0xFE);
    }
    return true;
}

void DeckWriter::Flush() {
    if (!failed_ && !WriteFull(fd_, buffer_.data(), buffer_.size())) {
        failed_ = true;
    }
    buffer_.clear();
}

void DeckWriter::Write(const std::string& question, const std::string& answer) {
    AppendUtf16(buffer_, question);
    buffer_.push_back('\t');
    buffer_.push_back(0);
    AppendUtf16(buffer_, answer);
    static const uint8_t kCrLf[] = {'\r', 0, '\n', 0};
    buffer_.insert(buffer_.end(), kCrLf, kCrLf + 4);
    ++cards_;
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
    Flush();
    if (!failed_ && keepUnchanged_ && SameBytes(temp_, output_)) {
        close(fd_);
        fd_ = -1;
        unlink(temp_.c_str());
        onSignal_.Release();
        unchanged_ = committed_ = true;
        return true;
    }
    if (failed_ || fsync(fd_) != 0) {
        *err = std::string("could not be written: ") + strerror(errno);
        return false;
    }
    close(fd_);
    fd_ = -1;
    if (rename(temp_.c_str(), output_.c_str()) != 0) {
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
